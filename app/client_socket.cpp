#include "client_socket.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

namespace {

int timeout_ms = ClientSocket::kDefaultTimeoutMs;

// The address of host: a dotted IPv4 address as it is, else the resolver's
// first IPv4 answer.
bool resolve(const std::string& host, in_addr* address) {
  if (inet_pton(AF_INET, host.c_str(), address) == 1) return true;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) return false;
  *address = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr;
  freeaddrinfo(found);
  return true;
}

}  // namespace

void ClientSocket::SetTimeoutForTests(int ms) {
  timeout_ms = ms > 0 ? ms : kDefaultTimeoutMs;
}

bool ClientSocket::Fail(int error) {
  last_error_ = error;
  return false;
}

std::chrono::steady_clock::time_point ClientSocket::Deadline() {
  return std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
}

void ClientSocket::Serve() const {
  if (wait_hook_) wait_hook_();
}

// Waits in slices of kServeIntervalMs, serving the hook between them, until
// the socket is ready or the deadline has passed.
bool ClientSocket::WaitFor(short events, std::chrono::steady_clock::time_point deadline) {
  pollfd entry{fd_, events, 0};
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    deadline - std::chrono::steady_clock::now())
                    .count();
    if (left <= 0) return Fail(kErrorBase + ETIMEDOUT);
    int slice = static_cast<int>(wait_hook_ && left > kServeIntervalMs ? kServeIntervalMs : left);
    int ready = poll(&entry, 1, slice);
    if (ready > 0) return true;
    if (ready < 0 && errno != EINTR) return Fail(kErrorBase + errno);
    Serve();
  }
}

bool ClientSocket::Connect(const std::string& host, int port) {
  Close();
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(static_cast<std::uint16_t>(port));
  Serve();  // a name lookup cannot be cut into slices: serve once before it
  if (!resolve(host, &peer.sin_addr)) return Fail(kHostNotFound);
  auto deadline = Deadline();
  fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd_ < 0) return Fail(kErrorBase + errno);
  if (connect(fd_, reinterpret_cast<sockaddr*>(&peer), sizeof peer) != 0) {
    if (errno != EINPROGRESS) return Fail(kErrorBase + errno);
    if (!WaitFor(POLLOUT, deadline)) return false;
    int error = 0;
    socklen_t size = sizeof error;
    getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &size);
    if (error != 0) return Fail(kErrorBase + error);
  }
  return true;
}

bool ClientSocket::Send(const void* data, std::size_t size) {
  const auto* bytes = static_cast<const char*>(data);
  auto deadline = Deadline();
  while (size > 0) {
    ssize_t sent = send(fd_, bytes, size, MSG_NOSIGNAL);
    if (sent > 0) {
      bytes += sent;
      size -= static_cast<std::size_t>(sent);
    } else if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (!WaitFor(POLLOUT, deadline)) return false;
    } else if (sent < 0 && errno != EINTR) {
      return Fail(kErrorBase + errno);
    }
  }
  return true;
}

bool ClientSocket::Receive(void* data, std::size_t size) {
  auto* bytes = static_cast<char*>(data);
  auto deadline = Deadline();
  while (size > 0) {
    ssize_t got = recv(fd_, bytes, size, 0);
    if (got > 0) {
      bytes += got;
      size -= static_cast<std::size_t>(got);
    } else if (got == 0) {
      return Fail(kErrorBase + ECONNRESET);  // the peer closed before all came
    } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
      if (!WaitFor(POLLIN, deadline)) return false;
    } else if (errno != EINTR) {
      return Fail(kErrorBase + errno);
    }
  }
  return true;
}

void ClientSocket::Close() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}
