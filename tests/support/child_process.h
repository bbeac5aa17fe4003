// A program in a child process of a test or a benchmark, with pipes on its
// three streams. Threads of the helper read its standard output and error
// as they come, so that it never blocks on a full pipe; every wait for what
// it writes is bounded.
//
//   ChildProcess server({program_beside("orbilo-server"), "--universe", "127.0.0.1:0"});
//   int port = server.port("universe");          // from "universe: 127.0.0.1:PORT"
//   server.next_line(" x=500 ");                 // a log line past those already found
//   server.ask("list", "at 500");                // a command and the lines that answer it
//   server.kill_hard();                          // SIGKILL: no goodbye on any link
//   server.start({... "127.0.0.1:" + std::to_string(port)});  // again, on the same port
//
// A program may also run as the user nobody (when this process is root), for
// files that root's privileges would let it read or write anyway.
#pragma once

#include <sys/types.h>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace orbilo {

// The path of a program that lies beside this one (both in build/bin).
std::string program_beside(const std::string& name);

// Runs check in a child process and returns what it returns ("" for nothing
// wrong), or "the child failed" when the child did not end well. As_nobody:
// as the user nobody when this process is root, and "skip" when the child
// cannot become nobody for good.
std::string run_in_child(const std::function<std::string()>& check, bool as_nobody = false);
// Whether a child of this process can run as the user nobody.
bool can_run_as_nobody();

class ChildProcess {
 public:
  ChildProcess() = default;
  explicit ChildProcess(const std::vector<std::string>& arguments, bool as_nobody = false) {
    start(arguments, as_nobody);
  }
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Starts arguments[0] with the arguments after it, once any earlier run
  // has ended; what it writes is added to what earlier runs wrote. false
  // when the program could not be started.
  bool start(const std::vector<std::string>& arguments, bool as_nobody = false);
  // True while the program runs.
  bool running();
  // Its exit status once it has ended within timeout_ms, or -1 (also when a
  // signal ended it).
  int finish(int timeout_ms = 10000);
  void signal(int number);
  // SIGKILL, and the end awaited.
  void kill_hard();
  pid_t pid() const { return pid_; }

  // Writes text to the program's standard input.
  void send(const std::string& text);

  // What it has written so far on standard output and standard error.
  std::string out() const;
  std::string err() const;
  // Waits until text has appeared there: false after timeout_ms.
  bool wait_out(const std::string& text, int timeout_ms = 10000) const;
  bool wait_err(const std::string& text, int timeout_ms = 10000) const;

  // The lines of standard output, of every run.
  std::vector<std::string> lines() const;
  // The first line of standard output past those this has already searched
  // that holds text (and the search goes on after it), or "" after
  // timeout_ms.
  std::string next_line(const std::string& text, int timeout_ms = 3000);
  // Sends a command line and returns the lines of standard output that came
  // after it, up to the first that holds last; empty after timeout_ms.
  std::vector<std::string> ask(const std::string& command, const std::string& last,
                               int timeout_ms = 3000);
  // The port in the first line of this run that holds "NAME: 127.0.0.1:PORT",
  // or 0 when none came within timeout_ms.
  int port(const std::string& name, int timeout_ms = 10000) const;

  // The CPU seconds (user and system) and the resident KiB of the program,
  // from /proc.
  double cpu_seconds() const;
  long resident_kib() const;

 private:
  template <typename Done>
  bool wait(int timeout_ms, Done done) const;
  void read(int fd, bool output);
  void reap(int status);  // ends the run: the readers joined, the input closed

  pid_t pid_ = -1;   // while the program runs
  int status_ = -1;  // its exit status, once it has ended
  int input_ = -1;
  std::thread readers_[2];
  mutable std::mutex mutex_;
  mutable std::condition_variable arrived_;
  std::string out_, err_, partial_;
  std::vector<std::string> lines_;
  std::size_t searched_ = 0;   // lines before this are not searched again
  std::size_t run_start_ = 0;  // the first line of this run
  int open_readers_ = 0;
};

}  // namespace orbilo
