// The library clock on CLOCK_MONOTONIC, or on the source a test gave it. The
// reading is the time that the source has moved since clock_init() (or since
// the source was changed), plus the offset, truncated to 32 bits so that it
// wraps like every other millisecond value of the library.
#include "net/clock.h"

#include <time.h>

namespace orbilo {

namespace {

std::uint64_t monotonic_ms() {
  timespec now{};
  // CLOCK_MONOTONIC cannot fail with a valid clock id and a valid pointer.
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::uint64_t>(now.tv_sec) * 1000u +
         static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
}

ClockSource clock_source = monotonic_ms;
std::uint64_t clock_base_ms = 0;  // the source's reading at clock_init() or at its change
// What clock_advance() added, and the value shown when the source changed.
std::uint32_t clock_offset_ms = 0;

}  // namespace

void clock_init() {
  clock_base_ms = clock_source();
  clock_offset_ms = 0;
}

std::uint32_t clock_now() {
  return static_cast<std::uint32_t>(clock_source() - clock_base_ms) + clock_offset_ms;
}

void clock_advance(std::uint32_t ms) {
  clock_offset_ms += ms;
}

void clock_set_source(ClockSource source) {
  std::uint32_t shown = clock_now();
  clock_source = source != nullptr ? source : monotonic_ms;
  clock_base_ms = clock_source();
  clock_offset_ms = shown;
}

std::uint64_t clock_still() {
  return 0;
}

}  // namespace orbilo
