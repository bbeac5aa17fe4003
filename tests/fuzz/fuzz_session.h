// What both fuzz targets share: an instance whose link is open to a loopback
// peer and keyed as after the cipher keys, the peer that enciphers the
// fuzzer's bytes as a server would and sends them, and handlers that read
// what they were given.
//
// An input is one byte that chooses the instance's set-up (builds, flags),
// then the plain message stream: length words and bodies as a server sends
// them, before encipherment.
#pragma once

#include <cstddef>
#include <cstdint>

namespace orbilo {

namespace fuzz {

// The keystream the peer skips before its first byte; the library's receive
// cipher skips as many.
inline constexpr int kReceiveDiscard = 300;

// Feeds the input to a fresh instance on its universe link (world false) or
// its world link (world true), runs the pump until the bytes are used up,
// and destroys the instance; 0, the fuzzer's answer for every input. The
// library and the loopback listener are started once, by the fuzzer's
// initialize hook that the session's code defines.
int run(const std::uint8_t* data, std::size_t size, bool world);

// Builds of the set-up byte's choice.
inline constexpr int kUniverseBuilds[] = {20, 23, 31, 32, 35};
inline constexpr int kWorldBuilds[] = {26, 27, 28, 38, 39};

}  // namespace fuzz

}  // namespace orbilo
