#include "net/rc4.h"

#include <utility>

#include "net/memory.h"

struct Rc4State {
  std::uint8_t i;
  std::uint8_t j;
  std::uint8_t s[256];
};

Rc4State* rc4_create(const std::uint8_t* key, int length) {
  if (key == nullptr || length <= 0) return nullptr;
  auto* state = static_cast<Rc4State*>(mem_alloc(sizeof(Rc4State)));
  if (state == nullptr) return nullptr;
  state->i = 0;
  state->j = 0;
  for (int k = 0; k < 256; ++k) state->s[k] = static_cast<std::uint8_t>(k);
  std::uint8_t j = 0;
  for (int k = 0; k < 256; ++k) {
    j = static_cast<std::uint8_t>(j + state->s[k] + key[k % length]);
    std::swap(state->s[k], state->s[j]);
  }
  return state;
}

void rc4_destroy(Rc4State* state) { mem_free(state); }

std::uint8_t rc4_byte(Rc4State* state, std::uint8_t byte) {
  state->i = static_cast<std::uint8_t>(state->i + 1);
  state->j = static_cast<std::uint8_t>(state->j + state->s[state->i]);
  std::swap(state->s[state->i], state->s[state->j]);
  return byte ^ state->s[static_cast<std::uint8_t>(state->s[state->i] + state->s[state->j])];
}

void rc4_skip(Rc4State* state, std::uint32_t count) {
  for (std::uint32_t n = count & 0xffff; n > 0; --n) rc4_byte(state, 0);
}

void rc4_crypt(Rc4State* state, std::uint8_t* buffer, std::size_t length) {
  for (std::size_t k = 0; k < length; ++k) buffer[k] = rc4_byte(state, buffer[k]);
}
