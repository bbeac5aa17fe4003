#include "location_text.h"

#include <charconv>
#include <cmath>

namespace {

unsigned long long magnitude_of(long long value) {
  return value < 0 ? 0ull - static_cast<unsigned long long>(value)
                   : static_cast<unsigned long long>(value);
}

// magnitude / scale, with the fraction's digits after a point, trailing
// zeros dropped ("1.5", "2"); scale is 10 or 1000. The location text is read
// by multiplying the decimal by the scale and cutting the fraction off: where
// the decimal's nearest double lies just below the value, that would read a
// unit short, so a 5 one place further on makes it read as written.
std::string decimal(unsigned long long magnitude, unsigned long long scale) {
  std::string text = std::to_string(magnitude / scale);
  unsigned long long part = magnitude % scale;
  if (part == 0) return text;
  std::string fraction = std::to_string(part + scale);  // the leading 1 keeps the zeros
  fraction.erase(0, 1);
  while (fraction.back() == '0') fraction.pop_back();
  text.push_back('.');
  text.append(fraction);
  double read = 0;
  std::from_chars(text.data(), text.data() + text.size(), read);
  if (std::trunc(read * static_cast<double>(scale)) < static_cast<double>(magnitude)) {
    text.append(std::string(std::to_string(scale).size() - 1 - fraction.size(), '0') + "5");
  }
  return text;
}

}  // namespace

std::string CoordinateText(long long value, char positive, char negative, char zero_letter) {
  std::string text = decimal(magnitude_of(value), 1000);
  text.push_back(value > 0 ? positive : value < 0 ? negative : zero_letter);
  return text;
}

std::string NorthSouthText(long long z) {
  return CoordinateText(z, 'n', 's', 'n');
}

std::string EastWestText(long long x) {
  return CoordinateText(x, 'w', 'e', 'e');
}

std::string LocationText(const Location& location) {
  std::string text = NorthSouthText(location.z);
  text.push_back(' ');
  text.append(EastWestText(location.x));
  if (location.y != 0) {
    text.append(location.y < 0 ? " -" : " ");
    text.append(decimal(magnitude_of(location.y), 1000));
    text.push_back('a');
  }
  if (location.yaw != 0) {
    text.append(location.yaw < 0 ? " -" : " ");
    text.append(decimal(magnitude_of(location.yaw), 10));
  }
  return text;
}
