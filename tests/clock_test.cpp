#include "net/clock.h"

#include <gtest/gtest.h>
#include <time.h>

using namespace orbilo;

TEST(Clock, StartsNearZeroAndFollowsTheMonotonicSource) {
  clock_init();
  std::uint32_t start = clock_now();
  EXPECT_LT(start, 50u);
  timespec pause{0, 20 * 1000 * 1000};
  nanosleep(&pause, nullptr);
  std::uint32_t later = clock_now();
  EXPECT_GE(later - start, 20u);
  EXPECT_LT(later - start, 2000u);
}

TEST(Clock, AdvanceMovesTheClockUntilTheNextInit) {
  clock_init();
  std::uint32_t start = clock_now();
  clock_advance(20001);
  EXPECT_GE(clock_now() - start, 20001u);
  clock_advance(120000);
  EXPECT_GE(clock_now() - start, 140001u);
  clock_init();
  EXPECT_LT(clock_now(), 50u);
}

TEST(Clock, DifferencesSurviveTheWrap) {
  clock_init();
  clock_advance(0xFFFFFFFFu - 10);  // ten ms before the wrap
  std::uint32_t before = clock_now();
  clock_advance(30);
  std::uint32_t after = clock_now();
  EXPECT_LT(after, before);        // the value wrapped
  EXPECT_GE(after - before, 30u);  // the difference did not
  EXPECT_LT(after - before, 1000u);
  clock_init();
}

namespace {

std::uint64_t source_ms = 0;

std::uint64_t test_source() {
  return source_ms;
}

void pause_ms(long ms) {
  timespec pause{0, ms * 1000 * 1000};
  nanosleep(&pause, nullptr);
}

}  // namespace

// A source of the test's own is followed by its differences; a change of
// source never makes the clock jump.
TEST(Clock, FollowsTheSourceItIsGivenFromWhereItStands) {
  clock_init();
  clock_advance(5000);
  source_ms = 1000000;
  clock_set_source(test_source);
  std::uint32_t start = clock_now();
  EXPECT_GE(start, 5000u);
  EXPECT_LT(start, 5050u);
  source_ms += 250;
  EXPECT_EQ(clock_now(), start + 250);
  clock_set_source(nullptr);
  std::uint32_t back = clock_now();
  EXPECT_GE(back, start + 250);
  EXPECT_LT(back, start + 300);
  clock_init();
}

TEST(Clock, StandsStillButForAdvanceUnderTheStillSource) {
  clock_set_source(clock_still);
  clock_init();
  EXPECT_EQ(clock_now(), 0u);
  pause_ms(20);
  EXPECT_EQ(clock_now(), 0u);
  clock_advance(29999);
  pause_ms(20);
  EXPECT_EQ(clock_now(), 29999u);
  clock_set_source(nullptr);
  pause_ms(20);
  EXPECT_GE(clock_now(), 30019u);  // the monotonic source moves it on again
  clock_init();
}
