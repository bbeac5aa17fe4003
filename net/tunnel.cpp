// The connection layer: one channel per link, each carried by one TCP
// connection, all kept in one list (newest first) so that a single wait
// watches every link of every instance. Channels over sockets that a server
// accepted itself stay out of the list.
#include "net/tunnel.h"

#include <poll.h>

#include "net/memory.h"
#include "net/tcp.h"
#include "orbilo/result_codes.h"

namespace orbilo {

struct TunnelChannel {
  TunnelChannel* next;
  TcpConnection* connection;
  bool quiet;  // a sweep found nothing to read: receives answer without the socket
};

namespace {

// Up to this many channels, a wait needs no allocation.
constexpr int TUNNEL_WAIT_STACK_SLOTS = 64;

TunnelChannel* channel_list = nullptr;
int channel_count = 0;

// Takes channel out of the list: true when it was there.
bool tunnel_unlink(TunnelChannel* channel) {
  for (TunnelChannel** link = &channel_list; *link != nullptr; link = &(*link)->next) {
    if (*link != channel) continue;
    *link = channel->next;
    --channel_count;
    return true;
  }
  return false;
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
  record->next = channel_list;
  channel_list = record;
  ++channel_count;
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
  if (channel == nullptr || channel->quiet) {
    if (count != nullptr) *count = 0;
    return channel == nullptr ? RC_NULL_POINTER : 0;
  }
  return tcp_receive(channel->connection, buffer, size, count);
}

int tunnel_sweep() {
  if (channel_count == 0) return 0;
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
    int slot = 0;
    // A closed or failed socket is not quiet: its receive reports it.
    for (TunnelChannel* channel = channel_list; channel != nullptr; channel = channel->next) {
      channel->quiet = (slots[slot++].revents & (POLLIN | POLLHUP | POLLERR)) == 0;
    }
  }
  if (slots != stack_slots) mem_free(slots);
  return ready;
}

void tunnel_sweep_end() {
  for (TunnelChannel* channel = channel_list; channel != nullptr; channel = channel->next) {
    channel->quiet = false;
  }
}

TunnelChannel* tunnel_wait(int timeout) {
  if (channel_count == 0) return nullptr;
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
    if (channel->connection == ready) {
      channel->quiet = false;  // it has spoken since the sweep
      return channel;
    }
  }
  return nullptr;
}

int tunnel_count() {
  return channel_count;
}

int tunnel_socket(const TunnelChannel* channel) {
  return channel == nullptr ? -1 : tcp_socket(channel->connection);
}

}  // namespace orbilo
