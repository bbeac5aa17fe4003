// Arbitrary text as the location the user types: ParseLocation must read any
// of it without a fault, and its two forms must agree.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "app/location.h"

namespace {

void check(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "location_fuzz: %s\n", what);
  std::abort();
}

// A value the text cannot give: it is not a multiple of 10.
constexpr int kUnset = -123456789;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  Location fresh = ParseLocation(text);
  check(ParseLocation(text) == fresh, "two readings of one text differ");

  // The overwriting form sets what the text gives and keeps the rest: a value
  // the fresh reading has as non-zero must be set, and a set value must be
  // the fresh one.
  Location kept{kUnset, kUnset, kUnset, kUnset};
  ParseLocation(text, kept);
  const int Location::*fields[] = {&Location::x, &Location::z, &Location::y, &Location::yaw};
  for (const int Location::*field : fields) {
    check(kept.*field == kUnset || kept.*field == fresh.*field,
          "the overwriting form sets a value the fresh reading does not have");
    check(fresh.*field == 0 || kept.*field == fresh.*field,
          "the overwriting form leaves out a value the text gives");
  }

  // White space around the whole text, and blanks between tokens, change
  // nothing.
  std::string padded = " \t" + std::string(text) + "\r\n ";
  check(ParseLocation(padded) == fresh, "white space around the text changes the reading");
  std::string spread;
  for (char c : text) {
    spread += c;
    if (c == ' ') spread += "  ";
  }
  check(ParseLocation(spread) == fresh, "more blanks between tokens change the reading");

  // A last token "0" sets the direction to 0 and nothing else.
  std::string_view trimmed = text;
  while (!trimmed.empty() &&
         std::string_view(" \t\n\v\f\r").find(trimmed.back()) != std::string_view::npos)
    trimmed.remove_suffix(1);
  Location turned = ParseLocation(std::string(trimmed) + " 0");
  check(turned.yaw == 0 && turned.x == fresh.x && turned.z == fresh.z && turned.y == fresh.y,
        "a last token \"0\" does more than set the direction to 0");
  return 0;
}
