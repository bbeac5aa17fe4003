// The version service: a client sends one line, "BUILD:PRODUCT" and a line
// feed; the service answers with the body length as five characters of
// decimal text (blank-padded) and the body, whose first byte is the verdict
// ("+" accepted, "-" or "=" refused) and whose rest is a message. Then it
// closes the connection.
#include <sys/socket.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "server/internal.h"

namespace orbilo {

namespace {

constexpr std::size_t kMaxQuery = 256;
constexpr std::size_t kMaxMessage = 1000;

}  // namespace

std::string version_answer(const VersionPolicy& policy, const std::string& line, bool* valid) {
  std::string query = line;
  if (!query.empty() && query.back() == '\r') query.pop_back();
  std::size_t colon = query.find(':');
  std::size_t digits = 0;
  while (digits < query.size() && std::isdigit(static_cast<unsigned char>(query[digits]))) ++digits;
  *valid = colon != std::string::npos && digits == colon && digits > 0 && digits <= 9;
  if (!*valid) return "";
  int build = std::stoi(query.substr(0, colon));
  std::string product = query.substr(colon + 1);
  std::string body;
  if (lower_case(product) != lower_case(policy.product)) {
    body = std::string(1, policy.other.verdict) + policy.other.message;
  } else if (policy.accepted.count(build) != 0) {
    body = "+" + policy.accept_message;
  } else {
    auto refused = policy.refused.find(build);
    const VersionRefusal& refusal =
        refused != policy.refused.end() ? refused->second : policy.other;
    body = std::string(1, refusal.verdict) + refusal.message;
  }
  if (body.size() > kMaxMessage) body.resize(kMaxMessage);
  return body;
}

void version_readable(Client* client) {
  Server* server = client->server;
  char buffer[kMaxQuery];
  ssize_t count = recv(client->fd, buffer, sizeof buffer, 0);
  if (count == 0)
    return client_drop(client, client->output.empty() ? "closed without a query" : "");
  if (count < 0) {
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return;
    return client_drop(client, std::string("receive failed: ") + std::strerror(errno));
  }
  if (!client->output.empty()) return;  // one query a connection; the rest is ignored
  client->input.append(buffer, static_cast<std::size_t>(count));
  std::size_t newline = client->input.find('\n');
  if (newline == std::string::npos) {
    if (client->input.size() > kMaxQuery) client_drop(client, "query line too long");
    return;
  }
  std::string line = client->input.substr(0, newline);
  bool valid = false;
  std::string body = version_answer(server->config.version_policy, line, &valid);
  if (!valid) return client_drop(client, "malformed query");
  char length[8];
  std::snprintf(length, sizeof length, "%5zu", body.size());
  client->output = std::string(length) + body;
  server_log(server, "version query \"%s\" from %s: %s", line.c_str(), client->peer.c_str(),
             body[0] == '+' ? "accepted" : "refused");
  version_writable(client);
}

void version_writable(Client* client) {
  while (client->output_sent < client->output.size()) {
    ssize_t sent = send(client->fd, client->output.data() + client->output_sent,
                        client->output.size() - client->output_sent, MSG_NOSIGNAL);
    if (sent < 0) {
      if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return;
      return client_drop(client, std::string("send failed: ") + std::strerror(errno));
    }
    client->output_sent += static_cast<std::size_t>(sent);
  }
  if (!client->output.empty()) {
    shutdown(client->fd, SHUT_WR);
    client_drop(client, "");  // answered
  }
}

}  // namespace orbilo
