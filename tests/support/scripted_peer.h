// Scripted universe and world servers for the session tests: the server end
// of a library link on loopback. A peer reads what the library sends and
// deciphers it with RC4 states of its own (not the library's codec), so that
// a fault in the codec cannot hide itself, and it sends the bytes a test
// scripts, enciphered as a server would.
//
//   scripted::Server universe;                       // 127.0.0.1, port from the OS
//   api_create("127.0.0.1", universe.host_port(), nullptr);
//   scripted::Link link = universe.accept();
//   auto login = link.receive_first();               // message 47, deciphered
//   link.send_keys(true, 5, 7);                      // universe message 22, then keyed
//   link.send(messages::login_reply(35, 77, "Ball", 9, check));
#pragma once

#include <cstdint>
#include <optional>

#include "support/loopback.h"
#include "support/messages.h"

namespace orbilo {

namespace scripted {

using messages::Body;
using messages::Bytes;

// A message from the library: its id and the bytes after it.
struct Message {
  int id = -1;
  Bytes body;
  // The id and the body, as the frame held them and the builders build them.
  Bytes bytes() const;
};

// The plain RC4 generator of the tests, one byte at a time, kept apart from
// the library's and from the keystream it makes ahead.
class Rc4 {
 public:
  Rc4() = default;
  // Keyed with the session key (a copy of its own), with the low 16 bits of
  // discard keystream bytes thrown away.
  explicit Rc4(int discard);
  explicit Rc4(const Bytes& key);
  std::uint8_t next();
  void apply(std::uint8_t* bytes, std::size_t count);
  // The bytes, enciphered from the one at from on.
  Bytes apply(Bytes bytes, std::size_t from = 0);

 private:
  std::uint8_t state_[256] = {};
  std::uint8_t i_ = 0, j_ = 0;
};

class Link {
 public:
  Link() = default;
  explicit Link(loopback::Peer peer) : peer_(std::move(peer)) {}

  bool valid() const { return peer_.valid(); }

  // The client's first message: its length and id plain, the rest deciphered
  // with a freshly keyed state.
  std::optional<Message> receive_first(int timeout_ms = loopback::kTimeoutMs);
  // Sends the cipher keys plainly (universe: result 0, id 22; world: id 17)
  // with the client's receive and send discards, then keys both directions.
  bool send_keys(bool universe, int client_receive_discard, int client_send_discard);
  // The next message, deciphered once the keys went out; nullopt on time-out
  // or close.
  std::optional<Message> receive(int timeout_ms = loopback::kTimeoutMs);
  // The next message with id, passing over up to 20 others (keep-alives,
  // event masks, states); nullopt when none comes.
  std::optional<Message> receive_id(int id);
  // A message as a builder of messages.h gives it, framed and enciphered
  // once keyed; or a universe message (result byte, id, fields) or a world
  // message (id, fields) put together here.
  bool send(const Bytes& message);
  bool send_universe(int result, int id, const Bytes& fields);
  bool send_world(int id, const Bytes& fields);
  // Bytes as they are, after enciphering them when keyed (encipher false:
  // untouched, for garbage).
  bool send_raw(const Bytes& bytes, bool encipher = true);
  // When set, every send goes out one byte at a time.
  void set_bytewise(bool bytewise) { bytewise_ = bytewise; }

  bool quiet(int wait_ms = 50) { return peer_.quiet(wait_ms); }
  bool closed(int timeout_ms = loopback::kTimeoutMs) { return peer_.closed(timeout_ms); }
  void close() { peer_.close(); }
  void reset() { peer_.reset(); }
  loopback::Peer& peer() { return peer_; }

 private:
  bool send_bytes(const Bytes& bytes);

  loopback::Peer peer_;
  bool keyed_ = false;
  bool bytewise_ = false;
  Rc4 receive_cipher_;
  Rc4 send_cipher_;
};

class Server {
 public:
  Server() = default;
  bool ok() const { return listener_.ok(); }
  std::uint16_t port() const { return listener_.port(); }  // network order
  int host_port() const;                                   // for api_create
  Link accept(int timeout_ms = loopback::kTimeoutMs);
  void close() { listener_.close(); }

 private:
  loopback::Listener listener_;
};

}  // namespace scripted

}  // namespace orbilo
