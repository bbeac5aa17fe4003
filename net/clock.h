// The library clock: milliseconds on a monotonic source, as an unsigned 32-bit
// value that starts near 0 at clock_init() and wraps. Compare only differences.
#pragma once

#include <cstdint>

namespace orbilo {

void clock_init();
std::uint32_t clock_now();

// Test hook: moves the clock forward by ms, so that time-outs can be tested
// without waiting. The offset stays until clock_init().
void clock_advance(std::uint32_t ms);

// Test hook: where the clock reads its milliseconds (nullptr: CLOCK_MONOTONIC).
// The clock goes on from the value it shows, so a change of source never makes
// it jump.
using ClockSource = std::uint64_t (*)();
void clock_set_source(ClockSource source);

// A source that never moves. Under it the clock stands still but for
// clock_advance, so that a test which moves the clock knows to the millisecond
// what it shows, however slowly the test runs.
std::uint64_t clock_still();

}  // namespace orbilo
