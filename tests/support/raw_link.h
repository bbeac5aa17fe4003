// Scripted clients for the servers' tests: links that frame, encipher and
// read the bytes themselves (with the test's own cipher, not the codec the
// servers use), driven in the same thread as the server, which each wait
// steps. Every wait is bounded.
//
//   TestServer test;                       // universe, world "demo", version; OS-chosen ports
//   RawLink universe(test, test.universe_port());
//   LoginResult login = universe_login(universe, "Ball", 1, "demo");
//   RawLink world(test, test.world_port("demo"));
//   world_enter(world, login, "demo");
//   world.send(messages::whisper(session, "hi"));
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

#include "support/loopback.h"
#include "support/messages.h"
#include "support/scripted_peer.h"
#include "support/test_server.h"

namespace orbilo {

namespace server_testing {

using messages::Bytes;
using messages::Read;

inline constexpr int kWaitMs = 3000;

// One client link over loopback.
class RawLink {
 public:
  RawLink(TestServer& test, std::uint16_t port);  // port in host order
  RawLink(const RawLink&) = delete;
  RawLink& operator=(const RawLink&) = delete;

  bool connected() const { return peer_.valid(); }
  int fd() const { return peer_.fd(); }

  // A client's first message: its length and id plain, the rest enciphered
  // from a freshly keyed state, which later sends go on with.
  bool send_first(const Bytes& message);
  // A message, framed, and enciphered once a send cipher is keyed.
  bool send(const Bytes& message);
  // Bytes straight onto the socket, as they are.
  bool send_raw(const Bytes& bytes) { return peer_.send(bytes); }
  // Keys both directions with the client's receive and send discards, as a
  // cipher-keys message gives them.
  void key(int receive_discard, int send_discard);
  void shutdown_write() { peer_.shutdown_write(); }
  void close() { peer_.close(); }

  // The next message's body (what follows its length), deciphered. false on
  // time-out or when the server closed the link (closed() tells which).
  bool next(Bytes* body, int timeout_ms = kWaitMs);
  // Reads messages until one starts with the given bytes (the universe's
  // result and id, or a world id); false when none comes.
  bool next_starting(std::initializer_list<std::uint8_t> prefix, Bytes* body,
                     int timeout_ms = kWaitMs);
  // true when the server closes the link within timeout_ms; messages that
  // come first are read and dropped.
  bool closed(int timeout_ms = kWaitMs);
  // true when no message comes for ms milliseconds.
  bool quiet(int ms = 100);

 private:
  bool take(Bytes* body);  // a whole message from what has arrived

  TestServer& test_;
  loopback::Peer peer_;
  Bytes received_;
  bool head_deciphered_ = false;
  bool closed_ = false;
  bool send_keyed_ = false;
  bool receive_keyed_ = false;
  scripted::Rc4 send_cipher_;
  scripted::Rc4 receive_cipher_;
};

struct LoginResult {
  int result = -1;
  std::uint16_t session = 0;
  std::uint32_t login_number = 0;
  std::uint8_t check[4] = {};
  std::string name;
};

// Logs a universe link in as the library does, keys it with the server's
// discards, and returns what the login reply says. The keys and attributes
// must come as expected; expect_ok is cleared when they do not.
LoginResult universe_login(RawLink& link, const char* name, std::uint32_t citizen,
                           const char* password, bool* expect_ok = nullptr);

// The login hash: the table hash of the check bytes and the world name
// padded to eight bytes.
std::uint32_t world_login_hash(const std::uint8_t check[4], const std::string& world);

// The world login of a build-39 world (message 53) for login, with the hash
// given.
messages::WorldLogin world_login_of(const LoginResult& login, const char* world,
                                    std::uint32_t hash);

// Enters a build-39 world: login 53, keys 17, attributes 1, then the event
// mask. true when the keys and the attributes came.
bool world_enter(RawLink& link, const LoginResult& login, const char* world, std::uint32_t mask = 7,
                 Bytes* attributes = nullptr);

// Sends the bot's state (world message 8).
bool send_state(RawLink& link, int x, int y, int z, int yaw, int type, int gesture);

}  // namespace server_testing

}  // namespace orbilo
