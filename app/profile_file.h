// Settings files of key=value lines under bracketed section headers.
// Sections and keys match without regard to case; a value is read up to a
// given number of characters; writing a key keeps every other section, key,
// comment and line as it was. A file is saved whole and atomically (a
// temporary file beside it, then a rename), so a crash mid-write loses
// nothing; a new file is made readable by its owner only, since it may hold
// a password, and an existing one keeps its mode.
#pragma once

#include <string>
#include <vector>

class ProfileFile {
 public:
  // Reads path; a file that is missing or cannot be read reads as empty.
  explicit ProfileFile(std::string path);

  // The value of section/key cut to max_length characters, or the default
  // (cut the same way) when the key is absent.
  std::string GetString(const std::string& section, const std::string& key,
                        const std::string& fallback, std::size_t max_length) const;
  // The value read as GetString does, then converted as a decimal number:
  // leading white space, an optional sign, digits up to the first other
  // character; no digits give 0.
  int GetInt(const std::string& section, const std::string& key, int fallback,
             std::size_t max_length) const;
  // Sets section/key, adding the key (and the section) when absent.
  void SetString(const std::string& section, const std::string& key, const std::string& value);
  // Writes the file: true, or false when it could not be written (the old
  // file is then untouched).
  bool Save() const;

  // The decimal conversion that GetInt applies.
  static int DecimalValue(const std::string& text);

 private:
  // Index of the line that holds section/key, or -1; *section_end receives
  // the index after the section's last key line (-1 when there is no such
  // section).
  int Find(const std::string& section, const std::string& key, int* section_end) const;

  std::string path_;
  std::vector<std::string> lines_;  // without their line ends
  std::string line_end_ = "\n";     // "\r\n" when the file uses it
  bool ends_with_line_end_ = true;
};
