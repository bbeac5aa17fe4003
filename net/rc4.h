// The stream cipher: RC4 as published. Enciphering and deciphering are the
// same operation. One state belongs to one direction of one stream.
#pragma once

#include <cstddef>
#include <cstdint>

namespace orbilo {

struct Rc4State;

// A new state keyed with key[0..length); nullptr when memory runs out or
// length is not positive.
Rc4State* rc4_create(const std::uint8_t* key, int length);

// Frees a state; nullptr is ignored.
void rc4_destroy(Rc4State* state);

// Discards count keystream bytes; only the low 16 bits of count are used.
void rc4_skip(Rc4State* state, std::uint32_t count);

// The byte combined with the next keystream byte.
std::uint8_t rc4_byte(Rc4State* state, std::uint8_t byte);

// Combines each byte of buffer[0..length) with the keystream, in place.
void rc4_crypt(Rc4State* state, std::uint8_t* buffer, std::size_t length);

}  // namespace orbilo
