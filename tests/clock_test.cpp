#include "net/clock.h"

#include <gtest/gtest.h>
#include <time.h>

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
