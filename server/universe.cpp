// The universe server's side of a client link: the login with its keys,
// attributes and reply, world and citizen lookups, keep-alives, and the
// redirect and renumbering that the administrator can order.
//
// Every universe message to a client starts with a result byte and then its
// id: FIELD_BEGIN carries the result (RC_SUCCESS or the refusal), the first
// FIELD_BYTE the id.
#include <arpa/inet.h>

#include <cctype>
#include <cstring>

#include "protocol/messages.h"
#include "protocol/values.h"
#include "sdk/stream.h"
#include "server/internal.h"

namespace orbilo {

namespace {

constexpr std::size_t kMaxBotName = 16;  // with its brackets it fills an avatar name

void trace(Client* client, const char* direction, const std::string& what) {
  Server* server = client->server;
  if (server_tracing(server))
    server_log(server, "trace %s %s %s", client_label(client).c_str(), direction, what.c_str());
}

const CitizenConfig* find_citizen(const Server* server, std::uint32_t number) {
  for (const CitizenConfig& citizen : server->config.citizens) {
    if (citizen.number == number) return &citizen;
  }
  return nullptr;
}

World* find_world(Server* server, const std::string& name) {
  std::string wanted = lower_case(name);
  for (auto& world : server->worlds) {
    if (world->config.name == wanted) return world.get();
  }
  return nullptr;
}

// Keys both directions: the skips go out plain, and every byte after them is
// enciphered. The client keys its receiving side with the first skip and its
// sending side with the second, so this side takes them the other way round.
void send_keys(Client* client) {
  std::uint16_t client_receive = static_cast<std::uint16_t>(client->server->key_rng() % 4096);
  std::uint16_t client_send = static_cast<std::uint16_t>(client->server->key_rng() % 4096);
  trace(client, "->",
        "22 keys " + std::to_string(client_receive) + " " + std::to_string(client_send));
  if (!client_sent(client, stream_send(client->stream, FIELD_BEGIN, RC_SUCCESS, FIELD_BYTE,
                                       from_universe::kCipherKeys, FIELD_WORD, client_receive,
                                       FIELD_WORD, client_send, FIELD_END)))
    return;
  stream_set_ciphers(client->stream, kSessionKey, kSessionKeyLength, client_send, client_receive);
}

// The result code that refuses a login, or 0.
int judge_login(const Server* server, std::uint32_t owner, const char* password, const char* name) {
  const CitizenConfig* citizen = find_citizen(server, owner);
  if (citizen == nullptr) return RC_NO_SUCH_CITIZEN;
  if (citizen->password != password) return RC_INVALID_PASSWORD;
  std::size_t length = std::strlen(name);
  if (length == 0) return RC_NAME_TOO_SHORT;
  if (length > kMaxBotName) return RC_NAME_TOO_LONG;
  return 0;
}

// The text of a login refusal for the log.
const char* refusal_text(int refusal) {
  switch (refusal) {
    case RC_NO_SUCH_CITIZEN:
      return "no such citizen";
    case RC_INVALID_PASSWORD:
      return "invalid password";
    case RC_NAME_TOO_SHORT:
      return "name too short";
    case RC_NAME_TOO_LONG:
      return "name too long";
    default:
      return "bot limit exceeded";
  }
}

// The universe attributes that follow the keys: the universe build.
bool send_universe_attributes(Client* client) {
  std::string universe_build = std::to_string(client->server->config.universe_build);
  trace(client, "->", "21 attributes 6=\"" + universe_build + "\"");
  return client_sent(client,
                     stream_send(client->stream, FIELD_BEGIN, RC_SUCCESS, FIELD_BYTE,
                                 from_universe::kAttributes, FIELD_BYTE, universe_setting::kBuild,
                                 FIELD_STRING, universe_build.c_str(), FIELD_END));
}

// A refused login: its reply carries the result alone, and the link ends once
// it has gone out.
void refuse_login(Client* client, int refusal, const char* name, std::uint32_t owner) {
  server_log(client->server, "login refused: \"%s\" for citizen %u from %s: %s (%d)", name, owner,
             client->peer.c_str(), refusal_text(refusal), refusal);
  trace(client, "->", "20 login reply result=" + std::to_string(refusal));
  if (client_sent(client, stream_send(client->stream, FIELD_BEGIN, refusal, FIELD_BYTE,
                                      from_universe::kLoginReply, FIELD_END)))
    client->close_after_flush = true;
}

// An admitted login takes its name, a login number no other login holds and
// its check bytes. Every library client is a bot, shown in square brackets.
void admit_login(Client* client, const char* name, std::uint32_t owner) {
  Server* server = client->server;
  client->login_name = name;
  client->avatar.name = "[" + client->login_name + "]";
  client->citizen = owner;
  do {
    client->login_number = server->key_rng();
  } while (client->login_number == 0 || server->logins.count(client->login_number) != 0);
  std::uint32_t check = server->key_rng();
  std::memcpy(client->check, &check, kLoginCheckBytes);
  client->logged_in = true;
  server->logins[client->login_number] = client;
}

// The login reply of an admitted login, with the fields of the universe's build.
int send_login_reply(Client* client) {
  int universe = client->server->config.universe_build;
  trace(client, "->",
        "20 login reply result=0 session=" + std::to_string(client->session) + " name=\"" +
            client->avatar.name + "\" login=" + std::to_string(client->login_number));
  std::uint32_t check_raw;
  std::memcpy(&check_raw, client->check, kLoginCheckBytes);
  const char* avatar_name = client->avatar.name.c_str();
  if (universe >= kUniverseBuildLoginCheck) {
    return stream_send(client->stream, FIELD_BEGIN, RC_SUCCESS, FIELD_BYTE,
                       from_universe::kLoginReply, FIELD_WORD, client->session, FIELD_STRING,
                       avatar_name, FIELD_LONG, client->login_number, FIELD_RAW4, check_raw,
                       FIELD_END);
  }
  if (universe >= kUniverseBuildLoginNumber) {
    return stream_send(client->stream, FIELD_BEGIN, RC_SUCCESS, FIELD_BYTE,
                       from_universe::kLoginReply, FIELD_WORD, client->session, FIELD_STRING,
                       avatar_name, FIELD_LONG, client->login_number, FIELD_END);
  }
  return stream_send(client->stream, FIELD_BEGIN, RC_SUCCESS, FIELD_BYTE,
                     from_universe::kLoginReply, FIELD_WORD, client->session, FIELD_STRING,
                     avatar_name, FIELD_END);
}

void login(Client* client) {
  Server* server = client->server;
  std::uint32_t build = 0;
  std::uint32_t owner = 0;
  char name[256];
  char password[256];
  char application[256];
  if (stream_receive(client->stream, FIELD_LONG, &build, FIELD_STRING, name, FIELD_LONG, &owner,
                     FIELD_STRING, password, FIELD_STRING, application, FIELD_END) != 0)
    return;  // the loop drops the client for the malformed message
  trace(client, "<-",
        "47 login build=" + std::to_string(build) + " name=\"" + name +
            "\" citizen=" + std::to_string(owner) + " application=\"" + application + "\"");
  send_keys(client);
  if (client->dead || !send_universe_attributes(client)) return;

  int refusal = judge_login(server, owner, password, name);
  if (refusal == 0 && (client->session = session_take(server)) == 0) {
    refusal = RC_BOT_LIMIT_EXCEEDED;
  }
  if (refusal != 0) {
    refuse_login(client, refusal, name, owner);
    return;
  }
  admit_login(client, name, owner);
  if (!client_sent(client, send_login_reply(client))) return;
  server_log(server, "login: %s for citizen %u from %s, session %u", client->avatar.name.c_str(),
             owner, client->peer.c_str(), client->session);
}

void world_lookup(Client* client) {
  Server* server = client->server;
  char name[256];
  if (stream_receive(client->stream, FIELD_STRING, name, FIELD_END) != 0) return;
  trace(client, "<-", std::string("24 world lookup \"") + name + "\"");
  World* world = find_world(server, name);
  if (world == nullptr) {
    trace(client, "->", "0 world reply result=27");
    client_sent(client, stream_send(client->stream, FIELD_BEGIN, RC_WORLD_NOT_RUNNING, FIELD_BYTE,
                                    from_universe::kWorldReply, FIELD_STRING, name, FIELD_END));
    return;
  }
  // A world listening on every interface is reached where this link is.
  std::uint32_t address = world->reply_address != 0 ? world->reply_address : client->local_address;
  int build = world->config.build;
  trace(client, "->",
        "0 world reply result=0 \"" + world->config.name +
            "\" port=" + std::to_string(world->port) + " build=" + std::to_string(build));
  // The address and port travel as numbers, most significant byte first.
  int rc = 0;
  if (server->config.universe_build >= kUniverseBuildCellBound) {
    rc = stream_send(client->stream, FIELD_BEGIN, RC_SUCCESS, FIELD_BYTE,
                     from_universe::kWorldReply, FIELD_STRING, name, FIELD_LONG, ntohl(address),
                     FIELD_WORD, world->port, FIELD_WORD, build, FIELD_WORD,
                     world->config.lookup_value, FIELD_WORD, world->config.cell_bound, FIELD_END);
  } else {
    rc = stream_send(client->stream, FIELD_BEGIN, RC_SUCCESS, FIELD_BYTE,
                     from_universe::kWorldReply, FIELD_STRING, name, FIELD_LONG, ntohl(address),
                     FIELD_WORD, world->port, FIELD_WORD, build, FIELD_END);
  }
  client_sent(client, rc);
}

void citizen_lookup(Client* client) {
  std::uint32_t number = 0;
  if (stream_receive(client->stream, FIELD_LONG, &number, FIELD_END) != 0) return;
  trace(client, "<-", "55 citizen lookup " + std::to_string(number));
  const CitizenConfig* citizen = find_citizen(client->server, number);
  if (citizen == nullptr) {
    trace(client, "->", "25 citizen record result=3");
    client_sent(client, stream_send(client->stream, FIELD_BEGIN, RC_NO_SUCH_CITIZEN, FIELD_BYTE,
                                    from_universe::kCitizenRecord, FIELD_LONG, number, FIELD_END));
    return;
  }
  trace(client, "->", "25 citizen record result=0 0=\"" + citizen->name + "\"");
  client_sent(client,
              stream_send(client->stream, FIELD_BEGIN, RC_SUCCESS, FIELD_BYTE,
                          from_universe::kCitizenRecord, FIELD_LONG, number, FIELD_BYTE,
                          citizen_setting::kName, FIELD_STRING, citizen->name.c_str(), FIELD_END));
}

}  // namespace

void universe_message(Client* client) {
  std::uint8_t id = 0;
  stream_receive(client->stream, FIELD_BYTE, &id, FIELD_STATUS);
  if (!client->keyed) {
    // The login's length and id come plain; the rest is enciphered from a
    // freshly keyed state.
    if (id != to_universe::kLogin) return client_drop(client, "first message is not a login");
    client->keyed = true;
    stream_set_receive_cipher(client->stream, kSessionKey, kSessionKeyLength, 0);
    return login(client);
  }
  if (!client->logged_in) return client_drop(client, "message after a refused login");
  switch (id) {  // by id
    case to_universe::kWorldLookup:
      return world_lookup(client);
    case to_universe::kKeepAlive:
      stream_receive(client->stream, FIELD_END);
      return trace(client, "<-", "32 keep-alive");
    case to_universe::kAcknowledge: {
      int rest = 0;
      stream_receive(client->stream, FIELD_REMAINING, &rest, FIELD_SKIP, rest, FIELD_END);
      return trace(client, "<-", "34 acknowledgement");
    }
    case to_universe::kLogin:
      return client_drop(client, "second login on one link");
    case to_universe::kCitizenLookup:
      return citizen_lookup(client);
    default:
      return client_drop(client, "unknown message " + std::to_string(id));
  }
}

void universe_client_closed(Client* client) {
  Server* server = client->server;
  if (!client->logged_in) return;
  server->logins.erase(client->login_number);
  session_release(server, client->session);
  server_log(server, "logout: %s, session %u", client->avatar.name.c_str(), client->session);
}

int universe_send_redirect(Client* client, std::uint32_t address, std::uint16_t port) {
  trace(client, "->", "18 redirect port=" + std::to_string(port));
  // The address goes as its four bytes in network order, the port as a number.
  int rc = stream_send(client->stream, FIELD_BEGIN, RC_SUCCESS, FIELD_BYTE,
                       from_universe::kRedirect, FIELD_RAW4, address, FIELD_WORD, port, FIELD_END);
  client_sent(client, rc);
  return rc;
}

int universe_send_renumber(Client* client, std::uint16_t session) {
  Server* server = client->server;
  trace(client, "->", "27 renumber " + std::to_string(session));
  int rc = stream_send(client->stream, FIELD_BEGIN, RC_SUCCESS, FIELD_BYTE,
                       from_universe::kRenumber, FIELD_WORD, session, FIELD_END);
  if (!client_sent(client, rc)) {
    session_release(server, session);  // the caller's hold on the new number
    return rc;
  }
  session_release(server, client->session);
  server_log(server, "renumbered: %s, session %u is now %u", client->avatar.name.c_str(),
             client->session, session);
  client->session = session;
  return 0;
}

}  // namespace orbilo
