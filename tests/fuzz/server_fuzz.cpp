// Arbitrary bytes arriving at orbilo-server: one server, made once on
// loopback, takes every input on a connection of its own and is stepped on
// this thread. A watching bot stays in world "demo" throughout, so that what
// the input's avatar does is reported to someone.
//
// An input is one set-up byte, then the plain message stream of a client
// (length words and bodies, before encipherment). The low three bits of the
// set-up byte (modulo 5) choose the connection:
//   0  universe: the input from its first message, the login, on
//   1  universe: a login of the harness's first, then the input
//   2  world: the input from its first message, the world login, on
//   3  world: a universe login, a world login and the event mask of the
//      harness's first, then the input
//   4  the version service: the input's bytes as they are
// Bits 3 and 4 choose the world (demo of build 39, mid of 28, old of 26);
// bit 6 has the server renumber the session, and bit 7 redirect it, once
// the harness's login is through and before the input.
//
// The first message goes out as a client sends it: its length and id plain,
// the rest enciphered from a freshly keyed state. When the server answers
// with keys, the rest of the input is enciphered with the client's sending
// key; otherwise it goes out as it is. Then the input's side of the
// connection is closed.
//
// Aborts when the server
// - neither answers nor closes after a whole first message;
// - keeps a connection whose client has closed, or any record of it (a
//   login, a session number, a world avatar);
// - closes the watching bot's links;
// - stops serving: every 64 inputs a new bot logs in, looks up a citizen,
//   enters the world, is seen by the watching bot, and a version query is
//   answered.
#include <arpa/inet.h>
#include <sys/socket.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <unordered_map>

#include "server/internal.h"
#include "support/raw_link.h"

using namespace orbilo;

namespace {

using server_testing::Bytes;
using server_testing::LoginResult;
using server_testing::RawLink;
using server_testing::TestServer;

constexpr int kWaitMs = 5000;
constexpr int kCheckEvery = 64;

struct WorldChoice {
  const char* name;
  int build;
};
constexpr WorldChoice kWorlds[] = {{"demo", 39}, {"mid", 28}, {"old", 26}};

TestServer* test = nullptr;
RawLink* watcher_universe = nullptr;
RawLink* watcher_world = nullptr;

// What the server holds with only the watching bot connected.
struct Baseline {
  int clients = 0;
  std::size_t logins = 0;
  std::unordered_map<std::uint16_t, int> sessions;
  std::vector<std::size_t> world_clients;
} baseline;

void check(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "server_fuzz: %s\n", what);
  std::abort();
}

using messages::frame;

// The world login of the world's build, with the right numbers and hash.
Bytes world_login_message(const WorldChoice& world, const LoginResult& login) {
  messages::WorldLogin fields = server_testing::world_login_of(
      login, world.name, server_testing::world_login_hash(login.check, world.name));
  if (world.build < 28) return frame(messages::world_login_20(fields, 0));
  return frame(world.build < 39 ? messages::world_login_27(fields) : messages::world_login(fields));
}

// Reads and drops whatever has come for the watching bot; its links must
// stay open.
void drain(RawLink* link) {
  Bytes body;
  while (link->next(&body, 0)) continue;
  check(!link->closed(0), "the watching bot's link was closed");
}

bool keys_message(const Bytes& body, bool world, int* receive, int* send) {
  std::size_t at = world ? 1 : 2;
  bool keys =
      world ? body.size() == 5 && body[0] == 17 : body.size() == 6 && body[0] == 0 && body[1] == 22;
  if (!keys) return false;
  *receive = (body[at] << 8) | body[at + 1];
  *send = (body[at + 2] << 8) | body[at + 3];
  return true;
}

// Sends plain as a client does on a new connection to port, then closes the
// sending side; after_keys runs once the server has keyed the link. Returns
// once the server has closed the connection.
void feed(std::uint16_t port, bool world, const Bytes& plain,
          const std::function<void(RawLink&)>& after_keys) {
  RawLink link(*test, port);
  check(link.connected(), "cannot connect to the server");
  std::size_t size = plain.size();
  // Empty messages before the first are passed over; they are plain too.
  std::size_t at = 0;
  while (at + 2 <= size && plain[at] == 0 && plain[at + 1] == 0) at += 2;
  std::size_t first_end = size;
  bool whole = false;
  if (at + 2 <= size) {
    std::size_t length = (plain[at] << 8) | plain[at + 1];
    whole = size - at - 2 >= length;
    if (whole) first_end = at + 2 + length;
  }
  std::size_t plain_end = at + 3 < size ? at + 3 : size;
  Bytes out(plain.begin(), plain.begin() + static_cast<std::ptrdiff_t>(plain_end));
  Bytes rest(plain.begin() + static_cast<std::ptrdiff_t>(plain_end),
             plain.begin() + static_cast<std::ptrdiff_t>(first_end));
  scripted::Rc4 fresh(0);
  fresh.apply(rest.data(), rest.size());
  out.insert(out.end(), rest.begin(), rest.end());
  link.send_raw(out);

  rest.assign(plain.begin() + static_cast<std::ptrdiff_t>(first_end), plain.end());
  if (whole) {
    Bytes body;
    bool answered = link.next(&body, kWaitMs);
    int receive = 0, send = 0;
    if (answered && keys_message(body, world, &receive, &send)) {
      link.key(receive, send);
      if (after_keys) after_keys(link);
      scripted::Rc4 keyed(send);
      keyed.apply(rest.data(), rest.size());
    }
    check(answered || link.closed(0), "the server neither answered nor closed after a login");
  }
  if (!rest.empty()) link.send_raw(rest);
  link.shutdown_write();
  check(link.closed(kWaitMs), "the server kept a connection whose client had closed");
}

// The version service: the bytes, then the end of the sending side.
void feed_version(const Bytes& bytes) {
  loopback::Peer peer = loopback::connect(htons(test->version_port()));
  check(peer.valid(), "cannot connect to the version service");
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
  peer.send(bytes.data(), bytes.size());
  peer.shutdown_write();
  // The server runs on this thread: step it until it closes the connection.
  while (!peer.closed(0)) {
    check(std::chrono::steady_clock::now() < end, "the version service kept a connection");
    test->pump();
  }
}

// Every connection of the input is gone, and with it every record of it.
void check_back_to_baseline() {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
  while (server_client_count(test->server) != baseline.clients) {
    check(std::chrono::steady_clock::now() < end, "the server keeps a closed connection");
    test->pump();
  }
  Server* server = test->server;
  check(server->logins.size() == baseline.logins, "the server keeps a login of a closed link");
  check(server->sessions == baseline.sessions, "the server keeps a session number it gave out");
  for (std::size_t k = 0; k < server->worlds.size(); ++k) {
    check(server->worlds[k]->clients.size() == baseline.world_clients[k],
          "a world keeps the avatar of a closed link");
  }
  drain(watcher_universe);
  drain(watcher_world);
}

void keep_watcher_alive() {
  check(watcher_universe->send(messages::keep_alive_to_universe()) &&
            watcher_world->send(messages::keep_alive_to_world()),
        "the watching bot cannot send");
}

// A new bot is served from login to being seen, and so is a version query.
void check_still_serving() {
  keep_watcher_alive();
  {
    RawLink universe(*test, test->universe_port());
    bool keyed = false;
    LoginResult login = server_testing::universe_login(universe, "Check", 1, "demo", &keyed);
    check(keyed && login.result == 0, "a new bot cannot log in");
    Bytes reply;
    check(universe.send(messages::citizen_lookup(7)) && universe.next_starting({0, 25}, &reply) &&
              reply == messages::citizen_reply(7, "Owner Seven"),
          "a citizen lookup is not answered");
    RawLink world(*test, test->world_port("demo"));
    check(server_testing::world_enter(world, login, "demo") &&
              server_testing::send_state(world, 100, 0, 200, 0, 1, 0),
          "a new bot cannot enter the world");
    Bytes seen;
    Bytes name = messages::Body().string("[Check]").bytes_;
    bool found = false;
    while (!found && watcher_world->next(&seen, kWaitMs)) {
      found = seen.size() > 5 + name.size() && seen[0] == 2 &&
              std::equal(name.begin(), name.end(), seen.begin() + 5);
    }
    check(found, "the watching bot does not see a new bot arrive");
    server_admin(test->server, "list");
  }
  loopback::Peer peer = loopback::connect(htons(test->version_port()));
  check(peer.valid() && peer.send({'4', ':', 'O', 'r', 'b', 'i', 'l', 'o', '\n'}),
        "cannot query the version service");
  Bytes answer;
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
  for (;;) {
    std::uint8_t chunk[64];
    ssize_t got = recv(peer.fd(), chunk, sizeof chunk, MSG_DONTWAIT);
    if (got == 0) break;
    if (got > 0) answer.insert(answer.end(), chunk, chunk + got);
    check(std::chrono::steady_clock::now() < end, "the version service does not answer");
    test->pump();
  }
  check(answer == Bytes{' ', ' ', ' ', ' ', '1', '+'}, "the version service answers wrongly");
  peer.close();
  check_back_to_baseline();
}

void admin_orders(std::uint8_t setup, std::uint16_t session) {
  if (setup & 0x40) server_admin(test->server, "renumber " + std::to_string(session));
  if (setup & 0x80) {
    server_admin(test->server, "redirect " + std::to_string(session) + " 127.0.0.1 " +
                                   std::to_string(test->universe_port()));
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  test = new TestServer([](ServerConfig* config) {
    config->worlds.clear();
    for (const WorldChoice& choice : kWorlds) {
      WorldConfig world;
      world.name = choice.name;
      world.build = choice.build;
      config->worlds.push_back(world);
    }
    config->worlds[0].crowd = 3;
    config->worlds[0].settings = {{14, "Y"}, {57, "0aFF"}};
    // The crowd stands still and says nothing, so that each input meets the
    // same world.
    config->crowd_tick_ms = 24 * 3600 * 1000;
    config->crowd_chat_per_mille = 0;
    // Every message decoded and described: to standard error when
    // ORBILO_FUZZ_LOG is set (to replay one input), else to no one.
    config->trace = true;
    if (std::getenv("ORBILO_FUZZ_LOG") != nullptr) {
      config->log = [](const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); };
    } else {
      config->log = [](const std::string&) {};
    }
  });
  check(test->create_error == 0, "the server cannot start");

  watcher_universe = new RawLink(*test, test->universe_port());
  LoginResult login = server_testing::universe_login(*watcher_universe, "Watch", 1, "demo");
  check(login.result == 0, "the watching bot cannot log in");
  watcher_world = new RawLink(*test, test->world_port("demo"));
  check(server_testing::world_enter(*watcher_world, login, "demo") &&
            server_testing::send_state(*watcher_world, 0, 0, 0, 0, 1, 0),
        "the watching bot cannot enter");
  test->pump(20);
  drain(watcher_world);

  Server* server = test->server;
  baseline.clients = server_client_count(server);
  baseline.logins = server->logins.size();
  baseline.sessions = server->sessions;
  for (auto& world : server->worlds) baseline.world_clients.push_back(world->clients.size());
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static int inputs = 0;
  if (size < 1) return 0;
  std::uint8_t setup = data[0];
  Bytes input(data + 1, data + size);
  const WorldChoice& world = kWorlds[((setup >> 3) & 3) % 3];
  switch ((setup & 7) % 5) {
    case 0:
      feed(test->universe_port(), false, input, nullptr);
      break;
    case 1: {
      Bytes plain = frame(messages::universe_login("Fuzz", 1, "demo", "fuzz"));
      plain.insert(plain.end(), input.begin(), input.end());
      feed(test->universe_port(), false, plain, [setup](RawLink& link) {
        Bytes reply;
        check(link.next_starting({0, 20}, &reply, kWaitMs) && reply.size() > 4,
              "the harness's login is not answered");
        admin_orders(setup, static_cast<std::uint16_t>((reply[2] << 8) | reply[3]));
      });
      break;
    }
    case 2:
      feed(test->world_port(world.name), true, input, nullptr);
      break;
    case 3: {
      RawLink universe(*test, test->universe_port());
      LoginResult login = server_testing::universe_login(universe, "Fuzz", 1, "demo");
      check(login.result == 0, "the harness cannot log in");
      Bytes plain = world_login_message(world, login);
      Bytes mask = frame(messages::event_mask(7));
      plain.insert(plain.end(), mask.begin(), mask.end());
      plain.insert(plain.end(), input.begin(), input.end());
      feed(test->world_port(world.name), true, plain,
           [setup, &login](RawLink&) { admin_orders(setup, login.session); });
      break;
    }
    default:
      feed_version(input);
      break;
  }
  check_back_to_baseline();
  if (++inputs % kCheckEvery == 0) check_still_serving();
  return 0;
}
