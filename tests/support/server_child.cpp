#include "support/server_child.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <utility>

extern char** environ;

namespace orbilo {

namespace {

using Clock = std::chrono::steady_clock;

int remaining_ms(Clock::time_point end) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

// The port after "NAME: 127.0.0.1:" in a log line, or 0.
int port_after(const std::string& line, const std::string& name) {
  std::size_t at = line.find(name + ": 127.0.0.1:");
  if (at == std::string::npos) return 0;
  return std::atoi(line.c_str() + at + name.size() + std::strlen(": 127.0.0.1:"));
}

}  // namespace

ServerChild::ServerChild(std::string program) : program_(std::move(program)) {
  // A command written to a server that has just died must not end the test.
  signal(SIGPIPE, SIG_IGN);
  char path[] = "/tmp/orbilo-server-child-XXXXXX";
  int fd = mkstemp(path);
  if (fd >= 0) {
    close(fd);
    config_path_ = path;
  }
}

ServerChild::~ServerChild() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  close_pipes();
  if (!config_path_.empty()) unlink(config_path_.c_str());
}

void ServerChild::close_pipes() {
  if (input_ >= 0) close(input_);
  if (output_ >= 0) close(output_);
  input_ = output_ = -1;
  partial_.clear();
}

bool ServerChild::start() {
  if (pid_ > 0 || config_path_.empty()) return false;
  {
    std::ofstream config(config_path_, std::ios::trunc);
    config << "[server]\nseed = 1\nadmin_stdin = yes\ntrace = yes\n"
           << "[universe]\nlisten = 127.0.0.1:" << universe_port_ << "\n"
           << "[version]\nlisten = off\n"
           << "[world demo]\nlisten = 127.0.0.1:" << world_port_ << "\nbuild = 39\ncrowd = 0\n"
           << "[citizen 1]\nname = Demo\npassword = demo\n";
    if (!config) return false;
  }
  int in[2], out[2];
  if (pipe2(in, O_CLOEXEC) != 0) return false;
  if (pipe2(out, O_CLOEXEC) != 0) {
    close(in[0]);
    close(in[1]);
    return false;
  }
  std::vector<std::string> args = {program_, "--config", config_path_};
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  if (posix_spawn(&pid_, program_.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
    pid_ = -1;
  }
  posix_spawn_file_actions_destroy(&actions);
  close(in[0]);
  close(out[1]);
  input_ = in[1];
  output_ = out[0];
  fcntl(output_, F_SETFL, fcntl(output_, F_GETFL) | O_NONBLOCK);
  if (pid_ <= 0) {
    close_pipes();
    return false;
  }
  searched_ = log_.size();
  int universe = 0, world = 0;
  auto end = Clock::now() + std::chrono::seconds(5);
  while (universe == 0 || world == 0) {
    for (; searched_ < log_.size(); ++searched_) {
      if (universe == 0) universe = port_after(log_[searched_], "universe");
      if (world == 0) world = port_after(log_[searched_], "world \"demo\"");
    }
    if (universe != 0 && world != 0) break;
    if (!read_lines(remaining_ms(end))) {
      kill_hard();
      return false;
    }
  }
  universe_port_ = universe;
  world_port_ = world;
  return true;
}

void ServerChild::kill_hard() {
  if (pid_ <= 0) return;
  kill(pid_, SIGKILL);
  waitpid(pid_, nullptr, 0);
  pid_ = -1;
  read_lines(0);
  close_pipes();
}

bool ServerChild::read_lines(int timeout_ms) {
  if (output_ < 0) return false;
  pollfd entry{output_, POLLIN, 0};
  if (poll(&entry, 1, timeout_ms) <= 0) return false;
  char buffer[4096];
  bool got = false;
  for (;;) {
    ssize_t count = read(output_, buffer, sizeof buffer);
    if (count <= 0) break;  // nothing more now, or the server has gone
    got = true;
    partial_.append(buffer, static_cast<std::size_t>(count));
  }
  std::size_t newline;
  while ((newline = partial_.find('\n')) != std::string::npos) {
    log_.push_back(partial_.substr(0, newline));
    partial_.erase(0, newline + 1);
  }
  return got;
}

std::string ServerChild::wait_for(const std::string& text, int timeout_ms) {
  auto end = Clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    for (; searched_ < log_.size(); ++searched_) {
      if (log_[searched_].find(text) != std::string::npos) return log_[searched_++];
    }
    int left = remaining_ms(end);
    if (left == 0 || !read_lines(left)) return "";
  }
}

std::string ServerChild::admin(const std::string& command, const std::string& expect,
                               int timeout_ms) {
  if (input_ < 0) return "";
  read_lines(0);
  searched_ = log_.size();
  std::string line = command + "\n";
  if (write(input_, line.data(), line.size()) != static_cast<ssize_t>(line.size())) return "";
  return wait_for(expect, timeout_ms);
}

}  // namespace orbilo
