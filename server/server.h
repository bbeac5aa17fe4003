// The service's servers in one process: the universe server, a world server
// for each configured world with its crowd, and the version service, all run
// by one poll loop on the calling thread.
//
//   Server* server = nullptr;
//   std::string error;
//   if (server_create(config, &server, &error) != 0) { ... }
//   server_run(server);        // or server_step() in a loop of one's own
//   server_destroy(server);
//
// Ports are host order here. A configured port of 0 lets the system pick one;
// the accessors tell which it picked.
#pragma once

#include <cstdint>
#include <string>

#include "server/config.h"

namespace orbilo {

struct Server;

// Binds every listener and starts the crowds: 0 with *server stored, or -1
// with the reason in *error (nothing is kept).
int server_create(const ServerConfig& config, Server** server, std::string* error);

// Closes every connection and listener and frees the server; nullptr is
// ignored.
void server_destroy(Server* server);

// One pass of the loop: waits up to timeout_ms for a socket (less when a
// timer is due), then serves every ready socket, the timers (crowd, time-outs)
// and the departures. Returns 0, or -1 once the server is stopped.
int server_step(Server* server, int timeout_ms);

// Runs passes until server_stop() or the admin command "quit".
void server_run(Server* server);
void server_stop(Server* server);

std::uint16_t server_universe_port(const Server* server);  // 0 when off
std::uint16_t server_version_port(const Server* server);   // 0 when off
// The port of the named world (any letter case); 0 when there is none.
std::uint16_t server_world_port(const Server* server, const std::string& world);

// Runs one administrative command (as typed on stdin) and returns its answer.
std::string server_admin(Server* server, const std::string& command);

// Open connections of every kind.
int server_client_count(const Server* server);

}  // namespace orbilo
