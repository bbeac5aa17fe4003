// Profile files: key=value lines under bracketed section headers. (The
// server's configuration file looks alike but is read by its own, strict
// reader in server/config.cpp: see there why they share nothing.)
//
//   ; a comment
//   [Main]
//   Name=Simple Orbilo
//   Password="  blanks kept  "
//
// Reading:
// - sections and keys match without regard to letter case; the first match
//   in the file wins;
// - a value has the white space around it removed, then one pair of matching
//   quotes ("..." or '...') around the whole of it, and ends at a NUL byte;
// - a value is read to a given number of characters, and so is a default;
// - a missing file, a file that cannot be read and a missing key all give
//   the defaults; nothing is reported.
//
// Writing:
// - setting a key rewrites only that key's line, or adds the line (and its
//   section) when there is none; every other line keeps its bytes, its line
//   end and its place, and a line end is added to a last line that had none
//   only when a line must follow it;
// - a value that would not read back as written (white space at either end,
//   or enclosed in matching quotes) is written in double quotes; a value ends
//   at its first line break;
// - the file is written whole to a temporary file in the same directory,
//   flushed to disk and renamed over the old one, so a crash or a failed
//   write leaves the old file as it was; where a rename would lose something
//   it is written in place instead: when the directory may not be written,
//   when the file belongs to another user (who keeps it), or when it has more
//   than one link (which all keep it);
// - a new file gets mode 0600, since it may hold a password; an existing file
//   keeps its mode; a symbolic link is followed and stays a link;
// - a file that exists but cannot be read (a directory, a pipe, no access, or
//   larger than kMaxFileSize) is never replaced: the write fails; so is a
//   file its writer may not write (one its owner made read-only);
// - a UTF-8 byte order mark at the start of the file is no part of its first
//   line, and is written back.
//
// The file's bytes are held once: a line is a span of them until it is
// changed, and a run of lines that are neither headers nor keys is one span,
// so that a file of many short lines costs little more than its size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class ProfileFile {
 public:
  // The largest file that is read; a larger one reads as unreadable.
  static constexpr std::size_t kMaxFileSize = 16 * 1024 * 1024;

  // Reads the file at path now; later reads and writes use this copy.
  explicit ProfileFile(std::string path);

  const std::string& path() const { return path_; }
  // False when the file exists but could not be read (or is too large).
  bool readable() const { return readable_; }

  // The value of section/key cut to max_length characters; fallback, cut the
  // same way, when there is no such key.
  std::string GetString(std::string_view section, std::string_view key, std::string_view fallback,
                        std::size_t max_length) const;

  // The value read as GetString does, then DecimalValue() of it; fallback
  // when there is no such key.
  int GetInt(std::string_view section, std::string_view key, int fallback,
             std::size_t max_length) const;

  // Sets section/key in this copy. False, changing nothing, when section or
  // key is empty, holds a line break, or would not read back as itself
  // (white space at either end, "]" in a section, "=" in a key, a key that
  // starts with "[" or ";").
  bool SetString(std::string_view section, std::string_view key, std::string_view value);

  // Writes this copy to the file atomically: true, or false when the file
  // was left as it was.
  bool Save() const;

  // Leading white space skipped, an optional sign, then decimal digits up to
  // the first other character; no digits give 0. Values beyond the range of
  // int give INT_MIN or INT_MAX.
  static int DecimalValue(std::string_view text);

 private:
  enum class End : std::uint8_t { kNone, kLf, kCrLf };
  struct Line {
    std::uint32_t start = 0;   // of its text in content_, when edit is 0
    std::uint32_t length = 0;  // of that text
    std::uint32_t edit = 0;    // else 1 + the index of its text in edits_
    End end = End::kNone;      // after the text; kNone only for a last line
    bool inert = false;        // neither a header nor a key: never looked at
  };

  std::string_view Text(const Line& line) const;
  // Index of the line holding section/key, or -1.
  int FindKey(std::string_view section, std::string_view key) const;
  // Index after the last key line (or the header) of the first section
  // named section, or -1 when there is none.
  int SectionInsertPoint(std::string_view section) const;
  void InsertLine(std::size_t index, std::string text);

  std::string path_;
  std::string content_;             // the file as it was read
  std::size_t mark_ = 0;            // bytes of a byte order mark before the lines
  std::vector<std::string> edits_;  // the texts of changed and added lines
  std::vector<Line> lines_;
  End line_end_ = End::kLf;  // for added lines: that of the file's first line
  bool readable_ = true;
};

// One-shot forms over a path, each reading the file afresh.
std::string profile_get_string(const std::string& path, std::string_view section,
                               std::string_view key, std::string_view fallback,
                               std::size_t max_length);
int profile_get_int(const std::string& path, std::string_view section, std::string_view key,
                    int fallback, std::size_t max_length);
// Sets one key and writes the file: true, or false when the file was left
// as it was.
bool profile_write_string(const std::string& path, std::string_view section, std::string_view key,
                          std::string_view value);
