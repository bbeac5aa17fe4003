// Administrative commands, one a line (standard input, or server_admin()):
//
//   list                              the logged-in sessions and the world avatars
//   redirect SESSION|all ADDR PORT    universe message 18 to one session or all
//   renumber SESSION [NEW]            universe message 27: a new session number
//   quit                              stop the server
//   help                              this list
#include <arpa/inet.h>

#include <cstdlib>
#include <sstream>

#include "net/tcp.h"
#include "server/internal.h"

namespace {

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

}  // namespace

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
  if (command == "quit") {
    server->stopped = true;
    return "stopping";
  }
  if (command == "help") {
    return "commands: list | redirect SESSION|all ADDRESS PORT | renumber SESSION [NEW] | quit";
  }
  return "unknown command \"" + command + "\" (try help)";
}
