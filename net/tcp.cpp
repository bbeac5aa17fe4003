// TCP client connections over POSIX sockets. Every connection is non-blocking
// once tcp_create() returns; the connect itself is bounded by a deadline.
//
// Result codes. Where the socket layer fails for a reason of its own, the
// result is RC_SOCKET_ERROR_BASE + errno (10000 + errno), so that it can never
// be mistaken for one of the service's codes (111 is "name ends with blank",
// ECONNREFUSED is 111 too). A host name that the resolver cannot turn into an
// IPv4 address gives RC_HOST_NOT_FOUND (11001). EAGAIN/EWOULDBLOCK ("would
// block") and ENOTCONN ("not connected yet") are not failures: a send answers
// RC_NOT_YET (or RC_TIMEOUT after 20 s without progress) and a receive answers
// 0 bytes.
#include "net/tcp.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

#include "net/clock.h"
#include "net/memory.h"
#include "net/readiness.h"
#include "orbilo/result_codes.h"

namespace orbilo {

struct TcpConnection {
  int socket;
  sockaddr_in peer;
  // clock_now() at creation and whenever the socket last took bytes; a socket
  // that takes nothing for longer than TCP_SEND_TIMEOUT_MS times out.
  std::uint32_t last_send_time;
  // In the readiness set (a connection the library made), and there also for
  // writing because the socket left bytes unsent.
  bool in_set;
  bool wants_write;
  void* owner;  // what the layer above keeps on the connection (tcp_set_owner)
};

namespace {

constexpr std::uint32_t TCP_SEND_TIMEOUT_MS = 20000;
constexpr int TCP_DEFAULT_CONNECT_DEADLINE_MS = 10000;
constexpr int TCP_RECEIVE_LIMIT = 4096;
constexpr int TCP_WAIT_STACK_SLOTS = 64;

int connect_deadline_ms = TCP_DEFAULT_CONNECT_DEADLINE_MS;
TcpConnectFilter connect_filter = nullptr;

// The socket layer's own failure, as a result code that never collides with
// the service's codes.
int tcp_socket_error(int error) {
  return RC_SOCKET_ERROR_BASE + error;
}

bool tcp_would_block(int error) {
  return error == EAGAIN || error == EWOULDBLOCK || error == ENOTCONN;
}

// Switches fd to non-blocking mode: true when it worked.
bool tcp_set_nonblocking(int fd) {
  int flags = fcntl(fd, F_GETFL, 0);
  return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

// Waits for the non-blocking connect on fd to finish within the deadline.
// true when the connection is made.
bool tcp_finish_connect(int fd) {
  std::uint32_t start = clock_now();
  for (;;) {
    std::uint32_t elapsed = clock_now() - start;
    if (elapsed >= static_cast<std::uint32_t>(connect_deadline_ms)) return false;
    pollfd entry{fd, POLLOUT, 0};
    int ready = poll(&entry, 1, connect_deadline_ms - static_cast<int>(elapsed));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return false;
    int error = 0;
    socklen_t size = sizeof(error);
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0) return false;
    return error == 0;
  }
}

}  // namespace

// POSIX sockets need no start-up; the calls stay so that the library's
// start and stop read the same on every platform.
int net_startup() {
  return 0;
}
int net_cleanup() {
  return 0;
}

int host_lookup(const char* name, std::uint32_t* address) {
  if (address == nullptr) return RC_NULL_POINTER;
  if (name == nullptr) return RC_HOST_NOT_FOUND;
  // A dotted address needs no name query. The all-ones address reads as
  // INADDR_NONE here and so goes to the resolver, which gives it back.
  in_addr_t dotted = inet_addr(name);
  if (dotted != INADDR_NONE) {
    *address = dotted;
    return 0;
  }
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  int result = getaddrinfo(name, nullptr, &hints, &found);
  if (result != 0) {
    // A resolver failure of the system itself keeps its errno; every other
    // resolver answer means that the name has no IPv4 address.
    int error = errno;
    if (result == EAI_SYSTEM && error != 0) return tcp_socket_error(error);
    return RC_HOST_NOT_FOUND;
  }
  int rc = RC_HOST_NOT_FOUND;
  for (addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
    if (entry->ai_family == AF_INET && entry->ai_addr != nullptr) {
      *address = reinterpret_cast<const sockaddr_in*>(entry->ai_addr)->sin_addr.s_addr;
      rc = 0;
      break;
    }
  }
  freeaddrinfo(found);
  return rc;
}

int tcp_create(std::uint32_t address, std::uint16_t port, TcpConnection** connection) {
  if (connection == nullptr) return RC_NULL_POINTER;
  if (connect_filter != nullptr && !connect_filter(address, port)) return RC_UNABLE_TO_CONNECT;
  auto* record = static_cast<TcpConnection*>(mem_calloc(1, sizeof(TcpConnection)));
  if (record == nullptr) return RC_OUT_OF_MEMORY;
  record->socket = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
  if (record->socket < 0) {
    mem_free(record);
    return RC_NO_SOCKET;
  }
  // Non-blocking from the start, so that the connect can be bounded.
  if (!tcp_set_nonblocking(record->socket)) {
    close(record->socket);
    mem_free(record);
    return RC_NONBLOCKING_FAILED;
  }
  record->peer.sin_family = AF_INET;
  record->peer.sin_port = port;
  record->peer.sin_addr.s_addr = address;
  int result = connect(record->socket, reinterpret_cast<const sockaddr*>(&record->peer),
                       sizeof(record->peer));
  bool connected = result == 0 ||
                   ((errno == EINPROGRESS || errno == EINTR) && tcp_finish_connect(record->socket));
  if (!connected) {
    close(record->socket);
    mem_free(record);
    return RC_UNABLE_TO_CONNECT;
  }
  record->last_send_time = clock_now();
  record->in_set = readiness_add(record->socket, record);
  *connection = record;
  return 0;
}

int tcp_attach(int fd, TcpConnection** connection) {
  if (connection == nullptr) return RC_NULL_POINTER;
  if (fd < 0) return RC_NO_SOCKET;
  auto* record = static_cast<TcpConnection*>(mem_calloc(1, sizeof(TcpConnection)));
  if (record == nullptr) return RC_OUT_OF_MEMORY;
  if (!tcp_set_nonblocking(fd)) {
    mem_free(record);  // the socket stays the caller's
    return RC_NONBLOCKING_FAILED;
  }
  record->socket = fd;
  socklen_t size = sizeof(record->peer);
  // The peer is informative only; a socket that cannot name it keeps zeros.
  if (getpeername(fd, reinterpret_cast<sockaddr*>(&record->peer), &size) != 0) {
    std::memset(&record->peer, 0, sizeof(record->peer));
  }
  record->last_send_time = clock_now();
  *connection = record;
  return 0;
}

int tcp_socket(const TcpConnection* connection) {
  return connection == nullptr ? -1 : connection->socket;
}

bool tcp_in_readiness(const TcpConnection* connection) {
  return connection != nullptr && connection->in_set;
}

void tcp_set_owner(TcpConnection* connection, void* owner) {
  if (connection != nullptr) connection->owner = owner;
}

void* tcp_owner(const TcpConnection* connection) {
  return connection == nullptr ? nullptr : connection->owner;
}

int tcp_destroy(TcpConnection* connection) {
  if (connection == nullptr) return 0;
  if (connection->in_set) readiness_remove(connection->socket);
  int rc = close(connection->socket) == 0 ? 0 : tcp_socket_error(errno);
  mem_free(connection);
  return rc;
}

int tcp_send(TcpConnection* connection, const void* data, int length, int* sent) {
  int sent_here = 0;
  if (sent != nullptr) *sent = 0;
  if (connection == nullptr) return RC_NULL_POINTER;
  if (length <= 0) return 0;
  if (data == nullptr) return RC_NULL_POINTER;
  const auto* bytes = static_cast<const char*>(data);
  int error = 0;
  while (sent_here < length) {
    ssize_t taken = send(connection->socket, bytes + sent_here,
                         static_cast<std::size_t>(length - sent_here), MSG_NOSIGNAL);
    if (taken > 0) {
      sent_here += static_cast<int>(taken);
      continue;
    }
    if (taken < 0 && errno == EINTR) continue;
    // A socket that takes nothing without saying why counts as full, so the
    // loop cannot spin.
    error = taken < 0 ? errno : EAGAIN;
    break;
  }
  if (sent != nullptr) *sent = sent_here;
  if (sent_here > 0) connection->last_send_time = clock_now();
  // Bytes left behind make the connection ready again once the socket takes
  // more; a full send ends that.
  bool left_behind = sent_here < length;
  if (connection->in_set && connection->wants_write != left_behind) {
    connection->wants_write = left_behind;
    readiness_want_write(connection->socket, connection, left_behind);
  }
  if (sent_here == length) return 0;
  if (!tcp_would_block(error)) return tcp_socket_error(error);
  // The socket is full. The caller keeps the unsent tail and offers it again;
  // only a socket that has taken nothing for 20 s gives up.
  if (sent_here > 0) return RC_NOT_YET;
  std::uint32_t idle = clock_now() - connection->last_send_time;
  return idle > TCP_SEND_TIMEOUT_MS ? RC_TIMEOUT : RC_NOT_YET;
}

int tcp_receive(TcpConnection* connection, void* buffer, int size, int* count) {
  if (count != nullptr) *count = 0;
  if (connection == nullptr || buffer == nullptr || count == nullptr) return RC_NULL_POINTER;
  if (size <= 0) return 0;
  int limit = size < TCP_RECEIVE_LIMIT ? size : TCP_RECEIVE_LIMIT;
  for (;;) {
    ssize_t received = recv(connection->socket, buffer, static_cast<std::size_t>(limit), 0);
    if (received > 0) {
      *count = static_cast<int>(received);
      return 0;
    }
    if (received == 0) return RC_RECEIVE_FAILED;  // the peer closed
    if (errno == EINTR) continue;
    if (tcp_would_block(errno)) return 0;
    return tcp_socket_error(errno);
  }
}

TcpConnection* tcp_wait(int count, TcpConnection* const* connections, int timeout) {
  if (count < 0 || (count > 0 && connections == nullptr)) return nullptr;
  pollfd stack_slots[TCP_WAIT_STACK_SLOTS];
  pollfd* slots = stack_slots;
  if (count > TCP_WAIT_STACK_SLOTS) {
    slots = static_cast<pollfd*>(mem_alloc(sizeof(pollfd) * static_cast<std::size_t>(count)));
    if (slots == nullptr) return nullptr;
  }
  // The slots follow the non-null entries in array order and are matched back
  // to them in the same order.
  nfds_t watched = 0;
  for (int k = 0; k < count; ++k) {
    if (connections[k] == nullptr) continue;
    slots[watched++] = pollfd{connections[k]->socket, POLLIN, 0};
  }
  TcpConnection* ready = nullptr;
  // With nothing to watch and no limit the wait could never end: return at once.
  if (watched > 0 || timeout > 0) {
    int result = poll(watched > 0 ? slots : nullptr, watched, timeout > 0 ? timeout : -1);
    if (result > 0) {
      nfds_t slot = 0;
      for (int k = 0; k < count && ready == nullptr; ++k) {
        if (connections[k] == nullptr) continue;
        // A closed or failed socket counts as readable: the receive reports it.
        if (slots[slot++].revents & (POLLIN | POLLHUP | POLLERR)) ready = connections[k];
      }
    }
  }
  if (slots != stack_slots) mem_free(slots);
  return ready;
}

void tcp_set_connect_filter(TcpConnectFilter filter) {
  connect_filter = filter;
}

void tcp_set_connect_deadline(int ms) {
  connect_deadline_ms = ms > 0 ? ms : TCP_DEFAULT_CONNECT_DEADLINE_MS;
}

}  // namespace orbilo
