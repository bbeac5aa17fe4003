// The location text parser.
#include "location.h"

#include <charconv>
#include <cmath>
#include <cstddef>
#include <system_error>

namespace {

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

std::string_view TrimStart(std::string_view text) {
  while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
  return text;
}

// The decimal number at the start of text, read as far as it fits: an
// optional "-", digits with an optional fraction, an optional exponent.
// Text with no digits there reads as 0. Independent of the C locale, so a
// front end that sets one cannot change what "2.5" means. False when the
// number is too large for a double.
bool ReadNumber(std::string_view text, double* number) {
  std::size_t end = 0;
  if (end < text.size() && text[end] == '-') ++end;
  std::size_t integer_digits = 0;
  std::size_t leading_zeros = 0;  // of the integer part, or after "." when it is 0
  std::size_t digits = 0;
  bool nonzero = false;
  for (; end < text.size() && IsDigit(text[end]); ++end, ++digits, ++integer_digits) {
    nonzero = nonzero || text[end] != '0';
    if (!nonzero) ++leading_zeros;
  }
  if (end < text.size() && text[end] == '.') {
    for (++end; end < text.size() && IsDigit(text[end]); ++end, ++digits) {
      nonzero = nonzero || text[end] != '0';
      if (!nonzero) ++leading_zeros;
    }
  }
  *number = 0.0;
  if (digits == 0) return true;
  long exponent = 0;
  if (end < text.size() && (text[end] == 'e' || text[end] == 'E')) {
    std::size_t at = end + 1;
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
    if (at < text.size() && IsDigit(text[at])) {
      for (; at < text.size() && IsDigit(text[at]); ++at) {
        if (exponent < 100000) exponent = exponent * 10 + (text[at] - '0');
      }
      if (negative) exponent = -exponent;
      end = at;
    }
  }
  auto [rest, error] = std::from_chars(text.data(), text.data() + end, *number);
  (void)rest;
  if (error == std::errc()) return true;
  if (error != std::errc::result_out_of_range) return false;
  // Beyond a double's range: above it when the first significant digit
  // stands before the point (after the exponent), below it otherwise.
  long magnitude = exponent + static_cast<long>(integer_digits) - static_cast<long>(leading_zeros);
  *number = 0.0;
  return magnitude <= 0;
}

// number x scale truncated toward zero, or false when it does not fit.
bool Scale(double number, double scale, int* value) {
  double scaled = std::trunc(number * scale);
  if (!(scaled >= -2147483648.0 && scaled <= 2147483647.0)) return false;
  *value = static_cast<int>(scaled);
  return true;
}

// What a token's last letter sets, and the scale of its number.
struct Unit {
  char letter;
  int Location::*value;
  double scale;
};

constexpr Unit kUnits[] = {
    {'n', &Location::z, 1000.0},   // north
    {'s', &Location::z, -1000.0},  // south
    {'w', &Location::x, 1000.0},   // west
    {'e', &Location::x, -1000.0},  // east
    {'a', &Location::y, 1000.0},   // altitude
};

void ApplyToken(std::string_view token, Location& location) {
  if (token.empty()) return;
  char first = token.front();
  if (!IsDigit(first) && first != '.' && first != '-') return;
  double number = 0.0;
  if (!ReadNumber(token, &number)) return;
  char last = token.back();
  if (last >= 'A' && last <= 'Z') last = static_cast<char>(last - 'A' + 'a');
  int value = 0;
  if (IsDigit(last)) {
    if (Scale(number, 10.0, &value)) location.yaw = value;  // degrees, to tenths
    return;
  }
  for (const Unit& unit : kUnits) {
    if (unit.letter == last && Scale(number, unit.scale, &value)) location.*unit.value = value;
  }
}

}  // namespace

void ParseLocation(std::string_view text, Location& location) {
  std::string_view rest = TrimStart(text);
  while (!rest.empty() && IsSpace(rest.back())) rest.remove_suffix(1);
  do {
    std::size_t blank = rest.find(' ');
    std::string_view token = rest.substr(0, blank);
    rest = blank == rest.npos ? std::string_view() : TrimStart(rest.substr(blank + 1));
    ApplyToken(token, location);
  } while (!rest.empty());
}

Location ParseLocation(std::string_view text) {
  Location location;
  ParseLocation(text, location);
  return location;
}
