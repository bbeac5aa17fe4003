// Profile files: reading, editing in memory, and the atomic write.
#include "profile_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <new>
#include <utility>

namespace {

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

char ToLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (ToLower(a[i]) != ToLower(b[i])) return false;
  }
  return true;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
  return text;
}

// A line break or NUL byte: what ends a value, and what no name may hold.
constexpr std::string_view kBreaks("\r\n\0", 3);

// The name of a section header line ("[name]"), or false.
bool SectionName(std::string_view line, std::string_view* name) {
  line = Trim(line);
  if (line.empty() || line.front() != '[') return false;
  std::size_t close = line.find(']');
  if (close == line.npos) return false;
  *name = Trim(line.substr(1, close - 1));
  return true;
}

// The key of a "key=value" line, with the position of its "=", or false.
bool KeyOf(std::string_view line, std::string_view* key, std::size_t* equals) {
  std::string_view trimmed = Trim(line);
  if (trimmed.empty() || trimmed.front() == ';' || trimmed.front() == '[') return false;
  std::size_t at = line.find('=');
  if (at == line.npos) return false;
  *key = Trim(line.substr(0, at));
  *equals = at;
  return !key->empty();
}

// What a line is to the lookups: a section header with its name, a key line
// with its key, or neither.
struct LineRole {
  enum Kind { kOther, kSection, kKey } kind = kOther;
  std::string_view name;
};

LineRole RoleOf(std::string_view text) {
  LineRole role;
  std::size_t equals = 0;
  if (SectionName(text, &role.name)) {
    role.kind = LineRole::kSection;
  } else if (KeyOf(text, &role.name, &equals)) {
    role.kind = LineRole::kKey;
  }
  return role;
}

bool IsQuote(char c) {
  return c == '"' || c == '\'';
}

// The value as it is written after "=": quoted when it would not read back
// as itself otherwise.
std::string EncodeValue(std::string_view value) {
  bool quote = !value.empty() &&
               (IsSpace(value.front()) || IsSpace(value.back()) ||
                (value.size() >= 2 && IsQuote(value.front()) && value.back() == value.front()));
  if (!quote) return std::string(value);
  std::string text;
  text.reserve(value.size() + 2);
  text += '"';
  text += value;
  text += '"';
  return text;
}

enum class ReadStatus { kRead, kMissing, kUnreadable };

// Reads a regular file of at most limit bytes. A pipe or device is refused
// before any read, so that nothing blocks.
ReadStatus ReadFile(const std::string& path, std::size_t limit, std::string* content) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0)
    return (errno == ENOENT || errno == ENOTDIR) ? ReadStatus::kMissing : ReadStatus::kUnreadable;
  ReadStatus status = ReadStatus::kUnreadable;
  struct stat info;
  if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
      static_cast<unsigned long long>(info.st_size) <= limit) {
    char buffer[65536];
    status = ReadStatus::kRead;
    for (;;) {
      ssize_t got = read(fd, buffer, sizeof buffer);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0 || content->size() + static_cast<std::size_t>(got) > limit) {
        status = ReadStatus::kUnreadable;
        break;
      }
      if (got == 0) break;
      content->append(buffer, static_cast<std::size_t>(got));
    }
  }
  close(fd);
  if (status != ReadStatus::kRead) content->clear();
  return status;
}

bool WriteAll(int fd, const std::string& data) {
  std::size_t done = 0;
  while (done < data.size()) {
    ssize_t wrote = write(fd, data.data() + done, data.size() - done);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) return false;
    done += static_cast<std::size_t>(wrote);
  }
  return true;
}

// Writes data over the existing file at target in place, keeping its inode,
// owner, mode and links.
bool WriteInPlace(const std::string& target, const std::string& data) {
  int fd = open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return false;
  bool ok =
      WriteAll(fd, data) && ftruncate(fd, static_cast<off_t>(data.size())) == 0 && fsync(fd) == 0;
  return close(fd) == 0 && ok;
}

// Writes data to a temporary file in directory, flushed and given mode, then
// renames it over target. False, with nothing left behind, when the
// temporary file cannot be made (*made is then false) or the rename fails.
bool ReplaceAtomically(const std::string& target, const std::string& directory,
                       const std::string& base, mode_t mode, const std::string& data, bool* made) {
  std::string temporary = directory + "/." + base.substr(0, 64) + ".XXXXXX";
  int fd = mkostemp(temporary.data(), O_CLOEXEC);
  *made = fd >= 0;
  if (fd < 0) return false;
  bool ok = WriteAll(fd, data) && fchmod(fd, mode) == 0 && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  ok = ok && rename(temporary.c_str(), target.c_str()) == 0;
  if (!ok) {
    unlink(temporary.c_str());
    return false;
  }
  int directory_fd = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (directory_fd >= 0) {
    fsync(directory_fd);
    close(directory_fd);
  }
  return true;
}

// Replaces the file at path with data. Where it is safe, a temporary file in
// the same directory, flushed, given the old file's mode (0600 for a new
// file), is renamed over it. Where a rename would lose something, the file is
// written in place instead: its directory may not be written (the temporary
// file cannot be made), the file belongs to another user (a rename would hand
// it to the saver), or it has more than one link (a rename would break them).
bool ReplaceFile(const std::string& path, const std::string& data) {
  std::string target = path;
  struct stat info;
  if (lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
    if (char* resolved = realpath(path.c_str(), nullptr)) {
      target = resolved;
      std::free(resolved);
    }
  }
  bool exists = stat(target.c_str(), &info) == 0;
  if (!exists && errno != ENOENT) return false;
  if (exists && !S_ISREG(info.st_mode)) return false;
  // A file made read-only is not replaced behind its owner's back (the
  // rename would need only the directory's permission).
  if (exists && faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) return false;
  if (exists && (info.st_uid != geteuid() || info.st_nlink > 1)) return WriteInPlace(target, data);
  mode_t mode = exists ? (info.st_mode & 07777) : 0600;

  std::size_t slash = target.rfind('/');
  std::string directory = slash == target.npos ? "." : slash == 0 ? "/" : target.substr(0, slash);
  std::string base = slash == target.npos ? target : target.substr(slash + 1);
  bool made = false;
  if (ReplaceAtomically(target, directory, base, mode, data, &made)) return true;
  return !made && exists && WriteInPlace(target, data);
}

}  // namespace

ProfileFile::ProfileFile(std::string path) : path_(std::move(path)) {
  try {
    ReadStatus status = ReadFile(path_, kMaxFileSize, &content_);
    readable_ = status != ReadStatus::kUnreadable;
    constexpr std::string_view kMark = "\xEF\xBB\xBF";
    if (std::string_view(content_).substr(0, kMark.size()) == kMark) mark_ = kMark.size();
    std::string_view content = content_;
    std::size_t start = mark_;
    bool first = true;
    while (start < content.size()) {
      std::size_t newline = content.find('\n', start);
      Line line;
      line.start = static_cast<std::uint32_t>(start);
      std::size_t text_end = content.size();
      if (newline != content.npos) {
        text_end = newline;
        line.end = End::kLf;
        if (text_end > start && content[text_end - 1] == '\r') {
          --text_end;
          line.end = End::kCrLf;
        }
        start = newline + 1;
      } else {
        start = content.size();
      }
      line.length = static_cast<std::uint32_t>(text_end - line.start);
      if (first && line.end != End::kNone) line_end_ = line.end;
      first = false;
      std::string_view text = content.substr(line.start, line.length);
      line.inert = RoleOf(text).kind == LineRole::kOther;
      // An inert line after an inert line joins it: the run's text reaches
      // to the end of this line's text, and this line's end is the run's.
      if (line.inert && !lines_.empty() && lines_.back().inert) {
        lines_.back().length = static_cast<std::uint32_t>(text_end - lines_.back().start);
        lines_.back().end = line.end;
      } else {
        lines_.push_back(line);
      }
    }
  } catch (const std::bad_alloc&) {
    content_.clear();
    lines_.clear();
    mark_ = 0;
    readable_ = false;
  }
}

std::string_view ProfileFile::Text(const Line& line) const {
  if (line.edit != 0) return edits_[line.edit - 1];
  return std::string_view(content_).substr(line.start, line.length);
}

int ProfileFile::FindKey(std::string_view section, std::string_view key) const {
  bool in_section = false;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    if (lines_[i].inert) continue;
    LineRole line = RoleOf(Text(lines_[i]));
    if (line.kind == LineRole::kSection) {
      in_section = EqualNoCase(line.name, section);
    } else if (in_section && line.kind == LineRole::kKey && EqualNoCase(line.name, key)) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

int ProfileFile::SectionInsertPoint(std::string_view section) const {
  int point = -1;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    if (lines_[i].inert) continue;
    LineRole line = RoleOf(Text(lines_[i]));
    if (line.kind == LineRole::kSection) {
      if (point >= 0) break;
      if (EqualNoCase(line.name, section)) point = static_cast<int>(i + 1);
    } else if (point >= 0 && line.kind == LineRole::kKey) {
      point = static_cast<int>(i + 1);
    }
  }
  return point;
}

void ProfileFile::InsertLine(std::size_t index, std::string text) {
  edits_.push_back(std::move(text));
  Line line;
  line.edit = static_cast<std::uint32_t>(edits_.size());
  line.end = line_end_;
  // A last line without a line end keeps that: the new last line takes it.
  if (index == lines_.size() && !lines_.empty() && lines_.back().end == End::kNone) {
    lines_.back().end = line_end_;
    line.end = End::kNone;
  }
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(index), line);
}

std::string ProfileFile::GetString(std::string_view section, std::string_view key,
                                   std::string_view fallback, std::size_t max_length) const {
  std::string_view value = fallback;
  int index = FindKey(section, key);
  if (index >= 0) {
    std::string_view text = Text(lines_[static_cast<std::size_t>(index)]);
    value = Trim(text.substr(text.find('=') + 1));
    if (value.size() >= 2 && IsQuote(value.front()) && value.back() == value.front()) {
      value = value.substr(1, value.size() - 2);
    }
    value = value.substr(0, value.find('\0'));
  }
  return std::string(value.substr(0, max_length));
}

int ProfileFile::GetInt(std::string_view section, std::string_view key, int fallback,
                        std::size_t max_length) const {
  if (FindKey(section, key) < 0) return fallback;
  return DecimalValue(GetString(section, key, "", max_length));
}

bool ProfileFile::SetString(std::string_view section, std::string_view key,
                            std::string_view value) {
  auto usable = [](std::string_view name) {
    return !name.empty() && Trim(name) == name && name.find_first_of(kBreaks) == name.npos;
  };
  if (!usable(section) || section.find(']') != section.npos) return false;
  if (!usable(key) || key.find('=') != key.npos || key.front() == '[' || key.front() == ';') {
    return false;
  }
  value = value.substr(0, value.find_first_of(kBreaks));
  std::string encoded = EncodeValue(value);

  int index = FindKey(section, key);
  if (index >= 0) {
    Line& line = lines_[static_cast<std::size_t>(index)];
    std::string_view old = Text(line);
    std::string text(old.substr(0, old.find('=') + 1));
    text += encoded;
    if (line.edit != 0) {
      edits_[line.edit - 1] = std::move(text);
    } else {
      edits_.push_back(std::move(text));
      line.edit = static_cast<std::uint32_t>(edits_.size());
    }
    return true;
  }
  std::string line(key);
  line += '=';
  line += encoded;
  int point = SectionInsertPoint(section);
  if (point >= 0) {
    InsertLine(static_cast<std::size_t>(point), std::move(line));
  } else {
    std::string header(1, '[');
    header += section;
    header += ']';
    InsertLine(lines_.size(), std::move(header));
    InsertLine(lines_.size(), std::move(line));
  }
  return true;
}

bool ProfileFile::Save() const {
  if (!readable_) return false;
  try {
    std::size_t size = mark_;
    for (const Line& line : lines_) size += Text(line).size() + 2;
    std::string data;
    data.reserve(size);
    data.append(content_, 0, mark_);
    for (const Line& line : lines_) {
      data += Text(line);
      if (line.end == End::kCrLf) data += '\r';
      if (line.end != End::kNone) data += '\n';
    }
    return ReplaceFile(path_, data);
  } catch (const std::bad_alloc&) {
    return false;
  }
}

int ProfileFile::DecimalValue(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long long value = 0;
  const long long limit = negative ? -static_cast<long long>(INT_MIN) : INT_MAX;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > limit) value = limit;
  }
  return static_cast<int>(negative ? -value : value);
}

std::string profile_get_string(const std::string& path, std::string_view section,
                               std::string_view key, std::string_view fallback,
                               std::size_t max_length) {
  return ProfileFile(path).GetString(section, key, fallback, max_length);
}

int profile_get_int(const std::string& path, std::string_view section, std::string_view key,
                    int fallback, std::size_t max_length) {
  return ProfileFile(path).GetInt(section, key, fallback, max_length);
}

bool profile_write_string(const std::string& path, std::string_view section, std::string_view key,
                          std::string_view value) {
  ProfileFile file(path);
  return file.SetString(section, key, value) && file.Save();
}
