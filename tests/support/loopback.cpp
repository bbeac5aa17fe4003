#include "support/loopback.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

namespace orbilo {

namespace loopback {
namespace {

using Clock = std::chrono::steady_clock;

sockaddr_in loopback_socket_address(std::uint16_t port) {
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = port;
  peer.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return peer;
}

int new_socket() {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  return fd;
}

// Milliseconds left until deadline, never below 0.
int left_ms(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// Waits for events on fd until deadline: true when they came.
bool wait_for(int fd, short events, Clock::time_point deadline) {
  for (;;) {
    pollfd entry{fd, events, 0};
    int result = poll(&entry, 1, left_ms(deadline));
    if (result < 0 && errno == EINTR) continue;
    return result > 0;
  }
}

}  // namespace

std::uint32_t address() {
  return htonl(INADDR_LOOPBACK);
}

std::uint16_t closed_port() {
  int fd = new_socket();
  sockaddr_in bound = loopback_socket_address(0);
  socklen_t size = sizeof(bound);
  bind(fd, reinterpret_cast<sockaddr*>(&bound), sizeof(bound));
  getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &size);
  ::close(fd);
  return bound.sin_port;
}

// ---- Peer ------------------------------------------------------------------

Peer::Peer(Peer&& other) noexcept : fd_(other.fd_) {
  other.fd_ = -1;
}

Peer& Peer::operator=(Peer&& other) noexcept {
  if (this != &other) {
    close();
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

Peer::~Peer() {
  close();
}

bool Peer::send(const void* data, std::size_t size, int timeout_ms) {
  auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  std::size_t done = 0;
  while (valid() && done < size) {
    ssize_t sent = ::send(fd_, bytes + done, size - done, MSG_NOSIGNAL);
    if (sent > 0) {
      done += static_cast<std::size_t>(sent);
    } else if (sent < 0 && errno == EINTR) {
      continue;
    } else if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (!wait_for(fd_, POLLOUT, deadline)) return false;
    } else {
      return false;
    }
  }
  return valid() && done == size;
}

bool Peer::send(const Bytes& bytes, int timeout_ms) {
  return send(bytes.data(), bytes.size(), timeout_ms);
}

bool Peer::send(std::initializer_list<std::uint8_t> bytes, int timeout_ms) {
  return send(Bytes(bytes), timeout_ms);
}

Bytes Peer::receive(std::size_t size, int timeout_ms) {
  auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  Bytes bytes(size);
  std::size_t done = 0;
  while (valid() && done < size) {
    ssize_t got = recv(fd_, bytes.data() + done, size - done, 0);
    if (got > 0) {
      done += static_cast<std::size_t>(got);
    } else if (got < 0 && errno == EINTR) {
      continue;
    } else if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (!wait_for(fd_, POLLIN, deadline)) break;
    } else {
      break;  // closed or failed
    }
  }
  bytes.resize(done);
  return bytes;
}

Bytes Peer::drain(int quiet_ms, std::size_t limit) {
  Bytes bytes;
  std::uint8_t chunk[65536];
  while (valid() && bytes.size() < limit) {
    auto deadline = Clock::now() + std::chrono::milliseconds(quiet_ms);
    if (!wait_for(fd_, POLLIN, deadline)) break;
    std::size_t want = limit - bytes.size() < sizeof(chunk) ? limit - bytes.size() : sizeof(chunk);
    ssize_t got = recv(fd_, chunk, want, 0);
    if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (got <= 0) break;
    bytes.insert(bytes.end(), chunk, chunk + got);
  }
  return bytes;
}

bool Peer::quiet(int wait_ms) {
  if (!valid()) return true;
  pollfd entry{fd_, POLLIN, 0};
  if (poll(&entry, 1, wait_ms) <= 0) return true;
  std::uint8_t byte;
  return recv(fd_, &byte, 1, MSG_PEEK) <= 0;
}

bool Peer::closed(int timeout_ms) {
  auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  std::uint8_t chunk[4096];
  while (valid()) {
    ssize_t got = recv(fd_, chunk, sizeof(chunk), 0);
    if (got == 0) return true;
    if (got > 0 || errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return true;  // reset
    if (!wait_for(fd_, POLLIN, deadline)) return false;
  }
  return true;
}

void Peer::shutdown_write() {
  if (valid()) shutdown(fd_, SHUT_WR);
}

void Peer::close() {
  if (valid()) ::close(fd_);
  fd_ = -1;
}

void Peer::reset() {
  if (!valid()) return;
  linger abortive{1, 0};
  setsockopt(fd_, SOL_SOCKET, SO_LINGER, &abortive, sizeof(abortive));
  close();
}

// ---- Listener and client connections ---------------------------------------

Listener::Listener(int backlog, int receive_buffer) {
  int fd = new_socket();
  if (fd < 0) return;
  if (receive_buffer > 0) {
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receive_buffer, sizeof(receive_buffer));
  }
  sockaddr_in bound = loopback_socket_address(0);
  socklen_t size = sizeof(bound);
  if (bind(fd, reinterpret_cast<sockaddr*>(&bound), sizeof(bound)) != 0 ||
      listen(fd, backlog) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &size) != 0) {
    ::close(fd);
    return;
  }
  fd_ = fd;
  port_ = bound.sin_port;
}

Listener::~Listener() {
  close();
}

Peer Listener::accept(int timeout_ms) {
  auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  while (ok()) {
    int fd = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd >= 0) return Peer(fd);
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) break;
    if (!wait_for(fd_, POLLIN, deadline)) break;
  }
  return Peer();
}

void Listener::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

Peer connect_started(std::uint16_t port) {
  int fd = new_socket();
  if (fd < 0) return Peer();
  sockaddr_in peer = loopback_socket_address(port);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&peer), sizeof(peer)) != 0 &&
      errno != EINPROGRESS) {
    ::close(fd);
    return Peer();
  }
  return Peer(fd);
}

Peer connect(std::uint16_t port, int timeout_ms) {
  Peer peer = connect_started(port);
  if (!peer.valid()) return peer;
  auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  int error = 0;
  socklen_t size = sizeof(error);
  if (!wait_for(peer.fd(), POLLOUT, deadline) ||
      getsockopt(peer.fd(), SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error != 0) {
    return Peer();
  }
  return peer;
}

}  // namespace loopback

}  // namespace orbilo
