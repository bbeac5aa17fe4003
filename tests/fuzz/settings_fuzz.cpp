// Arbitrary bytes as the settings file: the bot reads every key it reads at
// start, writes its "Main" keys back as at the end of a run, and reads again.
// Aborts when
// - a value read is longer than its key allows, or holds a NUL byte;
// - the write fails, or leaves a temporary file beside the settings file;
// - a line of the file that is not one of the bot's "Main" keys changes,
//   moves or goes (a line end may only be added to a last line without one),
//   or a byte order mark at its start goes;
// - the second reading differs from what was written, or the server
//   sections read differently;
// - writing the same settings again changes the file.
// The file lives in a private directory of its own, removed at exit.
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "app/settings.h"
#include "support/scratch_directory.h"

namespace {

std::string directory;
std::string path;

void check(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "settings_fuzz: %s\n", what);
  std::abort();
}

bool write_file(const std::uint8_t* data, std::size_t size) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  bool ok = size == 0 || write(fd, data, size) == static_cast<ssize_t>(size);
  return close(fd) == 0 && ok;
}

std::string read_file() {
  std::string content;
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  check(fd >= 0, "the settings file cannot be opened after the write");
  char buffer[8192];
  ssize_t got;
  while ((got = read(fd, buffer, sizeof buffer)) > 0)
    content.append(buffer, static_cast<std::size_t>(got));
  close(fd);
  return content;
}

// The names in the directory besides "." and "..".
std::vector<std::string> entries() {
  std::vector<std::string> names;
  DIR* listing = opendir(directory.c_str());
  check(listing != nullptr, "the private directory is gone");
  while (dirent* entry = readdir(listing)) {
    std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  closedir(listing);
  return names;
}

// The file's lines, each with its line feed (the last may have none).
std::vector<std::string> lines_of(const std::string& content) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < content.size()) {
    std::size_t newline = content.find('\n', start);
    std::size_t end = newline == std::string::npos ? content.size() : newline + 1;
    lines.push_back(content.substr(start, end - start));
    start = end;
  }
  return lines;
}

// A line's end: "\r\n", "\n" or none.
std::string_view end_of(std::string_view line) {
  if (line.size() >= 2 && line.substr(line.size() - 2) == "\r\n")
    return line.substr(line.size() - 2);
  if (!line.empty() && line.back() == '\n') return line.substr(line.size() - 1);
  return {};
}

std::string_view text_of(std::string_view line) {
  return line.substr(0, line.size() - end_of(line).size());
}

constexpr const char* kMainKeys[] = {"Citizen", "Avatar", "Password",          "CenterCoords",
                                     "World",   "Name",   "DisableBotKicking", "ReturnHome"};

bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool equal_no_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t k = 0; k < a.size(); ++k) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(a[k]) != lower(b[k])) return false;
  }
  return true;
}

bool is_main_key(std::string_view key) {
  while (!key.empty() && is_space(key.front())) key.remove_prefix(1);
  while (!key.empty() && is_space(key.back())) key.remove_suffix(1);
  for (const char* name : kMainKeys) {
    if (equal_no_case(key, name)) return true;
  }
  return false;
}

// A line the write may add: the section header, or one of the keys as the
// bot names them.
bool added_line(std::string_view line) {
  std::string_view text = text_of(line);
  if (text == "[Main]") return true;
  std::size_t equals = text.find('=');
  if (equals == std::string_view::npos) return false;
  for (const char* name : kMainKeys) {
    if (text.substr(0, equals) == name) return true;
  }
  return false;
}

// The new form of a key line of the bot's: the same bytes up to and
// including its "=", any value, the same line end (or one that the last
// line gained).
bool rewritten(std::string_view before, std::string_view after, bool last) {
  std::string_view text = text_of(before);
  std::size_t equals = text.find('=');
  if (equals == std::string_view::npos || !is_main_key(text.substr(0, equals))) return false;
  if (after.substr(0, equals + 1) != text.substr(0, equals + 1)) return false;
  if (text_of(after).find('\n') != std::string_view::npos) return false;
  std::string_view end = end_of(before);
  return end_of(after) == end || (last && end.empty());
}

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool starts_with_mark(const std::string& content) {
  return content.compare(0, kByteOrderMark.size(), kByteOrderMark) == 0;
}

// Every line of before is in after, in order and with its bytes, but for the
// bot's own key lines; every line of after that is not is one the bot adds.
// A UTF-8 byte order mark at the start is not part of the first line: it
// stays at the start, before whatever the bot writes there.
void check_lines_kept(std::string before_content, std::string after_content) {
  if (starts_with_mark(before_content)) {
    check(starts_with_mark(after_content), "the byte order mark was lost");
    before_content.erase(0, kByteOrderMark.size());
    after_content.erase(0, kByteOrderMark.size());
  }
  std::vector<std::string> before = lines_of(before_content);
  std::vector<std::string> after = lines_of(after_content);
  std::size_t j = 0;
  for (std::size_t i = 0; i < before.size(); ++i) {
    bool last = i + 1 == before.size();
    bool open_last = last && end_of(before[i]).empty();
    for (;;) {
      check(j < after.size(), "a line of the file was lost");
      const std::string& line = after[j];
      if (line == before[i] ||
          (open_last && (line == before[i] + "\n" || line == before[i] + "\r\n")) ||
          rewritten(before[i], line, last)) {
        ++j;
        break;
      }
      check(added_line(line), "a line of the file changed, or an unknown line was added");
      ++j;
    }
  }
  for (; j < after.size(); ++j) check(added_line(after[j]), "an unknown line was added at the end");
}

// The value as a later reading gives it: writing ends it at its first line
// break.
std::string as_written(const std::string& value) {
  return value.substr(0, value.find_first_of(std::string_view("\r\n\0", 3)));
}

void check_value(const std::string& value, std::size_t limit) {
  check(value.size() <= limit, "a value is longer than its key allows");
  check(value.find('\0') == std::string::npos, "a value holds a NUL byte");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // A memory file system where there is one, so that the writes' flushes
  // cost nothing.
  std::string base = access("/dev/shm", W_OK | X_OK) == 0 ? "/dev/shm" : "/tmp";
  if (const char* tmp = std::getenv("TMPDIR"); tmp != nullptr && base == "/tmp" && *tmp != '\0')
    base = tmp;
  static orbilo::ScratchDirectory scratch(base);
  check(scratch.ok(), "cannot make a private directory");
  directory = scratch.path();
  path = scratch.path("orbilo.ini");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  check(write_file(data, size), "cannot write the input file");
  std::string original(reinterpret_cast<const char*>(data), size);

  LoginFields fields;
  ServerSettings servers;
  settings_load(path, &fields, &servers);
  check_value(fields.Name, kNameReadLength);
  check_value(fields.Password, kPasswordReadLength);
  check_value(fields.World, kWorldReadLength);
  check_value(fields.CenterCoords, kCenterCoordsReadLength);
  check_value(servers.UniverseHost, kHostReadLength);
  check_value(servers.VersionHost, kHostReadLength);

  check(settings_save(path, fields), "the settings could not be written");
  check(entries() == std::vector<std::string>{"orbilo.ini"},
        "the write left another file in the directory");
  std::string written = read_file();
  check_lines_kept(original, written);

  LoginFields again;
  ServerSettings servers_again;
  settings_load(path, &again, &servers_again);
  LoginFields expected = fields;
  for (std::string* value :
       {&expected.Name, &expected.Password, &expected.World, &expected.CenterCoords})
    *value = as_written(*value);
  check(again == expected, "the settings read back differ from those written");
  check(servers_again == servers, "the server sections read differently after the write");

  check(settings_save(path, again), "the settings could not be written a second time");
  check(read_file() == written, "writing the same settings again changed the file");

  unlink(path.c_str());
  return 0;
}
