// A small blocking TCP client socket for the application: connect to a host
// by dotted address or name, send, receive, close, and the last error. Each
// call is bounded by the time-out as a whole, so that neither a silent peer
// nor one that trickles a byte now and then can hang the program.
//
// While a call waits, it calls the wait hook, if one is set, at least every
// kServeIntervalMs (and once before a connect looks its host up).
//
// Error codes are the system's errno plus 10000, as the library reports
// socket errors; a host name that cannot be looked up gives 10022.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>

class ClientSocket {
 public:
  static constexpr int kErrorBase = 10000;
  static constexpr int kHostNotFound = 10022;
  static constexpr int kDefaultTimeoutMs = 10000;
  static constexpr int kServeIntervalMs = 25;

  ClientSocket() = default;
  ~ClientSocket() { Close(); }
  ClientSocket(const ClientSocket&) = delete;
  ClientSocket& operator=(const ClientSocket&) = delete;

  // Connects to host:port (IPv4) within the time-out: true, or false with
  // the last error set.
  bool Connect(const std::string& host, int port);
  // Sends every byte within the time-out: true, or false with the last error
  // set.
  bool Send(const void* data, std::size_t size);
  // Receives exactly size bytes within the time-out: true, or false with the
  // last error set (a peer that closes first gives ECONNRESET).
  bool Receive(void* data, std::size_t size);
  void Close();
  int LastError() const { return last_error_; }
  // What the calls run while they wait (nothing when empty).
  void SetWaitHook(std::function<void()> hook) { wait_hook_ = std::move(hook); }

  // Test hook: the time-out of a connect, a send and a receive, in ms (0 or
  // less restores the default of 10 s).
  static void SetTimeoutForTests(int ms);

 private:
  bool Fail(int error);
  static std::chrono::steady_clock::time_point Deadline();
  bool WaitFor(short events, std::chrono::steady_clock::time_point deadline);

  void Serve() const;

  int fd_ = -1;
  int last_error_ = 0;
  std::function<void()> wait_hook_;
};
