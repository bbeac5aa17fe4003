#include "support/messages.h"

namespace orbilo {

namespace messages {

// ---- Body and Read ------------------------------------------------------------

Body& Body::byte(int value) {
  bytes_.push_back(static_cast<std::uint8_t>(value));
  return *this;
}

Body& Body::word(int value) {
  return byte(value >> 8).byte(value);
}

Body& Body::word_le(int value) {
  return byte(value).byte(value >> 8);
}

Body& Body::long_(std::int64_t value) {
  auto bits = static_cast<std::uint32_t>(value);
  return word(static_cast<int>(bits >> 16)).word(static_cast<int>(bits & 0xffff));
}

Body& Body::string(std::string_view text) {
  byte(static_cast<int>(text.size()));
  bytes_.insert(bytes_.end(), text.begin(), text.end());
  return *this;
}

Body& Body::long_string(std::string_view text) {
  word(static_cast<int>(text.size()));
  bytes_.insert(bytes_.end(), text.begin(), text.end());
  return *this;
}

Body& Body::data(const Bytes& data) {
  byte(static_cast<int>(data.size()));
  return bytes(data);
}

Body& Body::bytes(const Bytes& data) {
  bytes_.insert(bytes_.end(), data.begin(), data.end());
  return *this;
}

std::string Read::string() {
  int length = byte();
  std::string text;
  for (int k = 0; k < length; ++k) text.push_back(static_cast<char>(byte()));
  return text;
}

void Read::raw(void* out, std::size_t size) {
  auto* bytes = static_cast<std::uint8_t*>(out);
  for (std::size_t k = 0; k < size; ++k) bytes[k] = static_cast<std::uint8_t>(byte());
}

Body entries_fields(int last) {
  Body body = Body().long_(1).byte(0).string("a").long_(2).byte(1).string("b").string("c");
  return body.long_(3).byte(last);
}

Body record_fields(int universe_build, std::array<std::string_view, 4> texts) {
  Body body = Body().string(texts[0]).string(texts[1]).long_(1).long_(2);
  body.string(texts[2]).string(texts[3]).long_(3).long_(4).long_(5);
  if (universe_build >= 35) body.bytes({1, 2, 3, 4}).byte(1).byte(0);
  return body;
}

Body click_details(Body before) {
  before.long_(1).long_(2).word(3).word(4).word(5).word(6).word(7).word(8);
  return before.string("m").string("d").string("a");
}

namespace {

constexpr int kLibraryBuild = 24;

Body from_universe(int id) {
  return Body().byte(0).byte(id);
}

Body with_settings(Body body, Settings settings) {
  for (const auto& [key, value] : settings) body.byte(key).string(value);
  return body;
}

// x, y, z, yaw, type and gesture, as avatar changes and states carry them.
Body& place(Body& body, const Avatar& avatar) {
  body.long_(avatar.x).long_(avatar.y).long_(avatar.z).word(avatar.yaw);
  return body.byte(avatar.type).byte(avatar.gesture);
}

}  // namespace

// ---- From a universe server -------------------------------------------------

Bytes universe_keys(int receive_discard, int send_discard) {
  return from_universe(22).word(receive_discard).word(send_discard).bytes_;
}

Bytes universe_attributes(Settings settings) {
  return with_settings(from_universe(21), settings).bytes_;
}

Bytes login_reply(int build, int session, std::string_view name, std::uint32_t login_number,
                  const std::uint8_t* check) {
  Body body = from_universe(20).word(session).string(name);
  if (build > 22) body.long_(login_number);
  for (int k = 0; build > 34 && k < 4; ++k) body.byte(check != nullptr ? check[k] : 0);
  return body.bytes_;
}

Bytes world_reply(std::string_view name, int port, int world_build, int universe_build, int lookup,
                  int cell_bound) {
  Body body = from_universe(0).string(name).long_(0x7f000001).word(port).word(world_build);
  if (universe_build >= 32) body.word(lookup).word(cell_bound);
  return body.bytes_;
}

Bytes citizen_reply(std::uint32_t citizen, std::string_view name) {
  return from_universe(25).long_(citizen).byte(0).string(name).bytes_;
}

Bytes redirect(int port) {
  return from_universe(18).bytes({127, 0, 0, 1}).word(port).bytes_;
}

Bytes renumber(int session) {
  return from_universe(27).word(session).bytes_;
}

Bytes keep_alive_from_universe() {
  return from_universe(32).bytes_;
}

// ---- From a world server ----------------------------------------------------

Bytes world_keys(int receive_discard, int send_discard) {
  return Body().byte(17).word(receive_discard).word(send_discard).bytes_;
}

Bytes world_attributes(Settings settings) {
  return with_settings(Body().byte(1), settings).bytes_;
}

Bytes avatar_add(const Avatar& avatar) {
  Body body = Body().byte(2).long_(avatar.session).string(avatar.name);
  place(body, avatar).word(avatar.value1).long_(avatar.value2).long_(avatar.value3);
  return body.bytes_;
}

Bytes avatar_add_before_28(const Avatar& avatar) {
  Body body = Body().byte(2).word(avatar.session).string(avatar.name);
  return place(body, avatar).bytes_;
}

Bytes avatar_delete(int session) {
  return Body().byte(3).word(session).bytes_;
}

Bytes avatar_change(const Avatar& avatar) {
  Body body = Body().byte(4).word(avatar.session);
  return place(body, avatar).bytes_;
}

Bytes chat(int session, std::string_view text, int id) {
  return Body().byte(id).word(session).string(text).bytes_;
}

Bytes keep_alive_from_world() {
  return {16};
}

// ---- From a client ----------------------------------------------------------

Bytes universe_login(std::string_view name, std::uint32_t owner, std::string_view password,
                     std::string_view application) {
  return Body()
      .byte(47)
      .long_(kLibraryBuild)
      .string(name)
      .long_(owner)
      .string(password)
      .string(application)
      .bytes_;
}

Bytes world_lookup(std::string_view world) {
  return Body().byte(24).string(world).bytes_;
}

Bytes citizen_lookup(std::uint32_t citizen) {
  return Body().byte(55).long_(citizen).bytes_;
}

Bytes keep_alive_to_universe() {
  return {32};
}

Bytes world_login(const WorldLogin& login) {
  return Body()
      .byte(53)
      .string(login.world)
      .long_(login.session)
      .long_(login.login_number)
      .word(kLibraryBuild)
      .bytes({127, 0, 0, 1})
      .word(login.port)
      .long_(login.machine)
      .byte(login.option)
      .long_(login.hash)
      .bytes_;
}

Bytes world_login_27(const WorldLogin& login) {
  Body body = Body().byte(27).string(login.world).long_(login.session);
  return body.long_(login.login_number).word(kLibraryBuild).bytes_;
}

Bytes world_login_20(const WorldLogin& login, int fixed) {
  Body body = Body().byte(20).string(login.world).word(static_cast<int>(login.session));
  return body.byte(fixed).long_(login.login_number).bytes_;
}

Bytes event_mask(std::uint32_t mask) {
  return Body().byte(14).long_(mask).bytes_;
}

Bytes state(const Avatar& bot) {
  Body body = Body().byte(8);
  return place(body, bot).bytes_;
}

Bytes whisper(int session, std::string_view text) {
  return Body().byte(11).word(session).string(text).bytes_;
}

Bytes keep_alive_to_world() {
  return {6};
}

Bytes frame(const Bytes& message) {
  return Body().word(static_cast<int>(message.size())).bytes(message).bytes_;
}

Bytes fields(const Bytes& message) {
  return message.empty() ? Bytes() : Bytes(message.begin() + 1, message.end());
}

}  // namespace messages

}  // namespace orbilo
