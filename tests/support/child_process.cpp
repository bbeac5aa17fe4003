#include "support/child_process.h"

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace orbilo {

namespace {

constexpr uid_t kNobody = 65534;
constexpr gid_t kNogroup = 65534;

// Makes this (child) process the user nobody when it is root: false when it
// cannot. Only calls that are safe after a fork.
bool become_nobody() {
  return geteuid() != 0 ||
         (setgroups(0, nullptr) == 0 && setgid(kNogroup) == 0 && setuid(kNobody) == 0);
}

}  // namespace

std::string run_in_child(const std::function<std::string()>& check, bool as_nobody) {
  int pipe_fds[2];
  if (pipe(pipe_fds) != 0) return "pipe failed";
  bool was_root = geteuid() == 0;
  pid_t child = fork();
  if (child == 0) {
    close(pipe_fds[0]);
    // Root that could become root again has not let go of its privileges.
    bool stays = as_nobody && (!become_nobody() || (was_root && setuid(0) == 0));
    std::string found = stays ? "skip" : check();
    (void)!write(pipe_fds[1], found.data(), found.size());
    _exit(0);
  }
  close(pipe_fds[1]);
  std::string found;
  char buffer[512];
  ssize_t count;
  while ((count = ::read(pipe_fds[0], buffer, sizeof buffer)) > 0)
    found.append(buffer, static_cast<std::size_t>(count));
  close(pipe_fds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return "the child failed";
  return found;
}

bool can_run_as_nobody() {
  return run_in_child([] { return std::string(); }, true).empty();
}

std::string program_beside(const std::string& name) {
  char self[4096] = {};
  ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  std::string path(self, length > 0 ? static_cast<std::size_t>(length) : 0);
  return path.substr(0, path.rfind('/') + 1) + name;
}

ChildProcess::~ChildProcess() {
  if (running()) {
    // A polite end first, as a user's kill would ask for it.
    kill(pid_, SIGTERM);
    finish(2000);
    kill_hard();  // when it is still there
  }
}

bool ChildProcess::start(const std::vector<std::string>& arguments, bool as_nobody) {
  if (running() || arguments.empty()) return false;
  // A command written to a program that has ended must fail, not end this one.
  ::signal(SIGPIPE, SIG_IGN);
  std::vector<std::string> args = arguments;
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  int in[2], out[2], err[2];
  if (pipe2(in, O_CLOEXEC) != 0) return false;
  if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
    close(in[0]);
    close(in[1]);
    return false;
  }
  pid_ = fork();
  if (pid_ == 0) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    dup2(err[1], 2);
    if (as_nobody && !become_nobody()) _exit(126);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  close(err[1]);
  if (pid_ < 0) {
    for (int fd : {in[1], out[0], err[0]}) close(fd);
    return false;
  }
  input_ = in[1];
  {
    std::lock_guard<std::mutex> hold(mutex_);
    run_start_ = searched_ = lines_.size();
    open_readers_ = 2;
  }
  readers_[0] = std::thread([this, fd = out[0]] { read(fd, true); });
  readers_[1] = std::thread([this, fd = err[0]] { read(fd, false); });
  return true;
}

void ChildProcess::read(int fd, bool output) {
  char buffer[4096];
  for (;;) {
    ssize_t count = ::read(fd, buffer, sizeof buffer);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) break;
    std::lock_guard<std::mutex> hold(mutex_);
    (output ? out_ : err_).append(buffer, static_cast<std::size_t>(count));
    if (output) {
      partial_.append(buffer, static_cast<std::size_t>(count));
      std::size_t newline;
      while ((newline = partial_.find('\n')) != std::string::npos) {
        lines_.push_back(partial_.substr(0, newline));
        partial_.erase(0, newline + 1);
      }
    }
    arrived_.notify_all();
  }
  close(fd);
  std::lock_guard<std::mutex> hold(mutex_);
  if (output && !partial_.empty()) lines_.push_back(partial_);
  if (output) partial_.clear();
  --open_readers_;
  arrived_.notify_all();
}

void ChildProcess::reap(int status) {
  pid_ = -1;
  status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  if (input_ >= 0) close(input_);
  input_ = -1;
  for (std::thread& reader : readers_) {
    if (reader.joinable()) reader.join();
  }
}

bool ChildProcess::running() {
  if (pid_ <= 0) return false;
  int status = 0;
  if (waitpid(pid_, &status, WNOHANG) != pid_) return true;
  reap(status);
  return false;
}

int ChildProcess::finish(int timeout_ms) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (running()) {
    if (std::chrono::steady_clock::now() >= end) return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return status_;
}

void ChildProcess::signal(int number) {
  if (pid_ > 0) kill(pid_, number);
}

void ChildProcess::kill_hard() {
  if (pid_ <= 0) return;
  kill(pid_, SIGKILL);
  int status = 0;
  waitpid(pid_, &status, 0);
  reap(status);
}

void ChildProcess::send(const std::string& text) {
  if (input_ >= 0) (void)!write(input_, text.data(), text.size());
}

std::string ChildProcess::out() const {
  std::lock_guard<std::mutex> hold(mutex_);
  return out_;
}

std::string ChildProcess::err() const {
  std::lock_guard<std::mutex> hold(mutex_);
  return err_;
}

template <typename Done>
bool ChildProcess::wait(int timeout_ms, Done done) const {
  std::unique_lock<std::mutex> hold(mutex_);
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  // Once both streams have ended, nothing more can come.
  arrived_.wait_until(hold, end, [&] { return done() || open_readers_ == 0; });
  return done();
}

bool ChildProcess::wait_out(const std::string& text, int timeout_ms) const {
  return wait(timeout_ms, [&] { return out_.find(text) != std::string::npos; });
}

bool ChildProcess::wait_err(const std::string& text, int timeout_ms) const {
  return wait(timeout_ms, [&] { return err_.find(text) != std::string::npos; });
}

std::vector<std::string> ChildProcess::lines() const {
  std::lock_guard<std::mutex> hold(mutex_);
  return lines_;
}

std::string ChildProcess::next_line(const std::string& text, int timeout_ms) {
  auto found = [&] {
    for (; searched_ < lines_.size(); ++searched_) {
      if (lines_[searched_].find(text) != std::string::npos) return true;
    }
    return false;
  };
  if (!wait(timeout_ms, found)) return "";
  std::lock_guard<std::mutex> hold(mutex_);
  return lines_[searched_++];
}

std::vector<std::string> ChildProcess::ask(const std::string& command, const std::string& last,
                                           int timeout_ms) {
  std::size_t first = 0;
  {
    std::lock_guard<std::mutex> hold(mutex_);
    first = searched_ = lines_.size();
  }
  send(command + "\n");
  if (next_line(last, timeout_ms).empty()) return {};
  std::lock_guard<std::mutex> hold(mutex_);
  return std::vector<std::string>(lines_.begin() + static_cast<std::ptrdiff_t>(first),
                                  lines_.begin() + static_cast<std::ptrdiff_t>(searched_));
}

int ChildProcess::port(const std::string& name, int timeout_ms) const {
  const std::string marker = name + ": 127.0.0.1:";
  int found = 0;
  wait(timeout_ms, [&] {
    for (std::size_t k = run_start_; k < lines_.size() && found == 0; ++k) {
      std::size_t at = lines_[k].find(marker);
      if (at != std::string::npos) found = std::atoi(lines_[k].c_str() + at + marker.size());
    }
    return found != 0;
  });
  return found;
}

double ChildProcess::cpu_seconds() const {
  std::ifstream stat("/proc/" + std::to_string(pid_) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  if (text.find(')') == std::string::npos) return 0;
  // The fields after the command's closing bracket; utime and stime are the
  // 12th and 13th of them.
  std::istringstream fields(text.substr(text.rfind(')') + 2));
  std::string field;
  double ticks = 0;
  for (int index = 1; index <= 13 && fields >> field; ++index) {
    if (index >= 12) ticks += std::atof(field.c_str());
  }
  return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

long ChildProcess::resident_kib() const {
  std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  return 0;
}

}  // namespace orbilo
