// The location text: where the bot stands, as the user types it.
//
// A location is a line of blank-separated tokens, such as "0n 0e" or
// "2.5s 10.25w 0.5a 180". A token that begins with a digit, "." or "-" is a
// decimal number (sign, digits, fraction, exponent; the number ends at the
// first character that does not fit) and its last character says what it
// sets, in upper or lower case:
//
//   ends in    sets   to
//   n          z      number x 1000      (north)
//   s          z      number x -1000     (south)
//   w          x      number x 1000      (west)
//   e          x      number x -1000     (east)
//   a          y      number x 1000      (altitude)
//   a digit    yaw    number x 10        (degrees, to tenths of a degree)
//
// Any other last character sets nothing, and a token that begins with any
// other character (a world name, say) is skipped. A later token for the same
// value overwrites an earlier one. Values are computed in double precision
// and truncated toward zero; a token whose value does not fit in an int sets
// nothing. Only the blank (the space character) separates tokens; white
// space around the whole text, and after each blank, is ignored.
//
// x grows to the west, z to the north, y upwards, in world units; yaw is in
// tenths of a degree, 0 facing north and 900 facing west.
#pragma once

#include <string_view>

struct Location {
  int x = 0;
  int z = 0;
  int y = 0;
  int yaw = 0;

  bool operator==(const Location&) const = default;
};

// The values the text gives, with 0 for those it does not; a text with no
// usable token gives all four 0.
Location ParseLocation(std::string_view text);

// Overwrites the values of location that the text gives; the others keep
// theirs.
void ParseLocation(std::string_view text, Location& location);
