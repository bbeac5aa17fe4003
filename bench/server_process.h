// orbilo-server in a child process beside the benchmark program (both lie in
// build/bin), so that its work and memory are not counted as the library's.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

class ServerProcess {
 public:
  // Starts the server with a universe on 127.0.0.1 at a port the system
  // picks, no version service, and the given further arguments.
  explicit ServerProcess(const std::vector<std::string>& arguments);
  ~ServerProcess();
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  int port() const { return port_; }  // 0 when the server did not start
  // CPU seconds (user and system) the server has used, and its resident
  // memory in KiB, from /proc.
  double cpu_seconds() const;
  long resident_kib() const;

 private:
  pid_t pid_ = -1;
  int port_ = 0;
};
