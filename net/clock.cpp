// The library clock on CLOCK_MONOTONIC. One monotonic source serves, so the
// reading is simply the elapsed time since clock_init(), plus whatever the test
// hook has added, truncated to 32 bits so that it wraps like every other
// millisecond value of the library.
#include "net/clock.h"

#include <time.h>

namespace {

std::uint64_t clock_base_ms = 0;    // raw reading at clock_init()
std::uint32_t clock_offset_ms = 0;  // added by clock_advance()

std::uint64_t clock_raw_ms() {
  timespec now{};
  // CLOCK_MONOTONIC cannot fail with a valid clock id and a valid pointer.
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::uint64_t>(now.tv_sec) * 1000u +
         static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
}

}  // namespace

void clock_init() {
  clock_base_ms = clock_raw_ms();
  clock_offset_ms = 0;
}

std::uint32_t clock_now() {
  return static_cast<std::uint32_t>(clock_raw_ms() - clock_base_ms) + clock_offset_ms;
}

void clock_advance(std::uint32_t ms) {
  clock_offset_ms += ms;
}
