// The messages of the universe and world protocols as the tests build them:
// one builder a message, written byte for byte apart from the library's and
// the servers' encoder, so that a mistake there cannot pass both sides. Each
// returns what the message's frame holds: its id, then its fields (the
// messages of a universe server start with their result byte, 0 here). The
// message numbers of the tests are written here and nowhere else.
//
//   link.send(messages::avatar_add({.session = 8, .name = "Kicker", .x = 100}));
//   EXPECT_EQ(state->bytes(), messages::state({.x = 750, .yaw = 900}));
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace orbilo {

namespace messages {

using Bytes = std::vector<std::uint8_t>;

// The fields of a message body, most significant byte first.
struct Body {
  Body& byte(int value);
  Body& word(int value);
  Body& word_le(int value);
  Body& long_(std::int64_t value);
  Body& string(std::string_view text);       // 1 length byte, then the bytes
  Body& long_string(std::string_view text);  // 2 length bytes, then the bytes
  Body& data(const Bytes& bytes);            // 1 length byte, then the bytes
  Body& bytes(const Bytes& bytes);           // as they are
  Bytes bytes_;
};

// Reads fields out of a received body, most significant byte first; ok()
// turns false once a read runs past the end.
class Read {
 public:
  explicit Read(const Bytes& bytes) : bytes_(bytes) {}
  int byte() { return at_ < bytes_.size() ? bytes_[at_++] : (ok_ = false, 0); }
  int word() {
    int high = byte();
    return (high << 8) | byte();
  }
  std::uint32_t long32() {
    auto high = static_cast<std::uint32_t>(word());
    return (high << 16) | static_cast<std::uint32_t>(word());
  }
  std::string string();
  void raw(void* out, std::size_t size);
  bool ok() const { return ok_; }
  bool at_end() const { return at_ == bytes_.size(); }

 private:
  const Bytes& bytes_;
  std::size_t at_ = 0;
  bool ok_ = true;
};

// A world's settings or a universe's attributes: (key, value text) pairs.
using Settings = std::initializer_list<std::pair<int, std::string_view>>;

// An avatar as the world reports it, or the bot's own state.
struct Avatar {
  int session = 0;
  std::string name{};
  int x = 0, y = 0, z = 0;
  int yaw = 0, type = 0, gesture = 0;
  int value1 = 0, value2 = 0, value3 = 0;  // only in the adds of worlds of build 28 on
};

// A world login's fields; the oldest forms carry only the first three.
struct WorldLogin {
  std::string world;
  std::uint32_t session = 0;
  std::uint32_t login_number = 0;
  int port = 0;  // the world's port, host order, carried high byte first
  std::uint32_t machine = 0;
  int option = 0;
  std::uint32_t hash = 0;
};

// ---- From a universe server: result 0, id, fields ---------------------------

Bytes universe_keys(int receive_discard, int send_discard);  // 22: the client's discards
Bytes universe_attributes(Settings settings);                // 21
// 20 as a universe of build sends it: the login number above 22, the four
// check bytes above 34.
Bytes login_reply(int build, int session, std::string_view name, std::uint32_t login_number = 0,
                  const std::uint8_t* check = nullptr);
// 0: the world at 127.0.0.1:port (host order) of world_build; its lookup
// value and cell bound from universe build 32 on.
Bytes world_reply(std::string_view name, int port, int world_build, int universe_build = 35,
                  int lookup = 0, int cell_bound = 0);
Bytes citizen_reply(std::uint32_t citizen, std::string_view name);  // 25
Bytes redirect(int port);                                           // 18: to 127.0.0.1:port
Bytes renumber(int session);                                        // 27
Bytes keep_alive_from_universe();                                   // 32

// 15's fields as the tests send them: 1, 0, "a", 2, 1, "b", "c", 3 (longs,
// bytes and texts in that order), then the byte last.
Body entries_fields(int last);
// 23's fields (a record): two texts, two numbers, two texts, three numbers
// (1 to 5 in turn), then from universe build 35 on four key bytes (1 to 4)
// and two flags (1, 0).
Body record_fields(int universe_build = 35,
                   std::array<std::string_view, 4> texts = {"a", "b", "c", "d"});

// ---- From a world server: id, fields ----------------------------------------

Bytes world_keys(int receive_discard, int send_discard);  // 17: the client's discards
Bytes world_attributes(Settings settings);                // 1
Bytes avatar_add(const Avatar& avatar);                   // 2, worlds of build 28 on
Bytes avatar_add_before_28(const Avatar& avatar);         // 2: a 16-bit session, no values
Bytes avatar_delete(int session);                         // 3
Bytes avatar_change(const Avatar& avatar);                // 4
// 12, or with the same fields 5 and 18 (chat of the types 0, 1 and 2).
Bytes chat(int session, std::string_view text, int id = 12);
Bytes keep_alive_from_world();  // 16

// What worlds of build 39 on add to 19's fields, appended to the fields
// before: two longs and six words, 1 to 8 in turn (the tilt 7), then the
// texts "m", "d" and "a".
Body click_details(Body before);

// ---- From a client: id, fields ----------------------------------------------

// 47 of the library build 24.
Bytes universe_login(std::string_view name, std::uint32_t owner, std::string_view password,
                     std::string_view application = "");
Bytes world_lookup(std::string_view world);     // 24
Bytes citizen_lookup(std::uint32_t citizen);    // 55
Bytes keep_alive_to_universe();                 // 32
Bytes world_login(const WorldLogin& login);     // 53, to worlds of build 39 on
Bytes world_login_27(const WorldLogin& login);  // 27, to builds 28 to 38
// 20, to builds 26 and 27: the session in 16 bits, then a fixed byte.
Bytes world_login_20(const WorldLogin& login, int fixed = 50);
Bytes event_mask(std::uint32_t mask);               // 14
Bytes state(const Avatar& bot);                     // 8: x, y, z, yaw, type, gesture
Bytes whisper(int session, std::string_view text);  // 11
Bytes keep_alive_to_world();                        // 6

// A message framed as it travels: its length in two bytes, then the message.
Bytes frame(const Bytes& message);
// The fields of a world server's message or a client's: what follows the id.
Bytes fields(const Bytes& message);

}  // namespace messages

}  // namespace orbilo
