// The library clock: milliseconds on a monotonic source, as an unsigned 32-bit
// value that starts near 0 at clock_init() and wraps. Compare only differences.
#pragma once

#include <cstdint>

void clock_init();
std::uint32_t clock_now();

// Test hook: moves the clock forward by ms, so that time-outs can be tested
// without waiting. The offset stays until clock_init().
void clock_advance(std::uint32_t ms);
