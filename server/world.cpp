// A world server's side of a client link: the world login with its checks,
// keys and world attributes; the avatars' arrivals, moves and departures;
// whispers; the event mask that says which reports a client wants.
//
// World messages start with their id; there is no result byte.
#include <cctype>
#include <cstring>

#include "protocol/messages.h"
#include "protocol/values.h"
#include "sdk/hash_table.h"
#include "sdk/stream.h"
#include "server/internal.h"

namespace orbilo {

namespace {

// The world login that a world of this build expects.
to_world::Id login_id(int build) {
  if (build < kWorldBuildLongSession) return to_world::kLoginShortSession;
  if (build < kWorldBuildHashedLogin) return to_world::kLoginLongSession;
  return to_world::kLoginHashed;
}

void trace(Client* client, const char* direction, const std::string& what) {
  Server* server = client->server;
  if (server_tracing(server))
    server_log(server, "trace %s %s %s", client_label(client).c_str(), direction, what.c_str());
}

std::string avatar_text(const Avatar& avatar) {
  return "session=" + std::to_string(avatar.session) + " x=" + std::to_string(avatar.x) +
         " y=" + std::to_string(avatar.y) + " z=" + std::to_string(avatar.z) +
         " yaw=" + std::to_string(avatar.yaw) + " type=" + std::to_string(avatar.type) +
         " gesture=" + std::to_string(avatar.gesture);
}

bool wants(const Client* client, std::uint32_t bit) {
  return client->entered && !client->dead && (client->event_mask & bit) != 0;
}

void send_add(Client* to, const Avatar& avatar) {
  if (server_tracing(to->server))
    trace(to, "->", "2 avatar add \"" + avatar.name + "\" " + avatar_text(avatar));
  int rc = 0;
  if (to->world->config.build < kWorldBuildLongSession) {
    rc = stream_send(to->stream, FIELD_BEGIN, from_world::kAvatarAdd, FIELD_WORD, avatar.session,
                     FIELD_STRING, avatar.name.c_str(), FIELD_LONG, avatar.x, FIELD_LONG, avatar.y,
                     FIELD_LONG, avatar.z, FIELD_WORD, avatar.yaw, FIELD_BYTE, avatar.type,
                     FIELD_BYTE, avatar.gesture, FIELD_END);
  } else {
    rc = stream_send(to->stream, FIELD_BEGIN, from_world::kAvatarAdd, FIELD_LONG, avatar.session,
                     FIELD_STRING, avatar.name.c_str(), FIELD_LONG, avatar.x, FIELD_LONG, avatar.y,
                     FIELD_LONG, avatar.z, FIELD_WORD, avatar.yaw, FIELD_BYTE, avatar.type,
                     FIELD_BYTE, avatar.gesture, FIELD_WORD, 0, FIELD_LONG, -1, FIELD_LONG, -1,
                     FIELD_END);
  }
  if (client_sent(to, rc)) report_count_avatar(to, from_world::kAvatarAdd, avatar);
}

void send_change(Client* to, const Avatar& avatar) {
  if (server_tracing(to->server)) trace(to, "->", "4 avatar change " + avatar_text(avatar));
  if (client_sent(to, stream_send(to->stream, FIELD_BEGIN, from_world::kAvatarChange, FIELD_WORD,
                                  avatar.session, FIELD_LONG, avatar.x, FIELD_LONG, avatar.y,
                                  FIELD_LONG, avatar.z, FIELD_WORD, avatar.yaw, FIELD_BYTE,
                                  avatar.type, FIELD_BYTE, avatar.gesture, FIELD_END)))
    report_count_avatar(to, from_world::kAvatarChange, avatar);
}

// Everyone already there, for a client that has just asked for avatars.
void send_everyone(Client* to) {
  for (Client* other : to->world->clients) {
    if (other != to && !other->dead && other->avatar.present) send_add(to, other->avatar);
    if (to->dead) return;
  }
  for (const CrowdMember& member : to->world->crowd) {
    send_add(to, member.avatar);
    if (to->dead) return;
  }
}

// A world login that fails its checks is told it is not welcome and closed.
void refuse(Client* client, const std::string& reason) {
  server_log(client->server, "world login refused: %s: %s", client_label(client).c_str(),
             reason.c_str());
  trace(client, "->", "14 not welcome");
  if (client_sent(client,
                  stream_send(client->stream, FIELD_BEGIN, from_world::kNotWelcome, FIELD_END)))
    client->close_after_flush = true;
}

void send_keys(Client* client) {
  std::uint16_t client_receive = static_cast<std::uint16_t>(client->server->key_rng() % 4096);
  std::uint16_t client_send = static_cast<std::uint16_t>(client->server->key_rng() % 4096);
  trace(client, "->",
        "17 keys " + std::to_string(client_receive) + " " + std::to_string(client_send));
  if (!client_sent(client,
                   stream_send(client->stream, FIELD_BEGIN, from_world::kCipherKeys, FIELD_WORD,
                               client_receive, FIELD_WORD, client_send, FIELD_END)))
    return;
  // The client keys its receiving side with the first skip, its sending side
  // with the second.
  stream_set_ciphers(client->stream, kSessionKey, kSessionKeyLength, client_send, client_receive);
}

// The world attributes: the build under key 21, then the configured settings.
void send_attributes(Client* client) {
  const WorldConfig& config = client->world->config;
  std::string build = std::to_string(config.build);
  trace(client, "->",
        "1 attributes 21=\"" + build + "\" and " + std::to_string(config.settings.size()) +
            " settings");
  Stream* stream = client->stream;
  stream_send(stream, FIELD_BEGIN, from_world::kAttributes, FIELD_BYTE, world_setting::kBuild,
              FIELD_DATA, static_cast<int>(build.size()), build.data(), FIELD_STATUS);
  for (const auto& [key, value] : config.settings) {
    if (key == world_setting::kBuild) continue;
    stream_send(stream, FIELD_BYTE, key, FIELD_DATA, static_cast<int>(value.size()), value.data(),
                FIELD_STATUS);
  }
  client_sent(client, stream_send(stream, FIELD_END));
}

// The login hash: the table hash of the four check bytes and the world name
// padded with zero bytes to eight.
std::uint32_t login_hash(const std::uint8_t check[kLoginCheckBytes], const std::string& world) {
  std::uint8_t block[kLoginCheckBytes + kWorldNameMax] = {};
  std::memcpy(block, check, kLoginCheckBytes);
  std::memcpy(block + kLoginCheckBytes, world.data(),
              world.size() < kWorldNameMax ? world.size() : kWorldNameMax);
  return table_hash(block, sizeof block);
}

void world_login(Client* client, int id) {
  Server* server = client->server;
  World* world = client->world;
  char name[256];
  std::uint32_t session = 0;
  std::uint32_t login_number = 0;
  std::uint32_t hash = 0;
  std::uint32_t identity = 0;
  std::uint16_t word = 0;
  std::uint16_t library_build = 0;
  std::uint8_t byte = 0;
  std::uint8_t address[4];
  std::uint8_t port[2];
  int rc = 0;
  if (id == to_world::kLoginShortSession) {
    rc = stream_receive(client->stream, FIELD_STRING, name, FIELD_WORD, &word, FIELD_BYTE, &byte,
                        FIELD_LONG, &login_number, FIELD_END);
    session = word;
  } else if (id == to_world::kLoginLongSession) {
    rc = stream_receive(client->stream, FIELD_STRING, name, FIELD_LONG, &session, FIELD_LONG,
                        &login_number, FIELD_WORD, &library_build, FIELD_END);
  } else {
    rc = stream_receive(client->stream, FIELD_STRING, name, FIELD_LONG, &session, FIELD_LONG,
                        &login_number, FIELD_WORD, &library_build, FIELD_RAW4, address, FIELD_BYTES,
                        2, port, FIELD_LONG, &identity, FIELD_BYTE, &byte, FIELD_LONG, &hash,
                        FIELD_END);
  }
  if (rc != 0) return;  // malformed: the loop drops the client
  trace(client, "<-",
        std::to_string(id) + " world login \"" + name + "\" session=" + std::to_string(session) +
            " login=" + std::to_string(login_number) +
            (id == to_world::kLoginHashed ? " hash=" + std::to_string(hash) : std::string()));

  std::string wanted = lower_case(name);
  if (wanted != world->config.name) return refuse(client, "for another world \"" + wanted + "\"");
  auto found = server->logins.find(login_number);
  if (found == server->logins.end()) return refuse(client, "unknown login number");
  Client* universe = found->second;
  if ((session & 0xffff) != universe->session) return refuse(client, "wrong session number");
  if (id == to_world::kLoginHashed && hash != login_hash(universe->check, world->config.name))
    return refuse(client, "wrong login hash");

  if (!client->entered) {
    // A bot that comes back while its old link lingers replaces it.
    for (Client* other : world->clients) {
      if (other->world_login_number == login_number && other != client)
        client_drop(other, "replaced by a new world login");
    }
    send_keys(client);
    if (client->dead) return;
    client->entered = true;
    client->avatar.session = universe->session;
    session_hold(server, client->avatar.session);
    world->clients.push_back(client);
    server_log(server, "entry: %s into %s, session %u", universe->avatar.name.c_str(),
               world->config.name.c_str(), client->avatar.session);
  } else if (client->avatar.session != universe->session) {
    // A login again on the same link, after the universe gave a new number.
    if (client->avatar.present) world_report_delete(world, client->avatar.session, client);
    client->avatar.present = false;
    session_release(server, client->avatar.session);
    client->avatar.session = universe->session;
    session_hold(server, client->avatar.session);
  }
  client->world_login_number = login_number;
  client->avatar.name = universe->avatar.name;
  send_attributes(client);
}

void state_change(Client* client) {
  std::int32_t x = 0, y = 0, z = 0;
  std::uint16_t yaw = 0;
  std::uint8_t type = 0, gesture = 0;
  if (stream_receive(client->stream, FIELD_LONG, &x, FIELD_LONG, &y, FIELD_LONG, &z, FIELD_WORD,
                     &yaw, FIELD_BYTE, &type, FIELD_BYTE, &gesture, FIELD_END) != 0)
    return;
  Avatar& avatar = client->avatar;
  avatar.x = x;
  avatar.y = y;
  avatar.z = z;
  avatar.yaw = static_cast<std::int16_t>(yaw);
  avatar.type = type;
  avatar.gesture = gesture;
  if (server_tracing(client->server)) trace(client, "<-", "8 state " + avatar_text(avatar));
  bool first = !avatar.present;
  avatar.present = true;
  world_report_state(client->world, avatar, first, client);
}

void whisper(Client* client) {
  std::uint16_t target = 0;
  char text[256];
  if (stream_receive(client->stream, FIELD_WORD, &target, FIELD_STRING, text, FIELD_END) != 0)
    return;
  trace(client, "<-", "11 whisper to " + std::to_string(target) + " \"" + text + "\"");
  World* world = client->world;
  for (Client* other : world->clients) {
    if (other->avatar.session != target || other->dead) continue;
    if (!wants(other, kMaskChat)) return;
    trace(other, "->", "18 whisper from " + std::to_string(client->avatar.session));
    if (client_sent(other,
                    stream_send(other->stream, FIELD_BEGIN, from_world::kChatWhispered, FIELD_WORD,
                                client->avatar.session, FIELD_STRING, text, FIELD_END)))
      report_count_chat(other, from_world::kChatWhispered, client->avatar.session, text);
    return;
  }
  if (!crowd_whispered(client->server, world, target, client->avatar, text))
    trace(client, "--", "whisper to nobody: session " + std::to_string(target) + " is not here");
}

void event_mask(Client* client) {
  std::uint32_t mask = 0;
  if (stream_receive(client->stream, FIELD_LONG, &mask, FIELD_END) != 0) return;
  trace(client, "<-", "14 event mask " + std::to_string(mask));
  std::uint32_t before = client->event_mask;
  client->event_mask = mask;
  if ((before & kMaskAvatars) == 0 && (mask & kMaskAvatars) != 0) send_everyone(client);
}

}  // namespace

void world_message(Client* client) {
  std::uint8_t id = 0;
  stream_receive(client->stream, FIELD_BYTE, &id, FIELD_STATUS);
  int expected = login_id(client->world->config.build);
  if (!client->keyed) {
    // The login's length and id come plain; the rest is enciphered from a
    // freshly keyed state.
    if (id != expected) {
      return client_drop(client, "first message " + std::to_string(id) + " is not the login " +
                                     std::to_string(expected) + " of this world");
    }
    client->keyed = true;
    stream_set_receive_cipher(client->stream, kSessionKey, kSessionKeyLength, 0);
    return world_login(client, id);
  }
  if (!client->entered) return client_drop(client, "message after a refused login");
  switch (id) {  // by id
    case to_world::kKeepAlive:
      stream_receive(client->stream, FIELD_END);
      return trace(client, "<-", "6 keep-alive");
    case to_world::kStateChange:
      return state_change(client);
    case to_world::kWhisper:
      return whisper(client);
    case to_world::kEventMask:
      return event_mask(client);
    default:
      // A bot whose universe link came back logs in again on the same link.
      if (id == expected) return world_login(client, id);
      return client_drop(client, "unknown message " + std::to_string(id));
  }
}

void world_client_closed(Client* client) {
  if (!client->entered) return;
  World* world = client->world;
  Server* server = client->server;
  for (auto at = world->clients.begin(); at != world->clients.end(); ++at) {
    if (*at == client) {
      world->clients.erase(at);
      break;
    }
  }
  if (client->avatar.present) world_report_delete(world, client->avatar.session, client);
  session_release(server, client->avatar.session);
  server_log(server, "departure: %s from %s, session %u", client->avatar.name.c_str(),
             world->config.name.c_str(), client->avatar.session);
}

void world_report_state(World* world, const Avatar& avatar, bool first, const Client* except) {
  for (Client* other : world->clients) {
    if (other == except) continue;
    if (first && wants(other, kMaskAvatars)) send_add(other, avatar);
    if (!first && wants(other, kMaskAvatarChanges)) send_change(other, avatar);
  }
}

void world_report_delete(World* world, std::uint16_t session, const Client* except) {
  for (Client* other : world->clients) {
    if (other == except || !wants(other, kMaskAvatars)) continue;
    trace(other, "->", "3 avatar delete " + std::to_string(session));
    if (client_sent(other, stream_send(other->stream, FIELD_BEGIN, from_world::kAvatarDelete,
                                       FIELD_WORD, session, FIELD_END)))
      report_count_delete(other, session);
  }
}

void world_report_chat(World* world, std::uint16_t speaker, const std::string& text) {
  for (Client* other : world->clients) {
    if (!wants(other, kMaskChat)) continue;
    trace(other, "->", "12 chat from " + std::to_string(speaker) + " \"" + text + "\"");
    if (client_sent(other, stream_send(other->stream, FIELD_BEGIN, from_world::kChatBroadcast,
                                       FIELD_WORD, speaker, FIELD_STRING, text.c_str(), FIELD_END)))
      report_count_chat(other, from_world::kChatBroadcast, speaker, text);
  }
}

}  // namespace orbilo
