// The poll loop: listeners, connections, time-outs, the crowd's clock,
// departures and the administrative commands on standard input.
#include "server/server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "net/clock.h"
#include "net/tcp.h"
#include "protocol/messages.h"
#include "sdk/stream.h"
#include "server/internal.h"

namespace orbilo {

namespace {

constexpr int kAcceptsPerPass = 64;
constexpr int kMessagesPerPass = 32;  // per client, so that one cannot starve the others
constexpr int kTimeoutCheckMs = 250;
constexpr int kVersionTimeoutMs = 10000;
constexpr int kAcceptPauseMs = 100;  // after the process ran out of descriptors
// The library closes a world link that has received nothing for 90 s, and a
// universe link (build 32 on) that has received nothing for 120 s; a link
// this side has sent nothing on for this long gets a keep-alive, so that a
// bot in a quiet world, or one that is simply logged in, keeps its links.
constexpr int kKeepAliveMs = 60000;

// Signed difference of two clock readings, so that wrapping is harmless.
inline std::int32_t clock_diff(std::uint32_t later, std::uint32_t earlier) {
  return static_cast<std::int32_t>(later - earlier);
}

std::string address_text(std::uint32_t address, std::uint16_t port) {
  char text[INET_ADDRSTRLEN] = "?";
  in_addr in{};
  in.s_addr = address;
  inet_ntop(AF_INET, &in, text, sizeof text);
  return std::string(text) + ":" + std::to_string(ntohs(port));
}

// A listening socket on host:port (port host order; 0 lets the system pick).
// Returns the socket, or -1 with *error set.
int listen_on(const std::string& host, int port, std::uint16_t* bound, std::string* error) {
  std::uint32_t address = 0;
  if (host == "*" || host == "0.0.0.0") {
    address = htonl(INADDR_ANY);
  } else if (host_lookup(host.c_str(), &address) != 0) {
    *error = "cannot resolve \"" + host + "\"";
    return -1;
  }
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    *error = std::string("socket: ") + std::strerror(errno);
    return -1;
  }
  int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in where{};
  where.sin_family = AF_INET;
  where.sin_addr.s_addr = address;
  where.sin_port = htons(static_cast<std::uint16_t>(port));
  if (bind(fd, reinterpret_cast<sockaddr*>(&where), sizeof where) != 0 || listen(fd, 512) != 0) {
    *error = "cannot listen on " + host + ":" + std::to_string(port) + ": " + std::strerror(errno);
    close(fd);
    return -1;
  }
  socklen_t size = sizeof where;
  getsockname(fd, reinterpret_cast<sockaddr*>(&where), &size);
  *bound = ntohs(where.sin_port);
  return fd;
}

void accept_clients(Server* server, int listen_fd, LinkKind kind, World* world) {
  for (int k = 0; k < kAcceptsPerPass; ++k) {
    sockaddr_in peer{};
    socklen_t size = sizeof peer;
    int fd =
        accept4(listen_fd, reinterpret_cast<sockaddr*>(&peer), &size, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
        // Out of descriptors: stop accepting for a moment rather than spin.
        server_log(server, "cannot accept more connections: %s", std::strerror(errno));
        server->accept_paused = true;
        server->accept_paused_until = clock_now() + kAcceptPauseMs;
      }
      return;
    }
    std::string peer_text = address_text(peer.sin_addr.s_addr, peer.sin_port);
    if (static_cast<int>(server->clients.size()) >= server->config.max_clients) {
      server_log(server, "refused connection from %s: %d connections held already",
                 peer_text.c_str(), server->config.max_clients);
      close(fd);
      continue;
    }
    int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    auto client = std::make_unique<Client>();
    client->server = server;
    client->kind = kind;
    client->world = world;
    client->number = server->next_client_number++;
    client->peer = peer_text;
    sockaddr_in local{};
    size = sizeof local;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &size) == 0) {
      client->local_address = local.sin_addr.s_addr;
    }
    client->connected_at = client->last_receive = clock_now();
    if (kind == LinkKind::Version) {
      client->fd = fd;
    } else if (stream_attach(fd, &client->stream) != 0) {
      server_log(server, "cannot serve connection from %s: out of memory", peer_text.c_str());
      close(fd);
      continue;
    } else {
      // What a step sends the link goes out at its end, in one write.
      stream_set_held(client->stream, true);
    }
    if (server_tracing(server))
      server_log(server, "trace %s connected", client_label(client.get()).c_str());
    server->clients.push_back(std::move(client));
  }
}

// Reads and handles the messages that have arrived on a universe or world
// link.
void client_readable(Client* client) {
  Server* server = client->server;
  for (int k = 0; k < kMessagesPerPass && !client->dead; ++k) {
    int rc = stream_read_message(client->stream);
    if (rc == RC_NOT_YET) {
      // An empty message passed over: read on while more was received ahead.
      if (stream_message_waiting(client->stream)) continue;
      return;
    }
    if (rc != 0) {
      if (rc == RC_RECEIVE_FAILED) {
        client_drop(client, "closed by the client");
      } else if (rc == RC_STREAM_MESSAGE_TOO_LONG || rc == RC_IN_BUFFER_FULL) {
        client_drop(client, "oversized message");
      } else {
        client_drop(client, "receive failed (" + std::to_string(rc) + ")");
      }
      return;
    }
    client->last_receive = clock_now();
    int remaining = 0;
    stream_receive(client->stream, FIELD_REMAINING, &remaining, FIELD_STATUS);
    if (remaining > server->config.max_message) {
      client_drop(client, "oversized message (" + std::to_string(remaining) + " bytes)");
      return;
    }
    if (client->kind == LinkKind::Universe) {
      universe_message(client);
    } else {
      world_message(client);
    }
    if (!client->dead && stream_status(client->stream) != 0) {
      client_drop(client,
                  "malformed message (" + std::to_string(stream_status(client->stream)) + ")");
    }
  }
}

void client_writable(Client* client) {
  if (client->kind == LinkKind::Version) return version_writable(client);
  int rc = stream_flush(client->stream);
  if (rc != 0) client_drop(client, "send failed (" + std::to_string(rc) + ")");
}

void check_timeouts(Server* server, std::uint32_t now) {
  for (auto& owned : server->clients) {
    Client* client = owned.get();
    if (client->dead) continue;
    // A clock that was started again (clock_init) must not freeze the
    // time-outs: times in the future count from now.
    if (clock_diff(now, client->connected_at) < 0) client->connected_at = now;
    if (clock_diff(now, client->last_receive) < 0) client->last_receive = now;
    bool logged = client->kind == LinkKind::Universe ? client->logged_in : client->entered;
    if (client->kind == LinkKind::Version) {
      if (clock_diff(now, client->connected_at) > kVersionTimeoutMs)
        client_drop(client, "no query in time");
    } else if (!logged) {
      if (clock_diff(now, client->connected_at) > server->config.login_timeout_ms)
        client_drop(client, "no login in time");
    } else if (clock_diff(now, client->last_receive) > server->config.idle_timeout_ms) {
      client_drop(client, "idle time-out");
    } else if (clock_diff(now, stream_last_send(client->stream)) > kKeepAliveMs &&
               stream_pending_send(client->stream) == 0) {
      // (A link whose queue has not gone out yet gains nothing from another.)
      Stream* stream = client->stream;
      if (client->kind == LinkKind::Universe) {
        if (server_tracing(server))
          server_log(server, "trace %s -> 32 keep-alive", client_label(client).c_str());
        client_sent(client, stream_send(stream, FIELD_BEGIN, RC_SUCCESS, FIELD_BYTE,
                                        from_universe::kKeepAlive, FIELD_END));
      } else {
        if (server_tracing(server))
          server_log(server, "trace %s -> 16 keep-alive", client_label(client).c_str());
        client_sent(client, stream_send(stream, FIELD_BEGIN, from_world::kKeepAlive, FIELD_END));
      }
    }
  }
}

// Closes the clients marked dead. A departure may drop others (a report
// that overflows their queue), so this runs until none is left.
void sweep(Server* server) {
  for (;;) {
    auto first_dead = std::find_if(server->clients.begin(), server->clients.end(),
                                   [](const std::unique_ptr<Client>& c) { return c->dead; });
    if (first_dead == server->clients.end()) return;
    std::unique_ptr<Client> client = std::move(*first_dead);
    server->clients.erase(first_dead);
    if (client->kind == LinkKind::Universe) universe_client_closed(client.get());
    if (client->kind == LinkKind::World) world_client_closed(client.get());
    if (!client->drop_reason.empty()) {
      server_log(server, "%s closed: %s", client_label(client.get()).c_str(),
                 client->drop_reason.c_str());
    }
    if (client->stream != nullptr) {
      stream_flush(
          client->stream);  // what it was sent before the end, as far as the socket takes it
      stream_destroy_attached(client->stream);
    }
    if (client->fd >= 0) close(client->fd);
  }
}

void read_stdin(Server* server) {
  char buffer[1024];
  ssize_t count = read(STDIN_FILENO, buffer, sizeof buffer);
  if (count <= 0) {
    if (count == 0 || (errno != EAGAIN && errno != EINTR)) server->stdin_open = false;
    return;
  }
  server->stdin_buffer.append(buffer, static_cast<std::size_t>(count));
  std::size_t newline;
  while ((newline = server->stdin_buffer.find('\n')) != std::string::npos) {
    std::string line = server->stdin_buffer.substr(0, newline);
    server->stdin_buffer.erase(0, newline + 1);
    std::string answer = admin_run(server, line);
    if (!answer.empty()) server_log(server, "%s", answer.c_str());
  }
  if (server->stdin_buffer.size() > 4096) server->stdin_buffer.clear();  // no line that long
}

}  // namespace

// ---- Shared helpers ----------------------------------------------------------

void server_log(Server* server, const char* format, ...) {
  if (!server->config.log) return;
  va_list arguments;
  va_start(arguments, format);
  va_list again;
  va_copy(again, arguments);
  int length = vsnprintf(nullptr, 0, format, arguments);
  va_end(arguments);
  std::string line(length > 0 ? static_cast<std::size_t>(length) : 0, '\0');
  if (length > 0) vsnprintf(line.data(), line.size() + 1, format, again);
  va_end(again);
  server->config.log(line);
}

std::string client_label(const Client* client) {
  std::string label;
  switch (client->kind) {
    case LinkKind::Universe:
      label = "universe #" + std::to_string(client->number);
      if (client->logged_in) label += " " + client->avatar.name;
      break;
    case LinkKind::World:
      label = "world " + client->world->config.name + " #" + std::to_string(client->number);
      if (client->entered) label += " " + client->avatar.name;
      break;
    case LinkKind::Version:
      label = "version #" + std::to_string(client->number);
      break;
  }
  return label + " (" + client->peer + ")";
}

void client_drop(Client* client, const std::string& reason) {
  if (client->dead) return;
  client->dead = true;
  client->drop_reason = reason;
}

bool client_sent(Client* client, int rc) {
  if (rc == 0) return true;
  client_drop(client, rc == RC_OUT_BUFFER_FULL ? "send queue overflowed"
                                               : "send failed (" + std::to_string(rc) + ")");
  return false;
}

std::uint16_t session_take(Server* server) {
  for (int tries = 0; tries < 65535; ++tries) {
    std::uint16_t session = server->next_session;
    server->next_session = static_cast<std::uint16_t>(session == 65535 ? 1 : session + 1);
    if (!session_in_use(server, session)) {
      session_hold(server, session);
      return session;
    }
  }
  return 0;
}

void session_hold(Server* server, std::uint16_t session) {
  ++server->sessions[session];
}

void session_release(Server* server, std::uint16_t session) {
  auto found = server->sessions.find(session);
  if (found == server->sessions.end()) return;
  if (--found->second <= 0) server->sessions.erase(found);
}

bool session_in_use(const Server* server, std::uint16_t session) {
  return session == 0 || server->sessions.count(session) != 0;
}

// ---- The server ------------------------------------------------------------

int server_create(const ServerConfig& config, Server** out, std::string* error) {
  std::string problem;
  if (out == nullptr) return -1;
  *out = nullptr;
  if (!config_validate(config, &problem)) {
    if (error != nullptr) *error = problem;
    return -1;
  }
  auto server = std::make_unique<Server>();
  server->config = config;
  std::random_device entropy;
  server->key_rng.seed(entropy());
  auto fail = [&](const std::string& what) {
    if (error != nullptr) *error = what;
    server_destroy(server.release());
    return -1;
  };
  if (config.universe_enabled) {
    server->universe_fd =
        listen_on(config.universe_address, config.universe_port, &server->universe_port, &problem);
    if (server->universe_fd < 0) return fail("universe: " + problem);
  }
  if (config.version_enabled) {
    server->version_fd =
        listen_on(config.version_address, config.version_port, &server->version_port, &problem);
    if (server->version_fd < 0) return fail("version service: " + problem);
  }
  std::uint32_t world_index = 0;
  for (const WorldConfig& world_config : config.worlds) {
    auto world = std::make_unique<World>();
    world->config = world_config;
    world->listen_fd =
        listen_on(world_config.listen_address, world_config.port, &world->port, &problem);
    if (world->listen_fd < 0) {
      server->worlds.push_back(std::move(world));  // closed by server_destroy
      return fail("world " + world_config.name + ": " + problem);
    }
    std::string shown = world_config.public_address.empty() ? world_config.listen_address
                                                            : world_config.public_address;
    if (shown != "*" && shown != "0.0.0.0" &&
        host_lookup(shown.c_str(), &world->reply_address) != 0) {
      server->worlds.push_back(std::move(world));
      return fail("world " + world_config.name + ": cannot resolve \"" + shown + "\"");
    }
    World* raw = world.get();
    server->worlds.push_back(std::move(world));
    crowd_create(server.get(), raw, config.seed + 7919u * world_index++);
  }
  // Standard input stays blocking (it may be a terminal shared with the
  // shell): it is read only when poll says it is readable, one read at a time.
  server->stdin_open = config.admin_stdin;
  std::uint32_t now = clock_now();
  server->next_crowd_tick = now + static_cast<std::uint32_t>(config.crowd_tick_ms);
  server->next_timeout_check = now + kTimeoutCheckMs;
  *out = server.release();
  return 0;
}

void server_destroy(Server* server) {
  if (server == nullptr) return;
  for (auto& client : server->clients) {
    if (client->stream != nullptr) {
      stream_flush(
          client->stream);  // what it was sent before the end, as far as the socket takes it
      stream_destroy_attached(client->stream);
    }
    if (client->fd >= 0) close(client->fd);
  }
  server->clients.clear();
  for (auto& world : server->worlds) {
    if (world->listen_fd >= 0) close(world->listen_fd);
  }
  if (server->universe_fd >= 0) close(server->universe_fd);
  if (server->version_fd >= 0) close(server->version_fd);
  delete server;
}

namespace {

// What one entry of a step's poll set stands for.
struct Watch {
  enum Kind { Listener, Connection, Stdin } kind;
  LinkKind link;
  World* world;
  Client* client;
};

// How long a step may wait for its sockets: until the caller's limit, the
// next crowd tick or the next check of the time-outs.
int step_wait(Server* server, std::uint32_t now, int timeout_ms) {
  // Timers further ahead than their period mean the clock was started again.
  if (clock_diff(server->next_crowd_tick, now) > server->config.crowd_tick_ms)
    server->next_crowd_tick = now;
  if (clock_diff(server->next_timeout_check, now) > kTimeoutCheckMs)
    server->next_timeout_check = now;
  int wait = timeout_ms < 0 ? 0 : timeout_ms;
  bool crowds = false;
  for (auto& world : server->worlds) crowds = crowds || !world->crowd.empty();
  if (crowds) wait = std::min(wait, std::max(0, clock_diff(server->next_crowd_tick, now)));
  if (!server->clients.empty())
    wait = std::min(wait, std::max(0, clock_diff(server->next_timeout_check, now)));
  return wait;
}

// The listeners (unless accepting is paused), stdin while it is open, and
// every connection, for writing too where it has bytes waiting.
void watch_all(Server* server, std::vector<pollfd>* fds, std::vector<Watch>* watches) {
  fds->reserve(server->clients.size() + server->worlds.size() + 3);
  auto watch_listener = [&](int fd, LinkKind link, World* world) {
    if (fd < 0 || server->accept_paused) return;
    fds->push_back({fd, POLLIN, 0});
    watches->push_back({Watch::Listener, link, world, nullptr});
  };
  watch_listener(server->universe_fd, LinkKind::Universe, nullptr);
  watch_listener(server->version_fd, LinkKind::Version, nullptr);
  for (auto& world : server->worlds) watch_listener(world->listen_fd, LinkKind::World, world.get());
  if (server->stdin_open) {
    fds->push_back({STDIN_FILENO, POLLIN, 0});
    watches->push_back({Watch::Stdin, LinkKind::Universe, nullptr, nullptr});
  }
  for (auto& owned : server->clients) {
    Client* client = owned.get();
    short events = POLLIN;
    bool pending = client->kind == LinkKind::Version ? client->output_sent < client->output.size()
                                                     : stream_pending_send(client->stream) > 0;
    if (pending) events |= POLLOUT;
    int fd = client->kind == LinkKind::Version ? client->fd : stream_socket(client->stream);
    fds->push_back({fd, events, 0});
    watches->push_back({Watch::Connection, client->kind, nullptr, client});
  }
}

// The universe and world links whose streams hold a whole message (or a
// length field) received ahead: one that has read its most for a step keeps
// the rest there.
std::vector<Client*> clients_with_messages_waiting(Server* server) {
  std::vector<Client*> waiting;
  for (auto& client : server->clients) {
    if (client->kind != LinkKind::Version && !client->dead &&
        stream_message_waiting(client->stream))
      waiting.push_back(client.get());
  }
  return waiting;
}

// Serves one ready entry of the poll set.
void serve_ready(Server* server, const Watch& watch, short revents) {
  if (watch.kind == Watch::Listener) {
    int fd = watch.world != nullptr             ? watch.world->listen_fd
             : watch.link == LinkKind::Universe ? server->universe_fd
                                                : server->version_fd;
    accept_clients(server, fd, watch.link, watch.world);
    return;
  }
  if (watch.kind == Watch::Stdin) {
    read_stdin(server);
    return;
  }
  Client* client = watch.client;
  if (client->dead) return;
  if (revents & POLLOUT) client_writable(client);
  if (client->dead || (revents & (POLLIN | POLLHUP | POLLERR)) == 0) return;
  if (client->kind == LinkKind::Version) {
    version_readable(client);
  } else {
    client_readable(client);
  }
}

// The crowds' ticks and the time-out checks that are due.
void run_timers(Server* server) {
  std::uint32_t now = clock_now();
  if (clock_diff(now, server->next_crowd_tick) >= 0) {
    for (auto& world : server->worlds) crowd_tick(server, world.get());
    server->next_crowd_tick = now + static_cast<std::uint32_t>(server->config.crowd_tick_ms);
  }
  if (clock_diff(now, server->next_timeout_check) >= 0) {
    check_timeouts(server, now);
    server->next_timeout_check = now + kTimeoutCheckMs;
  }
}

// What the step gave each link goes out now, in one write a link: many
// small messages (a crowd's moves) share their segments.
void flush_held(Server* server) {
  for (auto& client : server->clients) {
    if (client->kind != LinkKind::Version && !client->dead &&
        stream_pending_send(client->stream) > 0) {
      client_writable(client.get());
    }
  }
}

// A refusal that has gone out ends its connection.
void drop_sent_refusals(Server* server) {
  for (auto& client : server->clients) {
    if (client->close_after_flush && !client->dead && client->stream != nullptr &&
        stream_pending_send(client->stream) == 0) {
      client_drop(client.get(), "");
    }
  }
}

}  // namespace

int server_step(Server* server, int timeout_ms) {
  if (server->stopped) return -1;
  std::uint32_t now = clock_now();
  int wait = step_wait(server, now, timeout_ms);
  if (server->accept_paused && clock_diff(now, server->accept_paused_until) >= 0)
    server->accept_paused = false;

  std::vector<pollfd> fds;
  std::vector<Watch> watches;
  watch_all(server, &fds, &watches);
  // Messages already received are read without waiting for the socket,
  // which may have nothing more to say.
  std::vector<Client*> backlog = clients_with_messages_waiting(server);
  if (!backlog.empty()) wait = 0;
  int ready = poll(fds.data(), fds.size(), wait);
  if (ready < 0 && errno != EINTR) server_log(server, "poll: %s", std::strerror(errno));
  for (std::size_t k = 0; ready > 0 && k < fds.size(); ++k) {
    if (fds[k].revents != 0) serve_ready(server, watches[k], fds[k].revents);
  }
  for (Client* client : backlog) {
    if (!client->dead && stream_message_waiting(client->stream)) client_readable(client);
  }

  run_timers(server);
  flush_held(server);
  drop_sent_refusals(server);
  sweep(server);
  return server->stopped ? -1 : 0;
}

void server_run(Server* server) {
  while (server_step(server, 1000) == 0) {
  }
}

void server_stop(Server* server) {
  server->stopped = true;
}

std::uint16_t server_universe_port(const Server* server) {
  return server->universe_port;
}

std::uint16_t server_version_port(const Server* server) {
  return server->version_port;
}

std::uint16_t server_world_port(const Server* server, const std::string& name) {
  std::string wanted = lower_case(name);
  for (const auto& world : server->worlds) {
    if (world->config.name == wanted) return world->port;
  }
  return 0;
}

std::string server_admin(Server* server, const std::string& command) {
  std::string answer = admin_run(server, command);
  flush_held(server);  // what the command sent goes out at once
  return answer;
}

int server_client_count(const Server* server) {
  return static_cast<int>(server->clients.size());
}

}  // namespace orbilo
