#include "login_fields.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>

namespace {

std::string too_long(std::size_t limit) {
  return "Please enter no more than " + std::to_string(limit) + " characters.";
}

constexpr const char* kNotAnInteger = "Please enter an integer.";

// An integer control's text: optional blanks, an optional sign, digits, and
// optional blanks; nothing else, and within the range of an int.
bool integer_text(const std::string& text, int* value) {
  std::size_t at = 0;
  while (at < text.size() && text[at] == ' ') ++at;
  std::size_t start = at;
  if (at < text.size() && (text[at] == '-' || text[at] == '+')) ++at;
  std::size_t digits = at;
  while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at]))) ++at;
  if (at == digits) return false;
  std::size_t end = at;
  while (at < text.size() && text[at] == ' ') ++at;
  if (at != text.size()) return false;
  errno = 0;
  long long number = std::strtoll(text.substr(start, end - start).c_str(), nullptr, 10);
  if (errno != 0 || number < INT_MIN || number > INT_MAX) return false;
  *value = static_cast<int>(number);
  return true;
}

bool text_field(const std::string& text, std::size_t limit, std::string* field,
                std::string* message) {
  if (limit > 0 && text.size() > limit) {
    *message = too_long(limit);
    return false;
  }
  *field = text;
  return true;
}

bool integer_field(const std::string& text, int* field, std::string* message) {
  int value = 0;
  if (!integer_text(text, &value)) {
    *message = kNotAnInteger;
    return false;
  }
  *field = value;
  return true;
}

}  // namespace

bool login_fields_read(const ControlTexts& texts, LoginFields* fields, std::string* message) {
  if (!text_field(texts.name, kNameLimit, &fields->Name, message)) return false;
  if (!integer_field(texts.avatar, &fields->Avatar, message)) return false;
  if (!integer_field(texts.citizen, &fields->Citizen, message)) return false;
  if (!text_field(texts.location, 0, &fields->CenterCoords, message)) return false;
  if (!text_field(texts.password, kPasswordLimit, &fields->Password, message)) return false;
  if (!text_field(texts.world, kWorldLimit, &fields->World, message)) return false;
  fields->DisableBotKicking = texts.disable_bot_kicking ? 1 : 0;
  fields->ReturnHome = texts.return_home ? 1 : 0;
  return true;
}

ControlTexts login_fields_texts(const LoginFields& fields) {
  ControlTexts texts;
  texts.name = fields.Name;
  texts.citizen = std::to_string(fields.Citizen);
  texts.password = fields.Password;
  texts.world = fields.World;
  texts.location = fields.CenterCoords;
  texts.avatar = std::to_string(fields.Avatar);
  texts.disable_bot_kicking = fields.DisableBotKicking != 0;
  texts.return_home = fields.ReturnHome != 0;
  return texts;
}
