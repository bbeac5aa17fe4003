// The location text: each token's value, skipped and overwritten tokens,
// blanks, truncation, and numbers that do not fit.
#include "app/location.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

TEST(ParseLocation, TokensSetTheirValues) {
  struct Case {
    const char* text;
    Location expected;  // x, z, y, yaw
  };
  const Case cases[] = {
      {"0n 0e", {0, 0, 0, 0}},
      {"1.5N 2W 0.25a 90", {2000, 1500, 250, 900}},
      {"3s 4e", {-4000, -3000, 0, 0}},
      {"2.5s 10.25w 0.5a 180", {10250, -2500, 500, 1800}},
      {"1.2345n", {0, 1234, 0, 0}},
      {"-1.2345n", {0, -1234, 0, 0}},
      {"myworld 1n 1e", {-1000, 1000, 0, 0}},
      {"1n 2n", {0, 2000, 0, 0}},
      {"1x", {0, 0, 0, 0}},
      {"  1n    1e  ", {-1000, 1000, 0, 0}},
      {"", {0, 0, 0, 0}},
      {" \t ", {0, 0, 0, 0}},
      {"1n\t1e", {-1000, 0, 0, 0}},  // only the blank separates: one token ending in e
      {"1e 2e3n -.5A 5.w", {5000, 2000000, -500, 0}},
      {"+5n 0x10s", {0, 0, 0, 0}},  // no "+" start, no hexadecimal
      {"-4.5 45", {0, 0, 0, 450}},
      {"2147483.647n -2147483.648s", {0, INT_MAX, 0, 0}},
      {"2147483.648s", {0, INT_MIN, 0, 0}},
  };
  for (const Case& each : cases) EXPECT_EQ(ParseLocation(each.text), each.expected) << each.text;
}

TEST(ParseLocation, OverwritesOnlyWhatTheTextGives) {
  Location location{1, 2, 3, 4};
  ParseLocation("world 7a", location);
  EXPECT_EQ(location, (Location{1, 2, 7000, 4}));
  ParseLocation("-n 1e-999w", location);  // no digits, and too small: both read as 0
  EXPECT_EQ(location, (Location{0, 0, 7000, 4}));
  // Values that do not fit in an int set nothing.
  ParseLocation("3000000n 1e999w -1e400a 1e308", location);
  EXPECT_EQ(location, (Location{0, 0, 7000, 4}));
}

}  // namespace
