// A small TCP peer on the loopback interface (127.0.0.1 only) for tests and
// benchmarks: the other end of the library's connections, from which scripted
// servers are built.
//
//   loopback::Listener listener;                 // 127.0.0.1, port chosen by the OS
//   tcp_create(loopback::address(), listener.port(), &connection);
//   loopback::Peer peer = listener.accept();
//   peer.send({0x00, 0x01, 0x18});               // what the library must receive
//   auto bytes = peer.receive(7);                // exactly 7 bytes, or fewer on time-out
//
// Every wait is bounded (kTimeoutMs by default), so a failing test ends
// instead of hanging. To make the library's sends back up, give the listener a
// small receive buffer and do not read from the peer; read again (drain) to
// let it go on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <utility>
#include <vector>

namespace orbilo {

namespace loopback {

using Bytes = std::vector<std::uint8_t>;

inline constexpr int kTimeoutMs = 5000;

// 127.0.0.1 in network order, as the library takes addresses.
std::uint32_t address();

// A loopback port (network order) on which nothing listens: a connect to it is
// refused.
std::uint16_t closed_port();

// One end of a TCP connection, non-blocking underneath, with bounded waits.
// Move-only; closes its socket when it goes.
class Peer {
 public:
  Peer() = default;
  explicit Peer(int fd) : fd_(fd) {}
  Peer(Peer&& other) noexcept;
  Peer& operator=(Peer&& other) noexcept;
  Peer(const Peer&) = delete;
  Peer& operator=(const Peer&) = delete;
  ~Peer();

  bool valid() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  // Gives the socket up without closing it (to a stream that takes it over).
  int release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }

  // Sends every byte, waiting while the other side's window is full: true when
  // all went out within timeout_ms.
  bool send(const void* data, std::size_t size, int timeout_ms = kTimeoutMs);
  bool send(const Bytes& bytes, int timeout_ms = kTimeoutMs);
  bool send(std::initializer_list<std::uint8_t> bytes, int timeout_ms = kTimeoutMs);

  // Exactly size bytes; fewer when timeout_ms passes or the other side closes.
  Bytes receive(std::size_t size, int timeout_ms = kTimeoutMs);

  // Everything that arrives until nothing more has come for quiet_ms, or the
  // other side closes, or limit bytes have come.
  Bytes drain(int quiet_ms = 100, std::size_t limit = SIZE_MAX);

  // true when no byte is waiting and none arrives within wait_ms. Reads
  // nothing.
  bool quiet(int wait_ms = 50);

  // true when the other side has closed (a read finds the end of the stream)
  // within timeout_ms. Waiting bytes are read and dropped.
  bool closed(int timeout_ms = kTimeoutMs);

  void shutdown_write();  // sends FIN, keeps reading
  void close();           // orderly close
  void reset();           // abortive close: the other side gets a reset

 private:
  int fd_ = -1;
};

// A listening socket on 127.0.0.1 with a port chosen by the OS.
class Listener {
 public:
  // backlog is passed to listen(). receive_buffer, when positive, is set as
  // SO_RCVBUF before listening, so that accepted connections have a small
  // window and a sender that is not read from backs up quickly.
  explicit Listener(int backlog = 16, int receive_buffer = 0);
  ~Listener();
  Listener(const Listener&) = delete;
  Listener& operator=(const Listener&) = delete;

  bool ok() const { return fd_ >= 0; }
  std::uint16_t port() const { return port_; }  // network order

  // The next connection, or an invalid Peer after timeout_ms.
  Peer accept(int timeout_ms = kTimeoutMs);
  // A connection of the library's to this listener, made by connect (such as
  // tunnel_connect or stream_create), and its accepted end; null and an
  // invalid Peer where either failed.
  template <typename Handle>
  std::pair<Handle*, Peer> open(int (*connect)(std::uint32_t, std::uint16_t, Handle**)) {
    Handle* handle = nullptr;
    if (connect(address(), port_, &handle) != 0) return {nullptr, Peer()};
    return {handle, accept()};
  }
  void close();

 private:
  int fd_ = -1;
  std::uint16_t port_ = 0;
};

// A plain client connection to 127.0.0.1:port (network order): an invalid
// Peer when it is not made within timeout_ms.
Peer connect(std::uint16_t port, int timeout_ms = kTimeoutMs);

// Starts a client connection to 127.0.0.1:port and does not wait for it; used
// to fill a listener's accept queue.
Peer connect_started(std::uint16_t port);

}  // namespace loopback

}  // namespace orbilo
