// Scripted clients for the servers' tests and benchmark: links built on the
// message codec alone (no client session code), driven in the same thread
// as the server, which each wait steps. Every wait is bounded.
//
//   TestServer test;                       // universe, world "demo", version; OS-chosen ports
//   RawLink universe(test, test.universe_port());
//   LoginResult login = universe_login(universe, "Ball", 1, "demo");
//   RawLink world(test, test.world_port("demo"));
//   world_enter(world, login, "demo");
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "net/clock.h"
#include "sdk/hash_table.h"
#include "sdk/stream.h"
#include "server/config.h"
#include "server/server.h"

namespace orbilo {

namespace server_testing {

using Bytes = std::vector<std::uint8_t>;

inline constexpr int kWaitMs = 3000;

// A configuration for tests: loopback only, ports chosen by the system, no
// stdin, log lines collected into *log.
inline ServerConfig test_config(std::vector<std::string>* log) {
  ServerConfig config;
  config.universe_address = config.version_address = "127.0.0.1";
  config.universe_port = config.version_port = 0;
  WorldConfig world;
  world.name = "demo";
  config.worlds.push_back(world);
  config.citizens.push_back({1, "Demo", "demo"});
  config.citizens.push_back({7, "Owner Seven", "seven"});
  config.admin_stdin = false;
  config.log = [log](const std::string& line) { log->push_back(line); };
  return config;
}

class TestServer {
 public:
  TestServer() : TestServer([](ServerConfig*) {}) {}
  template <typename Adjust>
  explicit TestServer(Adjust adjust) {
    ServerConfig config = test_config(&log);
    adjust(&config);
    create_error = server_create(config, &server, &error);
  }
  ~TestServer() { server_destroy(server); }
  TestServer(const TestServer&) = delete;
  TestServer& operator=(const TestServer&) = delete;

  std::uint16_t universe_port() const { return server_universe_port(server); }
  std::uint16_t version_port() const { return server_version_port(server); }
  std::uint16_t world_port(const char* name) const { return server_world_port(server, name); }

  // Steps the server for about ms milliseconds (at least once).
  void pump(int ms = 0) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    do {
      server_step(server, 1);
    } while (std::chrono::steady_clock::now() < end);
  }

  // The number of log lines that contain text.
  int logged(const std::string& text) const {
    int count = 0;
    for (const std::string& line : log) count += line.find(text) != std::string::npos;
    return count;
  }

  Server* server = nullptr;
  std::vector<std::string> log;
  std::string error;
  int create_error = 0;
};

// Field bytes as the codec writes them, to compare received bodies with.
class Build {
 public:
  Build& byte(int value) {
    bytes_.push_back(static_cast<std::uint8_t>(value));
    return *this;
  }
  Build& word(int value) { return byte(value >> 8).byte(value); }
  Build& long32(std::int64_t value) {
    auto v = static_cast<std::uint32_t>(value);
    return word(static_cast<int>(v >> 16)).word(static_cast<int>(v & 0xffff));
  }
  Build& string(const std::string& text) {
    byte(static_cast<int>(text.size()));
    for (char c : text) byte(static_cast<unsigned char>(c));
    return *this;
  }
  Build& raw(const void* data, std::size_t size) {
    auto p = static_cast<const std::uint8_t*>(data);
    for (std::size_t k = 0; k < size; ++k) byte(p[k]);
    return *this;
  }
  Bytes bytes() const { return bytes_; }
  operator Bytes() const { return bytes_; }

 private:
  Bytes bytes_;
};

// Reads fields out of a received body.
class Read {
 public:
  explicit Read(const Bytes& bytes) : bytes_(bytes) {}
  int byte() { return at_ < bytes_.size() ? bytes_[at_++] : (ok_ = false, 0); }
  int word() {
    int high = byte();
    return (high << 8) | byte();
  }
  std::uint32_t long32() {
    std::uint32_t high = static_cast<std::uint32_t>(word());
    return (high << 16) | static_cast<std::uint32_t>(word());
  }
  std::string string() {
    int length = byte();
    std::string text;
    for (int k = 0; k < length; ++k) text.push_back(static_cast<char>(byte()));
    return text;
  }
  void raw(void* out, std::size_t size) {
    auto p = static_cast<std::uint8_t*>(out);
    for (std::size_t k = 0; k < size; ++k) p[k] = static_cast<std::uint8_t>(byte());
  }
  bool ok() const { return ok_; }
  bool at_end() const { return at_ == bytes_.size(); }

 private:
  const Bytes& bytes_;
  std::size_t at_ = 0;
  bool ok_ = true;
};

// One client link over loopback.
class RawLink {
 public:
  RawLink(TestServer& test, std::uint16_t port) : test_(test) {
    connect_rc = stream_create(htonl(INADDR_LOOPBACK), htons(port), &stream);
  }
  ~RawLink() { stream_destroy(stream); }
  RawLink(const RawLink&) = delete;
  RawLink& operator=(const RawLink&) = delete;

  template <typename... Fields>
  int send(Fields&&... fields) {
    return stream_send(stream, std::forward<Fields>(fields)...);
  }

  // Bytes straight onto the socket, past the codec.
  bool send_raw(const Bytes& bytes) {
    int fd = stream_socket(stream);
    return ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
           static_cast<ssize_t>(bytes.size());
  }

  // The next message's body (what follows its length), deciphered. false on
  // time-out or when the server closed the link (closed() tells which).
  bool next(Bytes* body, int timeout_ms = kWaitMs) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
      int rc = stream_read_message(stream);
      if (rc == 0) {
        int remaining = 0;
        stream_receive(stream, FIELD_REMAINING, &remaining, FIELD_STATUS);
        body->assign(static_cast<std::size_t>(remaining), 0);
        return stream_receive(stream, FIELD_BYTES, remaining, body->data(), FIELD_END) == 0;
      }
      if (rc != RC_NOT_YET) {
        closed_ = true;
        return false;
      }
      if (std::chrono::steady_clock::now() > end) return false;
      test_.pump();
    }
  }

  // Reads messages until one starts with the given bytes (the universe's
  // result and id, or a world id); false when none comes.
  bool next_starting(std::initializer_list<std::uint8_t> prefix, Bytes* body,
                     int timeout_ms = kWaitMs) {
    while (next(body, timeout_ms)) {
      if (body->size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), body->begin()))
        return true;
    }
    return false;
  }

  // true when the server closes the link within timeout_ms; messages that
  // come first are read and dropped.
  bool closed(int timeout_ms = kWaitMs) {
    Bytes body;
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!closed_ && std::chrono::steady_clock::now() < end) next(&body, 50);
    return closed_;
  }

  // true when no message comes for ms milliseconds.
  bool quiet(int ms = 100) {
    Bytes body;
    return !next(&body, ms) && !closed_;
  }

  Stream* stream = nullptr;
  int connect_rc = 0;

 private:
  TestServer& test_;
  bool closed_ = false;
};

struct LoginResult {
  int result = -1;
  std::uint16_t session = 0;
  std::uint32_t login_number = 0;
  std::uint8_t check[4] = {};
  std::string name;
};

// Logs a universe link in as the library does, keys it with the server's
// skips, and returns what the login reply says. The keys and attributes
// must come as expected; expect_ok is cleared when they do not.
inline LoginResult universe_login(RawLink& link, const char* name, std::uint32_t citizen,
                                  const char* password, bool* expect_ok = nullptr) {
  LoginResult result;
  bool ok =
      link.send(FIELD_CIPHER, kSessionKey, 16, FIELD_BEGIN, 47, FIELD_LONG, 24, FIELD_STRING, name,
                FIELD_LONG, citizen, FIELD_STRING, password, FIELD_STRING, "tests", FIELD_END) == 0;
  Bytes keys;
  ok = ok && link.next(&keys) && keys.size() == 6 && keys[0] == 0 && keys[1] == 22;
  if (ok) {
    stream_set_ciphers(link.stream, kSessionKey, 16, (keys[2] << 8) | keys[3],
                       (keys[4] << 8) | keys[5]);
  }
  Bytes attributes;
  ok = ok && link.next(&attributes) &&
       attributes == Build().byte(0).byte(21).byte(6).string("35").bytes();
  Bytes reply;
  if (ok && link.next(&reply) && reply.size() >= 2 && reply[1] == 20) {
    Read read(reply);
    result.result = read.byte();
    read.byte();
    if (!read.at_end()) {
      result.session = static_cast<std::uint16_t>(read.word());
      result.name = read.string();
      result.login_number = read.long32();
      read.raw(result.check, 4);
    }
  } else {
    ok = false;
  }
  if (expect_ok != nullptr) *expect_ok = ok;
  return result;
}

// The login hash: the table hash of the check bytes and the world name
// padded to eight bytes.
inline std::uint32_t world_login_hash(const std::uint8_t check[4], const std::string& world) {
  std::uint8_t block[12] = {};
  std::memcpy(block, check, 4);
  std::memcpy(block + 4, world.data(), world.size() < 8 ? world.size() : 8);
  return table_hash(block, 12);
}

// Sends the world login of a build-39 world (message 53), with the hash
// given (or the right one).
inline int world_send_login(RawLink& link, const LoginResult& login, const char* world,
                            std::uint32_t hash) {
  return link.send(FIELD_CIPHER, kSessionKey, 16, FIELD_BEGIN, 53, FIELD_STRING, world, FIELD_LONG,
                   login.session, FIELD_LONG, login.login_number, FIELD_WORD, 24, FIELD_RAW4,
                   htonl(INADDR_LOOPBACK), FIELD_WORD_LE, 0, FIELD_LONG, 0x12345678, FIELD_BYTE, 0,
                   FIELD_LONG, hash, FIELD_END);
}

// Enters a build-39 world: login 53, keys 17, attributes 1, then the event
// mask. true when the keys and the attributes came.
inline bool world_enter(RawLink& link, const LoginResult& login, const char* world,
                        std::uint32_t mask = 7, Bytes* attributes = nullptr) {
  if (world_send_login(link, login, world, world_login_hash(login.check, world)) != 0) return false;
  Bytes keys;
  if (!link.next(&keys) || keys.size() != 5 || keys[0] != 17) return false;
  stream_set_ciphers(link.stream, kSessionKey, 16, (keys[1] << 8) | keys[2],
                     (keys[3] << 8) | keys[4]);
  Bytes world_attributes;
  if (!link.next(&world_attributes) || world_attributes.empty() || world_attributes[0] != 1)
    return false;
  if (attributes != nullptr) *attributes = world_attributes;
  return link.send(FIELD_BEGIN, 14, FIELD_LONG, mask, FIELD_END) == 0;
}

// Sends the bot's state (world message 8).
inline int send_state(RawLink& link, int x, int y, int z, int yaw, int type, int gesture) {
  return link.send(FIELD_BEGIN, 8, FIELD_LONG, x, FIELD_LONG, y, FIELD_LONG, z, FIELD_WORD, yaw,
                   FIELD_BYTE, type, FIELD_BYTE, gesture, FIELD_END);
}

}  // namespace server_testing

}  // namespace orbilo
