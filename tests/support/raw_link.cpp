#include "support/raw_link.h"

#include <arpa/inet.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "sdk/hash_table.h"

namespace orbilo {

namespace server_testing {

RawLink::RawLink(TestServer& test, std::uint16_t port)
    : test_(test), peer_(loopback::connect(htons(port))) {}

bool RawLink::send_first(const Bytes& message) {
  Bytes frame = messages::frame(message);
  send_cipher_ = scripted::Rc4(0);
  if (frame.size() > 3) send_cipher_.apply(frame.data() + 3, frame.size() - 3);
  send_keyed_ = true;
  return peer_.send(frame);
}

bool RawLink::send(const Bytes& message) {
  Bytes frame = messages::frame(message);
  if (send_keyed_) send_cipher_.apply(frame.data(), frame.size());
  return peer_.send(frame);
}

void RawLink::key(int receive_discard, int send_discard) {
  receive_cipher_ = scripted::Rc4(receive_discard);
  send_cipher_ = scripted::Rc4(send_discard);
  receive_keyed_ = send_keyed_ = true;
}

bool RawLink::take(Bytes* body) {
  for (;;) {
    if (received_.size() < 2) return false;
    if (receive_keyed_ && !head_deciphered_) receive_cipher_.apply(received_.data(), 2);
    head_deciphered_ = true;
    std::size_t length = (static_cast<std::size_t>(received_[0]) << 8) | received_[1];
    if (received_.size() < 2 + length) return false;
    auto end = received_.begin() + 2 + static_cast<std::ptrdiff_t>(length);
    body->assign(received_.begin() + 2, end);
    if (receive_keyed_) receive_cipher_.apply(body->data(), body->size());
    received_.erase(received_.begin(), end);
    head_deciphered_ = false;
    if (length > 0) return true;  // an empty message is passed over
  }
}

bool RawLink::next(Bytes* body, int timeout_ms) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    if (take(body)) return true;
    if (closed_) return false;
    std::uint8_t chunk[4096];
    ssize_t got = recv(peer_.fd(), chunk, sizeof chunk, MSG_DONTWAIT);
    if (got > 0) {
      received_.insert(received_.end(), chunk, chunk + got);
    } else if (got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
      closed_ = true;
    } else if (std::chrono::steady_clock::now() > end) {
      return false;
    } else {
      test_.pump();
    }
  }
}

bool RawLink::next_starting(std::initializer_list<std::uint8_t> prefix, Bytes* body,
                            int timeout_ms) {
  while (next(body, timeout_ms)) {
    if (body->size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), body->begin()))
      return true;
  }
  return false;
}

bool RawLink::closed(int timeout_ms) {
  Bytes body;
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!closed_ && std::chrono::steady_clock::now() < end) next(&body, 50);
  return closed_;
}

bool RawLink::quiet(int ms) {
  Bytes body;
  return !next(&body, ms) && !closed_;
}

LoginResult universe_login(RawLink& link, const char* name, std::uint32_t citizen,
                           const char* password, bool* expect_ok) {
  LoginResult result;
  bool ok = link.send_first(messages::universe_login(name, citizen, password, "tests"));
  Bytes keys;
  ok = ok && link.next(&keys) && keys.size() == 6 && keys[0] == 0 && keys[1] == 22;
  if (ok) link.key((keys[2] << 8) | keys[3], (keys[4] << 8) | keys[5]);
  Bytes attributes;
  ok = ok && link.next(&attributes) && attributes == messages::universe_attributes({{6, "35"}});
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

std::uint32_t world_login_hash(const std::uint8_t check[4], const std::string& world) {
  std::uint8_t block[12] = {};
  std::memcpy(block, check, 4);
  std::memcpy(block + 4, world.data(), world.size() < 8 ? world.size() : 8);
  return table_hash(block, 12);
}

messages::WorldLogin world_login_of(const LoginResult& login, const char* world,
                                    std::uint32_t hash) {
  return {.world = world,
          .session = login.session,
          .login_number = login.login_number,
          .machine = 0x12345678,
          .hash = hash};
}

bool world_enter(RawLink& link, const LoginResult& login, const char* world, std::uint32_t mask,
                 Bytes* attributes) {
  std::uint32_t hash = world_login_hash(login.check, world);
  if (!link.send_first(messages::world_login(world_login_of(login, world, hash)))) return false;
  Bytes keys;
  if (!link.next(&keys) || keys.size() != 5 || keys[0] != 17) return false;
  link.key((keys[1] << 8) | keys[2], (keys[3] << 8) | keys[4]);
  Bytes world_attributes;
  if (!link.next(&world_attributes) || world_attributes.empty() || world_attributes[0] != 1)
    return false;
  if (attributes != nullptr) *attributes = world_attributes;
  return link.send(messages::event_mask(mask));
}

bool send_state(RawLink& link, int x, int y, int z, int yaw, int type, int gesture) {
  return link.send(
      messages::state({.x = x, .y = y, .z = z, .yaw = yaw, .type = type, .gesture = gesture}));
}

}  // namespace server_testing

}  // namespace orbilo
