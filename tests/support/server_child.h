// orbilo-server as a child process of a test, for faults that need the real
// program: killed without warning and started again on the same ports.
//
//   ServerChild server(ORBILO_SERVER_PATH);
//   server.start();                    // universe and world "demo" on 127.0.0.1, ports from the OS
//   api_create("127.0.0.1", server.universe_port(), &bot);
//   server.kill_hard();                // SIGKILL: no goodbye on any link
//   server.start();                    // the same ports again
//   server.admin("list", " at 500 ");  // the log line that answers, or ""
//   server.wait_for(" x=500 ");        // every message is traced in the log
//
// The server reads administrative commands on its standard input and logs
// to its standard output, which the helper reads without blocking. Every
// wait is bounded.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace orbilo {

class ServerChild {
 public:
  // program: the path of orbilo-server.
  explicit ServerChild(std::string program);
  ~ServerChild();
  ServerChild(const ServerChild&) = delete;
  ServerChild& operator=(const ServerChild&) = delete;

  // Starts the server with a universe and a world "demo" (build 39, no
  // crowd) on 127.0.0.1, and citizen 1 "Demo" with password "demo". The first
  // start takes ports from the OS; later starts use the same ports again.
  // true once the server has named its ports in its log.
  bool start();
  // Kills the server with SIGKILL and waits for it to end.
  void kill_hard();
  bool running() const { return pid_ > 0; }

  int universe_port() const { return universe_port_; }  // host order
  int world_port() const { return world_port_; }

  // Sends a command line to the server's standard input and waits until a
  // log line that contains expect arrives: that line, or "" after
  // timeout_ms.
  std::string admin(const std::string& command, const std::string& expect, int timeout_ms = 3000);
  // Waits for a log line that contains text (lines already read count):
  // the line, or "" after timeout_ms.
  std::string wait_for(const std::string& text, int timeout_ms = 3000);
  // Every log line read so far, of every run of the server.
  const std::vector<std::string>& log() const { return log_; }

 private:
  bool read_lines(int timeout_ms);  // reads what is there: false on time-out
  void close_pipes();

  std::string program_;
  std::string config_path_;
  pid_t pid_ = -1;
  int input_ = -1;   // the server's standard input
  int output_ = -1;  // its standard output
  std::string partial_;
  std::vector<std::string> log_;
  std::size_t searched_ = 0;  // log_ lines before this are not searched again
  int universe_port_ = 0;
  int world_port_ = 0;
};

}  // namespace orbilo
