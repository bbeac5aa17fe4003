// The records the parts of the servers share: the server, its worlds, its
// connections and the avatars in the worlds. One thread owns all of them.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "protocol/messages.h"
#include "server/config.h"

namespace orbilo {

struct Stream;
struct Server;
struct World;

// One avatar in a world: a bot's, or a member of the crowd.
struct Avatar {
  std::uint16_t session = 0;
  std::string name;  // as others see it: a bot's in square brackets
  std::int32_t x = 0, y = 0, z = 0;
  int yaw = 0;
  int type = 0;
  int gesture = 0;
  bool present = false;  // has a state, so the others see it
};

enum class LinkKind { Universe, World, Version };

// The reports a world link has been given (each counted once it is in the
// link's send queue): avatar adds, changes and deletes, chat and whispers,
// and a digest of all of them in the order they went (see admin.cpp). A bot
// that keeps the same tally of what it received can tell whether anything
// was lost or damaged on the way.
struct ReportCounts {
  std::uint64_t adds = 0;
  std::uint64_t changes = 0;
  std::uint64_t deletes = 0;
  std::uint64_t chats = 0;
  std::uint64_t whispers = 0;
  std::uint64_t digest = 0xcbf29ce484222325ull;  // FNV-1a's offset basis: nothing yet
};

// One accepted connection.
struct Client {
  Server* server = nullptr;
  LinkKind kind = LinkKind::Universe;
  int number = 0;                   // for the log: "#12"
  Stream* stream = nullptr;         // universe and world links
  int fd = -1;                      // version connections
  std::string peer;                 // "address:port" of the other side
  std::uint32_t local_address = 0;  // network order, the address the client reached
  std::uint32_t connected_at = 0;
  std::uint32_t last_receive = 0;
  bool keyed = false;  // the first message (the login) has been read
  bool dead = false;
  bool close_after_flush = false;  // a refusal is on its way; close once it is out
  std::string drop_reason;

  // Universe links.
  bool logged_in = false;
  std::uint32_t login_number = 0;
  std::uint8_t check[4] = {};
  std::uint32_t citizen = 0;
  std::string login_name;
  std::uint16_t session = 0;

  // World links.
  World* world = nullptr;
  bool entered = false;
  std::uint32_t world_login_number = 0;
  std::uint32_t event_mask = 0;
  Avatar avatar;
  ReportCounts reported;

  // Version connections.
  std::string input;
  std::string output;
  std::size_t output_sent = 0;
};

struct CrowdMember {
  Avatar avatar;
  double heading = 0;  // radians, 0 north, growing towards the west
  int kick_cooldown = 0;
};

struct World {
  WorldConfig config;
  int listen_fd = -1;
  std::uint16_t port = 0;           // host order
  std::uint32_t reply_address = 0;  // network order; 0: the address the client reached
  std::vector<Client*> clients;     // entered links
  std::vector<CrowdMember> crowd;
  bool crowd_stopped = false;  // the admin command "crowd stop": nobody moves or asks
  std::mt19937 rng;
};

struct Server {
  ServerConfig config;
  int universe_fd = -1;
  int version_fd = -1;
  std::uint16_t universe_port = 0;  // host order
  std::uint16_t version_port = 0;
  std::vector<std::unique_ptr<World>> worlds;
  std::vector<std::unique_ptr<Client>> clients;
  std::unordered_map<std::uint32_t, Client*> logins;  // login number -> universe link
  std::unordered_map<std::uint16_t, int> sessions;    // session -> holders
  std::uint16_t next_session = 1;
  int next_client_number = 1;
  std::mt19937 key_rng;  // cipher skips, login numbers, check bytes
  bool stopped = false;
  bool stdin_open = false;
  std::string stdin_buffer;
  std::uint32_t next_crowd_tick = 0;
  std::uint32_t next_timeout_check = 0;
  std::uint32_t accept_paused_until = 0;
  bool accept_paused = false;
};

// ---- Shared helpers (server.cpp) -------------------------------------------

void server_log(Server* server, const char* format, ...) __attribute__((format(printf, 2, 3)));
inline bool server_tracing(const Server* server) {
  return server->config.trace && server->config.log;
}
// "universe #3 127.0.0.1:4000" or "world demo #4 [Ball]".
std::string client_label(const Client* client);

// Marks the client for closing at the end of the pass; the first reason wins.
void client_drop(Client* client, const std::string& reason);
// After a send to the client: true when it went into the send queue; else
// the client is dropped (its queue overflowed or its socket failed).
bool client_sent(Client* client, int rc);

// A free session number, held once; 0 when every number is in use.
std::uint16_t session_take(Server* server);
void session_hold(Server* server, std::uint16_t session);
void session_release(Server* server, std::uint16_t session);
bool session_in_use(const Server* server, std::uint16_t session);

// ---- Universe (universe.cpp) ------------------------------------------------
void universe_message(Client* client);
void universe_client_closed(Client* client);
int universe_send_redirect(Client* client, std::uint32_t address, std::uint16_t port);
int universe_send_renumber(Client* client, std::uint16_t session);

// ---- Worlds (world.cpp) -----------------------------------------------------
void world_message(Client* client);
void world_client_closed(Client* client);
// Reports avatar to every entered client of world but except: add on its
// first state, else change.
void world_report_state(World* world, const Avatar& avatar, bool first, const Client* except);
void world_report_delete(World* world, std::uint16_t session, const Client* except);
// Public chat (from_world::kChatBroadcast) from speaker to every client that
// wants it.
void world_report_chat(World* world, std::uint16_t speaker, const std::string& text);

// ---- The crowd (crowd.cpp) ----------------------------------------------------
void crowd_create(Server* server, World* world, std::uint32_t seed);
void crowd_tick(Server* server, World* world);
// A whisper to a crowd member: true when session is one.
bool crowd_whispered(Server* server, World* world, std::uint16_t session, const Avatar& from,
                     const std::string& text);

// ---- The version service (version_service.cpp) --------------------------------
void version_readable(Client* client);
void version_writable(Client* client);
// The answer body to a query line "build:product" (without the line feed):
// the verdict byte, then the message.
std::string version_answer(const VersionPolicy& policy, const std::string& line, bool* valid);

// ---- Administration (admin.cpp) ---------------------------------------------
std::string admin_run(Server* server, const std::string& line);
// Count a report that went into the client's send queue, for the command
// "counts": an avatar add (from_world::kAvatarAdd) or change (kAvatarChange),
// a delete (kAvatarDelete), a chat (kChatBroadcast) or a whisper
// (kChatWhispered).
void report_count_avatar(Client* client, from_world::Id id, const Avatar& avatar);
void report_count_delete(Client* client, std::uint16_t session);
void report_count_chat(Client* client, from_world::Id id, std::uint16_t speaker,
                       const std::string& text);

}  // namespace orbilo
