// orbilo-server in a child process beside the benchmark program (both lie in
// build/bin), so that its work and memory are not counted as the library's.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace orbilo {

class ServerProcess {
 public:
  // Starts the server with a universe on 127.0.0.1 at a port the system
  // picks, no version service, and the given further arguments. With admin,
  // its standard input takes commands (see command()) and its log is read
  // on a thread of its own; without, it takes none and its log goes unread
  // once the port is known.
  explicit ServerProcess(const std::vector<std::string>& arguments, bool admin = false);
  ~ServerProcess();
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  int port() const { return port_; }  // 0 when the server did not start
  // CPU seconds (user and system) the server has used, and its resident
  // memory in KiB, from /proc.
  double cpu_seconds() const;
  long resident_kib() const;

  // Sends administrative commands (lines) and returns the log lines that
  // came after them up to and including the first that ends with last;
  // empty when that line did not come within limit, or without admin.
  std::vector<std::string> command(const std::string& lines, const std::string& last,
                                   std::chrono::milliseconds limit);

 private:
  void read_log();

  pid_t pid_ = -1;
  int port_ = 0;
  int input_ = -1;       // the server's standard input, with admin
  FILE* log_ = nullptr;  // its standard output, with admin
  std::thread reader_;
  std::mutex mutex_;
  std::condition_variable arrived_;
  bool collecting_ = false;
  bool log_ended_ = false;
  std::vector<std::string> collected_;
};

}  // namespace orbilo
