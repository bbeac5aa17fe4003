#include "support/scripted_peer.h"

#include <arpa/inet.h>

#include <utility>

namespace orbilo {

namespace scripted {
namespace {

// The session key every link is keyed with, held here apart from the
// library's copy.
constexpr std::uint8_t kKey[16] = {0x9f, 0x2b, 0x39, 0x4a, 0xa9, 0x96, 0x5d, 0x82,
                                   0xc5, 0x7b, 0xd5, 0x1f, 0x64, 0x16, 0x41, 0x5d};

}  // namespace

// ---- Body ------------------------------------------------------------------

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
  return byte(static_cast<int>(bits >> 24))
      .byte(static_cast<int>(bits >> 16))
      .byte(static_cast<int>(bits >> 8))
      .byte(static_cast<int>(bits));
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

// ---- Rc4 -------------------------------------------------------------------

Rc4::Rc4(int discard) {
  for (int k = 0; k < 256; ++k) state_[k] = static_cast<std::uint8_t>(k);
  std::uint8_t j = 0;
  for (int k = 0; k < 256; ++k) {
    j = static_cast<std::uint8_t>(j + state_[k] + kKey[k % 16]);
    std::swap(state_[k], state_[j]);
  }
  for (int k = 0; k < (discard & 0xffff); ++k) next();
}

std::uint8_t Rc4::next() {
  i_ = static_cast<std::uint8_t>(i_ + 1);
  j_ = static_cast<std::uint8_t>(j_ + state_[i_]);
  std::swap(state_[i_], state_[j_]);
  return state_[static_cast<std::uint8_t>(state_[i_] + state_[j_])];
}

void Rc4::apply(std::uint8_t* bytes, std::size_t count) {
  for (std::size_t k = 0; k < count; ++k) bytes[k] ^= next();
}

// ---- Link ------------------------------------------------------------------

std::optional<Message> Link::receive_first(int timeout_ms) {
  Bytes head = peer_.receive(3, timeout_ms);
  if (head.size() != 3) return std::nullopt;
  std::size_t length = (static_cast<std::size_t>(head[0]) << 8) | head[1];
  if (length == 0) return std::nullopt;
  Bytes rest = peer_.receive(length - 1, timeout_ms);
  if (rest.size() != length - 1) return std::nullopt;
  Rc4 first(0);
  first.apply(rest.data(), rest.size());
  return Message{head[2], std::move(rest)};
}

bool Link::send_keys(bool universe, int client_receive_discard, int client_send_discard) {
  Body body;
  if (universe) body.byte(0);
  body.byte(universe ? 22 : 17).word(client_receive_discard).word(client_send_discard);
  keyed_ = false;
  if (!send_frame(body.bytes_)) return false;
  send_cipher_ = Rc4(client_receive_discard);
  receive_cipher_ = Rc4(client_send_discard);
  keyed_ = true;
  return true;
}

std::optional<Message> Link::receive(int timeout_ms) {
  for (;;) {
    Bytes head = peer_.receive(2, timeout_ms);
    if (head.size() != 2) return std::nullopt;
    if (keyed_) receive_cipher_.apply(head.data(), 2);
    std::size_t length = (static_cast<std::size_t>(head[0]) << 8) | head[1];
    if (length == 0) continue;  // an empty message is passed over
    Bytes body = peer_.receive(length, timeout_ms);
    if (body.size() != length) return std::nullopt;
    if (keyed_) receive_cipher_.apply(body.data(), body.size());
    return Message{body[0], Bytes(body.begin() + 1, body.end())};
  }
}

bool Link::send_universe(int result, int id, const Bytes& fields) {
  return send_frame(Body().byte(result).byte(id).bytes(fields).bytes_);
}

bool Link::send_world(int id, const Bytes& fields) {
  return send_frame(Body().byte(id).bytes(fields).bytes_);
}

bool Link::send_raw(const Bytes& bytes, bool encipher) {
  Bytes copy = bytes;
  if (encipher && keyed_) send_cipher_.apply(copy.data(), copy.size());
  return send_bytes(copy);
}

bool Link::send_frame(const Bytes& body) {
  Bytes frame = Body().word(static_cast<int>(body.size())).bytes(body).bytes_;
  return send_raw(frame);
}

bool Link::send_bytes(const Bytes& bytes) {
  if (!bytewise_) return peer_.send(bytes);
  for (std::uint8_t byte : bytes) {
    if (!peer_.send({byte})) return false;
  }
  return true;
}

// ---- Server ----------------------------------------------------------------

int Server::host_port() const {
  return ntohs(listener_.port());
}

Link Server::accept(int timeout_ms) {
  return Link(listener_.accept(timeout_ms));
}

}  // namespace scripted

}  // namespace orbilo
