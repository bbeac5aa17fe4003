// The location text: blank-separated tokens such as "0n 0e" or
// "2.5s 10.25w 0.5a 180". A token that begins with a digit, "." or "-" is a
// number with a one-letter suffix, upper or lower case:
//   n: z = number x 1000      s: z = number x -1000
//   w: x = number x 1000      e: x = number x -1000
//   a: y = number x 1000      a digit (no suffix): yaw = number x 10
// Other tokens (a world name, say) are skipped, and a later token for the
// same value overwrites an earlier one.
#pragma once

#include <string>

struct Location {
  int x = 0;    // grows to the west
  int z = 0;    // grows to the north
  int y = 0;    // altitude
  int yaw = 0;  // tenths of a degree, 0 facing north
};

// Overwrites the values of location that text gives; the others keep theirs.
void ParseLocation(const std::string& text, Location& location);
