#include "app/profile_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace {

constexpr mode_t kNewFileMode = 0600;

std::string trim(const std::string& text) {
  std::size_t first = 0, last = text.size();
  while (first < last && std::isspace(static_cast<unsigned char>(text[first]))) ++first;
  while (last > first && std::isspace(static_cast<unsigned char>(text[last - 1]))) --last;
  return text.substr(first, last - first);
}

bool same_name(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t k = 0; k < a.size(); ++k) {
    if (std::tolower(static_cast<unsigned char>(a[k])) !=
        std::tolower(static_cast<unsigned char>(b[k]))) {
      return false;
    }
  }
  return true;
}

// The section a header line names, or false when the line is no header.
bool header_name(const std::string& line, std::string* name) {
  std::string text = trim(line);
  if (text.size() < 2 || text.front() != '[') return false;
  std::size_t close = text.find(']');
  if (close == std::string::npos) return false;
  *name = trim(text.substr(1, close - 1));
  return true;
}

// The key and value of a key line, or false (comments, blanks, garbage).
bool key_line(const std::string& line, std::string* key, std::string* value) {
  std::string text = trim(line);
  if (text.empty() || text[0] == ';' || text[0] == '#') return false;
  std::size_t equals = text.find('=');
  if (equals == std::string::npos) return false;
  *key = trim(text.substr(0, equals));
  *value = trim(text.substr(equals + 1));
  // A value in matching quotes reads without them.
  if (value->size() >= 2 && (value->front() == '"' || value->front() == '\'') &&
      value->back() == value->front()) {
    *value = value->substr(1, value->size() - 2);
  }
  return !key->empty();
}

}  // namespace

ProfileFile::ProfileFile(std::string path) : path_(std::move(path)) {
  std::ifstream in(path_, std::ios::binary);
  if (!in) return;
  std::ostringstream contents;
  contents << in.rdbuf();
  std::string text = contents.str();
  if (text.find("\r\n") != std::string::npos) line_end_ = "\r\n";
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    std::string line = text.substr(start, end == std::string::npos ? end : end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines_.push_back(line);
    if (end == std::string::npos) {
      ends_with_line_end_ = false;
      break;
    }
    start = end + 1;
  }
}

int ProfileFile::Find(const std::string& section, const std::string& key, int* section_end) const {
  *section_end = -1;
  bool inside = false;
  int found = -1;
  for (int index = 0; index < static_cast<int>(lines_.size()); ++index) {
    std::string name, line_key, value;
    if (header_name(lines_[index], &name)) {
      inside = same_name(name, section);
      if (inside && *section_end < 0) *section_end = index + 1;
      continue;
    }
    if (!inside || !key_line(lines_[index], &line_key, &value)) continue;
    *section_end = index + 1;
    if (found < 0 && same_name(line_key, key)) found = index;
  }
  return found;
}

std::string ProfileFile::GetString(const std::string& section, const std::string& key,
                                   const std::string& fallback, std::size_t max_length) const {
  int section_end = 0;
  int index = Find(section, key, &section_end);
  std::string value = fallback;
  if (index >= 0) {
    std::string line_key;
    key_line(lines_[index], &line_key, &value);
  }
  return value.substr(0, max_length);
}

int ProfileFile::DecimalValue(const std::string& text) {
  std::size_t at = 0;
  while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) ++at;
  bool negative = false;
  if (at < text.size() && (text[at] == '-' || text[at] == '+')) negative = text[at++] == '-';
  long long value = 0;
  for (; at < text.size() && std::isdigit(static_cast<unsigned char>(text[at])); ++at) {
    if (value < 100000000000LL) value = value * 10 + (text[at] - '0');
  }
  if (negative) value = -value;
  if (value > 2147483647LL) return 2147483647;
  if (value < -2147483648LL) return -2147483647 - 1;
  return static_cast<int>(value);
}

int ProfileFile::GetInt(const std::string& section, const std::string& key, int fallback,
                        std::size_t max_length) const {
  return DecimalValue(GetString(section, key, std::to_string(fallback), max_length));
}

void ProfileFile::SetString(const std::string& section, const std::string& key,
                            const std::string& value) {
  int section_end = 0;
  int index = Find(section, key, &section_end);
  std::string line = key + "=" + value;
  if (index >= 0) {
    lines_[index] = line;
  } else if (section_end >= 0) {
    lines_.insert(lines_.begin() + section_end, line);
  } else {
    if (!lines_.empty() && !trim(lines_.back()).empty()) lines_.push_back("");
    lines_.push_back("[" + section + "]");
    lines_.push_back(line);
  }
}

bool ProfileFile::Save() const {
  std::string text;
  for (std::size_t index = 0; index < lines_.size(); ++index) {
    text += lines_[index];
    if (index + 1 < lines_.size() || ends_with_line_end_) text += line_end_;
  }
  mode_t mode = kNewFileMode;
  struct stat existing {};
  if (stat(path_.c_str(), &existing) == 0) mode = existing.st_mode & 07777;

  std::string temporary = path_ + ".XXXXXX";
  int fd = mkstemp(temporary.data());
  if (fd < 0) return false;
  bool ok = fchmod(fd, mode) == 0;
  std::size_t written = 0;
  while (ok && written < text.size()) {
    ssize_t count = write(fd, text.data() + written, text.size() - written);
    if (count <= 0)
      ok = false;
    else
      written += static_cast<std::size_t>(count);
  }
  ok = ok && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  ok = ok && rename(temporary.c_str(), path_.c_str()) == 0;
  if (!ok) unlink(temporary.c_str());
  return ok;
}
