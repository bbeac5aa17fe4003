#include "server_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

extern char** environ;

namespace orbilo {

namespace {

std::string server_path() {
  char self[4096] = {};
  ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  if (length <= 0) return "orbilo-server";
  std::string path(self, static_cast<std::size_t>(length));
  return path.substr(0, path.rfind('/') + 1) + "orbilo-server";
}

}  // namespace

ServerProcess::ServerProcess(const std::vector<std::string>& arguments, bool admin) {
  std::vector<std::string> args = {server_path(), "--universe", "127.0.0.1:0", "--version-server",
                                   "off"};
  if (!admin) args.push_back("--no-admin");
  args.insert(args.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  int out[2];
  int in[2] = {-1, -1};
  if (pipe2(out, O_CLOEXEC) != 0) return;
  if (admin && pipe2(in, O_CLOEXEC) != 0) {
    close(out[0]);
    close(out[1]);
    return;
  }
  // A command written after the server is gone must fail, not end this program.
  if (admin) signal(SIGPIPE, SIG_IGN);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  if (admin) posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  if (posix_spawn(&pid_, args[0].c_str(), &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  if (admin) {
    close(in[0]);
    input_ = in[1];
  }
  // The server names the port it was given: "universe: 127.0.0.1:PORT, ...".
  FILE* lines = fdopen(out[0], "r");
  char line[512];
  while (pid_ > 0 && lines != nullptr && std::fgets(line, sizeof line, lines) != nullptr) {
    const char* found = std::strstr(line, "universe: 127.0.0.1:");
    if (found != nullptr) {
      port_ = std::atoi(found + std::strlen("universe: 127.0.0.1:"));
      break;
    }
  }
  if (admin && lines != nullptr) {
    log_ = lines;
    reader_ = std::thread(&ServerProcess::read_log, this);
    return;
  }
  // The rest of its log is not read; its writes fail quietly from here on.
  if (lines != nullptr) std::fclose(lines);
}

ServerProcess::~ServerProcess() {
  if (input_ >= 0) close(input_);
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  // The log ends with the server.
  if (reader_.joinable()) reader_.join();
  if (log_ != nullptr) std::fclose(log_);
}

void ServerProcess::read_log() {
  char* line = nullptr;
  std::size_t size = 0;
  ssize_t length = 0;
  while ((length = getline(&line, &size, log_)) > 0) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!collecting_) continue;
    std::size_t end = static_cast<std::size_t>(length);
    if (line[end - 1] == '\n') --end;
    collected_.emplace_back(line, end);
    arrived_.notify_all();
  }
  std::free(line);
  std::lock_guard<std::mutex> lock(mutex_);
  log_ended_ = true;
  arrived_.notify_all();
}

std::vector<std::string> ServerProcess::command(const std::string& lines, const std::string& last,
                                                std::chrono::milliseconds limit) {
  if (input_ < 0 || !reader_.joinable()) return {};
  std::unique_lock<std::mutex> lock(mutex_);
  collected_.clear();
  collecting_ = true;
  std::string text = lines + "\n";
  bool written = write(input_, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  // The log may go on past the answer's last line before this thread wakes.
  std::size_t end = 0;
  auto done = [&] {
    for (; end < collected_.size(); ++end) {
      if (collected_[end].ends_with(last)) return true;
    }
    return log_ended_;
  };
  bool answered = written && arrived_.wait_for(lock, limit, done) && end < collected_.size();
  collecting_ = false;
  std::vector<std::string> answer;
  if (answered) answer.assign(collected_.begin(), collected_.begin() + end + 1);
  collected_.clear();
  return answer;
}

double ServerProcess::cpu_seconds() const {
  std::ifstream stat("/proc/" + std::to_string(pid_) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
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

long ServerProcess::resident_kib() const {
  std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  return 0;
}

}  // namespace orbilo
