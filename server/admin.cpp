// Administrative commands, one a line (standard input, or server_admin()):
//
//   list                              the logged-in sessions and the world avatars
//   redirect SESSION|all ADDR PORT    universe message 18 to one session or all
//   renumber SESSION [NEW]            universe message 27: a new session number
//   crowd stop|start                  halt the crowds of every world, or set them going
//   counts                            per bot in a world, the reports it has been sent
//   quit                              stop the server
//   help                              this list
//
// "counts" answers a line "counts of world NAME: N bots" for each world, then
// one line per entered bot:
//
//   [NAME] session S: adds A changes C deletes D chats T whispers W digest HEX
//
// and last "counts end". The digest is FNV-1a (64 bits) run over every
// report in the order it went, each report fed as: its message id (one
// byte); the session it is about as four bytes, least significant first;
// for an avatar add or change x, y, z, the yaw as the 16-bit signed value
// on the wire, the type and the gesture (as the bytes on the wire), each as
// four such bytes, and for an add the name's bytes and a zero byte; for a
// chat or whisper the text's bytes and a zero byte. A bot that feeds the
// same from its avatar and chat events ends with the same digest.
#include <arpa/inet.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "net/tcp.h"
#include "protocol/messages.h"
#include "server/internal.h"

namespace orbilo {

namespace {

constexpr std::uint64_t kFnvPrime = 0x100000001b3ull;

void digest_byte(std::uint64_t* digest, std::uint8_t byte) {
  *digest = (*digest ^ byte) * kFnvPrime;
}

void digest_four(std::uint64_t* digest, std::uint32_t value) {
  for (int k = 0; k < 4; ++k) digest_byte(digest, static_cast<std::uint8_t>(value >> (8 * k)));
}

void digest_text(std::uint64_t* digest, const std::string& text) {
  for (char c : text) digest_byte(digest, static_cast<std::uint8_t>(c));
  digest_byte(digest, 0);
}

bool parse_session(const std::string& text, std::uint16_t* session) {
  char* end = nullptr;
  long value = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || value < 1 || value > 65535) return false;
  *session = static_cast<std::uint16_t>(value);
  return true;
}

Client* find_universe_client(Server* server, std::uint16_t session) {
  for (auto& client : server->clients) {
    if (client->kind == LinkKind::Universe && client->logged_in && !client->dead &&
        client->session == session)
      return client.get();
  }
  return nullptr;
}

std::string list(Server* server) {
  std::ostringstream out;
  int count = 0;
  for (auto& client : server->clients) {
    if (client->kind != LinkKind::Universe || !client->logged_in || client->dead) continue;
    out << (count++ ? "\n" : "") << "session " << client->session << " " << client->avatar.name
        << " citizen " << client->citizen << " from " << client->peer;
  }
  for (auto& world : server->worlds) {
    out << (count++ ? "\n" : "") << "world " << world->config.name << " port " << world->port
        << ": " << world->clients.size() << " bots, " << world->crowd.size() << " crowd";
    for (const Client* client : world->clients) {
      out << "\n  " << client->avatar.session << " " << client->avatar.name;
      if (client->avatar.present)
        out << " at " << client->avatar.x << " " << client->avatar.y << " " << client->avatar.z;
    }
  }
  return count == 0 ? "nothing to list" : out.str();
}

std::string redirect(Server* server, const std::vector<std::string>& words) {
  if (words.size() != 4) return "usage: redirect SESSION|all ADDRESS PORT";
  std::uint32_t address = 0;
  if (host_lookup(words[2].c_str(), &address) != 0) return "cannot resolve \"" + words[2] + "\"";
  char* end = nullptr;
  long port = std::strtol(words[3].c_str(), &end, 10);
  if (*end != '\0' || port < 1 || port > 65535) return "bad port \"" + words[3] + "\"";
  int sent = 0;
  std::uint16_t session = 0;
  bool all = words[1] == "all";
  if (!all && !parse_session(words[1], &session)) return "bad session \"" + words[1] + "\"";
  for (auto& client : server->clients) {
    if (client->kind != LinkKind::Universe || !client->logged_in || client->dead) continue;
    if (!all && client->session != session) continue;
    if (universe_send_redirect(client.get(), address, static_cast<std::uint16_t>(port)) == 0)
      ++sent;
  }
  if (sent == 0 && !all) return "no session " + words[1];
  return "redirect sent to " + std::to_string(sent) + " session" + (sent == 1 ? "" : "s");
}

std::string renumber(Server* server, const std::vector<std::string>& words) {
  if (words.size() != 2 && words.size() != 3) return "usage: renumber SESSION [NEW]";
  std::uint16_t session = 0;
  if (!parse_session(words[1], &session)) return "bad session \"" + words[1] + "\"";
  Client* client = find_universe_client(server, session);
  if (client == nullptr) return "no session " + words[1];
  std::uint16_t renewed = 0;
  if (words.size() == 3) {
    if (!parse_session(words[2], &renewed)) return "bad session \"" + words[2] + "\"";
    if (session_in_use(server, renewed)) return "session " + words[2] + " is in use";
    session_hold(server, renewed);
  } else if ((renewed = session_take(server)) == 0) {
    return "no session number is free";
  }
  if (universe_send_renumber(client, renewed) != 0) return "renumber failed: the link is closing";
  return "session " + words[1] + " is now " + std::to_string(renewed);
}

std::string crowd(Server* server, const std::vector<std::string>& words) {
  if (words.size() != 2 || (words[1] != "stop" && words[1] != "start"))
    return "usage: crowd stop|start";
  bool stop = words[1] == "stop";
  int count = 0;
  for (auto& world : server->worlds) {
    if (world->crowd.empty()) continue;
    world->crowd_stopped = stop;
    ++count;
  }
  return std::string(stop ? "crowd stopped" : "crowd started") + " in " + std::to_string(count) +
         " world" + (count == 1 ? "" : "s");
}

std::string counts(Server* server) {
  std::string out;
  for (auto& world : server->worlds) {
    out += "counts of world " + world->config.name + ": " + std::to_string(world->clients.size()) +
           " bots\n";
    for (const Client* client : world->clients) {
      const ReportCounts& sent = client->reported;
      char line[160];
      std::snprintf(line, sizeof line,
                    " session %u: adds %" PRIu64 " changes %" PRIu64 " deletes %" PRIu64
                    " chats %" PRIu64 " whispers %" PRIu64 " digest %016" PRIx64 "\n",
                    client->avatar.session, sent.adds, sent.changes, sent.deletes, sent.chats,
                    sent.whispers, sent.digest);
      out += client->avatar.name + line;
    }
  }
  return out + "counts end";
}

}  // namespace

void report_count_avatar(Client* client, from_world::Id id, const Avatar& avatar) {
  ReportCounts& sent = client->reported;
  ++(id == from_world::kAvatarAdd ? sent.adds : sent.changes);
  std::uint64_t* digest = &sent.digest;
  digest_byte(digest, static_cast<std::uint8_t>(id));
  digest_four(digest, avatar.session);
  digest_four(digest, static_cast<std::uint32_t>(avatar.x));
  digest_four(digest, static_cast<std::uint32_t>(avatar.y));
  digest_four(digest, static_cast<std::uint32_t>(avatar.z));
  digest_four(digest, static_cast<std::uint32_t>(static_cast<std::int32_t>(
                          static_cast<std::int16_t>(static_cast<std::uint16_t>(avatar.yaw)))));
  digest_four(digest, static_cast<std::uint8_t>(avatar.type));
  digest_four(digest, static_cast<std::uint8_t>(avatar.gesture));
  if (id == from_world::kAvatarAdd) digest_text(digest, avatar.name);
}

void report_count_delete(Client* client, std::uint16_t session) {
  ReportCounts& sent = client->reported;
  ++sent.deletes;
  digest_byte(&sent.digest, from_world::kAvatarDelete);
  digest_four(&sent.digest, session);
}

void report_count_chat(Client* client, from_world::Id id, std::uint16_t speaker,
                       const std::string& text) {
  ReportCounts& sent = client->reported;
  ++(id == from_world::kChatWhispered ? sent.whispers : sent.chats);
  digest_byte(&sent.digest, static_cast<std::uint8_t>(id));
  digest_four(&sent.digest, speaker);
  digest_text(&sent.digest, text);
}

std::string admin_run(Server* server, const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> words;
  std::string word;
  while (in >> word) words.push_back(word);
  if (words.empty()) return "";
  const std::string& command = words[0];
  if (command == "list") return list(server);
  if (command == "redirect") return redirect(server, words);
  if (command == "renumber") return renumber(server, words);
  if (command == "crowd") return crowd(server, words);
  if (command == "counts") return counts(server);
  if (command == "quit") {
    server->stopped = true;
    return "stopping";
  }
  if (command == "help") {
    return "commands: list | redirect SESSION|all ADDRESS PORT | renumber SESSION [NEW] | "
           "crowd stop|start | counts | quit";
  }
  return "unknown command \"" + command + "\" (try help)";
}

}  // namespace orbilo
