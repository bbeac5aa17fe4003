#include "app/location.h"

#include <cctype>
#include <charconv>
#include <cmath>

namespace {

constexpr double kLocationScale = 1000.0;
constexpr double kYawScale = 10.0;

bool is_space(char c) {
  return std::isspace(static_cast<unsigned char>(c)) != 0;
}

std::string trim(const std::string& text) {
  std::size_t first = 0, last = text.size();
  while (first < last && is_space(text[first])) ++first;
  while (last > first && is_space(text[last - 1])) --last;
  return text.substr(first, last - first);
}

// The number at the start of token, as a decimal conversion reads it (sign,
// digits, fraction, exponent; it stops at the first character that does not
// fit, so "1e" is 1 and "2.5s" is 2.5), the same in every locale. No digits
// give 0.
double leading_number(const std::string& token) {
  double value = 0;
  std::from_chars(token.data(), token.data() + token.size(), value);
  return value;
}

// A clamped truncation toward zero, so that an absurd number cannot
// overflow the integer it lands in.
int truncate(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483647.0) return 2147483647;
  if (value <= -2147483648.0) return -2147483647 - 1;
  return static_cast<int>(value);
}

void apply_token(const std::string& token, Location& location) {
  char first = token[0];
  if (!std::isdigit(static_cast<unsigned char>(first)) && first != '.' && first != '-') return;
  double number = leading_number(token);
  char suffix = static_cast<char>(std::tolower(static_cast<unsigned char>(token.back())));
  switch (suffix) {
    case 'n':
      location.z = truncate(number * kLocationScale);
      break;
    case 's':
      location.z = truncate(number * -kLocationScale);
      break;
    case 'w':
      location.x = truncate(number * kLocationScale);
      break;
    case 'e':
      location.x = truncate(number * -kLocationScale);
      break;
    case 'a':
      location.y = truncate(number * kLocationScale);
      break;
    default:
      if (std::isdigit(static_cast<unsigned char>(suffix))) {
        location.yaw = truncate(number * kYawScale);
      }
  }
}

}  // namespace

void ParseLocation(const std::string& text, Location& location) {
  std::string rest = trim(text);
  do {
    std::string token;
    std::size_t blank = rest.find(' ');
    if (blank != std::string::npos) {
      token = rest.substr(0, blank);
      rest = rest.substr(blank + 1);
      std::size_t start = 0;
      while (start < rest.size() && is_space(rest[start])) ++start;
      rest.erase(0, start);
    } else {
      token = rest;
      rest.clear();
    }
    if (!token.empty()) apply_token(token, location);
  } while (!rest.empty());
}
