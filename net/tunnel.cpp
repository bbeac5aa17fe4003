// The connection layer: one channel per link, each carried by one TCP
// connection, all kept in one list (newest first) so that a single wait
// watches every link of every instance. Channels over sockets that a server
// accepted itself stay out of the list.
//
// Where every listed connection is in the readiness set (the library is
// initialised), sweeps and waits ask the set, which names the few ready
// connections at the cost of one call however many links are idle; else
// they poll every listed socket.
#include "net/tunnel.h"

#include <poll.h>

#include "net/memory.h"
#include "net/readiness.h"
#include "net/tcp.h"
#include "orbilo/result_codes.h"

namespace orbilo {

struct TunnelChannel {
  TunnelChannel* next;
  TcpConnection* connection;
  // The sweep that found input on it: while a sweep is open, a channel that
  // it did not find is quiet, and its receives answer without the socket.
  std::uint32_t seen;
  bool listed;  // in the list; attached channels are never quiet
  void* user;   // the layer above's (tunnel_set_user)
};

namespace {

// Up to this many channels, a wait needs no allocation.
constexpr int TUNNEL_WAIT_STACK_SLOTS = 64;

TunnelChannel* channel_list = nullptr;
int channel_count = 0;
int unwatched_count = 0;  // listed channels whose connection is not in the readiness set
std::uint32_t sweep_number = 0;
bool sweep_open = false;

bool tunnel_quiet(const TunnelChannel* channel) {
  return sweep_open && channel->listed && channel->seen != sweep_number;
}

// Takes channel out of the list: true when it was there.
bool tunnel_unlink(TunnelChannel* channel) {
  for (TunnelChannel** link = &channel_list; *link != nullptr; link = &(*link)->next) {
    if (*link != channel) continue;
    *link = channel->next;
    channel->listed = false;
    --channel_count;
    if (!tcp_in_readiness(channel->connection)) --unwatched_count;
    return true;
  }
  return false;
}

// True when the readiness set watches every listed channel.
bool tunnel_set_watches_all() {
  return unwatched_count == 0 && readiness_descriptor() >= 0;
}

// The listed channel of the kth ready socket of the last readiness wait.
TunnelChannel* tunnel_ready_channel(int k) {
  return static_cast<TunnelChannel*>(
      tcp_owner(static_cast<const TcpConnection*>(readiness_tag(k))));
}

// Visits every listed channel.
void tunnel_visit_all(TunnelVisit visit) {
  if (visit == nullptr) return;
  for (TunnelChannel* channel = channel_list; channel != nullptr; channel = channel->next) {
    visit(channel->user);
  }
}

// The sweep over the readiness set: -1 when it could not be made.
int tunnel_sweep_set(TunnelVisit visit) {
  int ready = readiness_wait(0);
  if (ready < 0) return -1;
  ++sweep_number;
  sweep_open = true;
  int readable = 0;
  for (int k = 0; k < ready; ++k) {
    TunnelChannel* channel = tunnel_ready_channel(k);
    if (channel == nullptr) continue;
    if (visit != nullptr) visit(channel->user);  // readable, or writable again
    if (!readiness_readable(k)) continue;
    channel->seen = sweep_number;
    ++readable;
  }
  return readable;
}

// The sweep that polls every listed socket: -1 when it could not be made.
int tunnel_sweep_poll() {
  pollfd stack_slots[TUNNEL_WAIT_STACK_SLOTS];
  pollfd* slots = stack_slots;
  if (channel_count > TUNNEL_WAIT_STACK_SLOTS) {
    slots =
        static_cast<pollfd*>(mem_alloc(sizeof(pollfd) * static_cast<std::size_t>(channel_count)));
    if (slots == nullptr) return -1;
  }
  int filled = 0;
  for (TunnelChannel* channel = channel_list; channel != nullptr; channel = channel->next) {
    slots[filled++] = pollfd{tcp_socket(channel->connection), POLLIN, 0};
  }
  int ready = poll(slots, static_cast<nfds_t>(filled), 0);
  if (ready >= 0) {
    ++sweep_number;
    sweep_open = true;
    int slot = 0;
    // A closed or failed socket is not quiet: its receive reports it.
    for (TunnelChannel* channel = channel_list; channel != nullptr; channel = channel->next) {
      if (slots[slot++].revents & (POLLIN | POLLHUP | POLLERR)) channel->seen = sweep_number;
    }
  }
  if (slots != stack_slots) mem_free(slots);
  return ready;
}

// The wait that polls every listed socket.
TunnelChannel* tunnel_wait_poll(int timeout) {
  TcpConnection* stack_slots[TUNNEL_WAIT_STACK_SLOTS] = {};
  TcpConnection** connections = stack_slots;
  if (channel_count > TUNNEL_WAIT_STACK_SLOTS) {
    connections = static_cast<TcpConnection**>(
        mem_alloc(sizeof(TcpConnection*) * static_cast<std::size_t>(channel_count)));
    if (connections == nullptr) return nullptr;
  }
  int filled = 0;
  for (TunnelChannel* channel = channel_list; channel != nullptr; channel = channel->next) {
    connections[filled++] = channel->connection;
  }
  TcpConnection* ready = tcp_wait(filled, connections, timeout);
  if (connections != stack_slots) mem_free(connections);
  if (ready == nullptr) return nullptr;
  for (TunnelChannel* channel = channel_list; channel != nullptr; channel = channel->next) {
    if (channel->connection == ready) return channel;
  }
  return nullptr;
}

void tunnel_free(TunnelChannel* channel) {
  tcp_destroy(channel->connection);  // the record goes whatever close says
  mem_free(channel);
}

}  // namespace

int tunnel_connect(std::uint32_t address, std::uint16_t port, TunnelChannel** channel) {
  if (channel == nullptr) return RC_NULL_POINTER;
  auto* record = static_cast<TunnelChannel*>(mem_calloc(1, sizeof(TunnelChannel)));
  if (record == nullptr) return RC_OUT_OF_MEMORY;
  int rc = tcp_create(address, port, &record->connection);
  if (rc != 0) {
    mem_free(record);
    return rc;
  }
  tcp_set_owner(record->connection, record);
  record->seen = sweep_number;  // a channel opened during a sweep is not quiet
  record->listed = true;
  record->next = channel_list;
  channel_list = record;
  ++channel_count;
  if (!tcp_in_readiness(record->connection)) ++unwatched_count;
  *channel = record;
  return 0;
}

int tunnel_attach(int fd, TunnelChannel** channel) {
  if (channel == nullptr) return RC_NULL_POINTER;
  auto* record = static_cast<TunnelChannel*>(mem_calloc(1, sizeof(TunnelChannel)));
  if (record == nullptr) return RC_OUT_OF_MEMORY;
  int rc = tcp_attach(fd, &record->connection);
  if (rc != 0) {
    mem_free(record);
    return rc;
  }
  *channel = record;
  return 0;
}

void tunnel_destroy(TunnelChannel* channel) {
  // Only a listed channel is touched: one already destroyed, or never made,
  // is left alone without being read.
  if (channel != nullptr && tunnel_unlink(channel)) tunnel_free(channel);
}

void tunnel_destroy_attached(TunnelChannel* channel) {
  if (channel == nullptr) return;
  tunnel_unlink(channel);
  tunnel_free(channel);
}

int tunnel_send(TunnelChannel* channel, const void* data, int length, int* sent) {
  if (channel == nullptr) {
    if (sent != nullptr) *sent = 0;
    return RC_NULL_POINTER;
  }
  return tcp_send(channel->connection, data, length, sent);
}

int tunnel_receive(TunnelChannel* channel, void* buffer, int size, int* count) {
  if (channel == nullptr || tunnel_quiet(channel)) {
    if (count != nullptr) *count = 0;
    return channel == nullptr ? RC_NULL_POINTER : 0;
  }
  return tcp_receive(channel->connection, buffer, size, count);
}

int tunnel_sweep(TunnelVisit visit) {
  if (channel_count == 0) return 0;
  if (tunnel_set_watches_all()) {
    int readable = tunnel_sweep_set(visit);
    if (readable >= 0) return readable;
  }
  // Polled sockets say nothing of writing, and a failed sweep says nothing
  // at all: every channel may have work.
  int readable = tunnel_set_watches_all() ? -1 : tunnel_sweep_poll();
  tunnel_visit_all(visit);
  return readable;
}

void tunnel_set_user(TunnelChannel* channel, void* user) {
  if (channel != nullptr) channel->user = user;
}

void* tunnel_user(const TunnelChannel* channel) {
  return channel == nullptr ? nullptr : channel->user;
}

void tunnel_sweep_end() {
  sweep_open = false;
}

TunnelChannel* tunnel_wait(int timeout) {
  if (channel_count == 0) return nullptr;
  TunnelChannel* ready = nullptr;
  if (tunnel_set_watches_all()) {
    // A socket that only became writable ends the wait too, with nothing to
    // read: the pass then hands it its unsent bytes.
    int count = readiness_wait(timeout > 0 ? timeout : -1);
    for (int k = 0; k < count && ready == nullptr; ++k) {
      if (readiness_readable(k)) ready = tunnel_ready_channel(k);
    }
  } else {
    ready = tunnel_wait_poll(timeout);
  }
  if (ready != nullptr) ready->seen = sweep_number;  // it has spoken since the sweep
  return ready;
}

int tunnel_count() {
  return channel_count;
}

int tunnel_socket(const TunnelChannel* channel) {
  return channel == nullptr ? -1 : tcp_socket(channel->connection);
}

}  // namespace orbilo
