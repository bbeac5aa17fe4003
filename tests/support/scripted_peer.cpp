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

Bytes Message::bytes() const {
  return Body().byte(id).bytes(body).bytes_;
}

// ---- Rc4 -------------------------------------------------------------------

Rc4::Rc4(int discard) : Rc4(Bytes(kKey, kKey + 16)) {
  for (int k = 0; k < (discard & 0xffff); ++k) next();
}

Rc4::Rc4(const Bytes& key) {
  for (int k = 0; k < 256; ++k) state_[k] = static_cast<std::uint8_t>(k);
  std::uint8_t j = 0;
  for (std::size_t k = 0; k < 256; ++k) {
    j = static_cast<std::uint8_t>(j + state_[k] + key[k % key.size()]);
    std::swap(state_[k], state_[j]);
  }
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

Bytes Rc4::apply(Bytes bytes, std::size_t from) {
  if (from < bytes.size()) apply(bytes.data() + from, bytes.size() - from);
  return bytes;
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
  keyed_ = false;
  if (!send(universe ? messages::universe_keys(client_receive_discard, client_send_discard)
                     : messages::world_keys(client_receive_discard, client_send_discard)))
    return false;
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

std::optional<Message> Link::receive_id(int id) {
  for (int count = 0; count < 20; ++count) {
    auto message = receive();
    if (!message.has_value() || message->id == id) return message;
  }
  return std::nullopt;
}

bool Link::send(const Bytes& message) {
  return send_raw(messages::frame(message));
}

bool Link::send_universe(int result, int id, const Bytes& fields) {
  return send(Body().byte(result).byte(id).bytes(fields).bytes_);
}

bool Link::send_world(int id, const Bytes& fields) {
  return send(Body().byte(id).bytes(fields).bytes_);
}

bool Link::send_raw(const Bytes& bytes, bool encipher) {
  Bytes copy = bytes;
  if (encipher && keyed_) send_cipher_.apply(copy.data(), copy.size());
  return send_bytes(copy);
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
