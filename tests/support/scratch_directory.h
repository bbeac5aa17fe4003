// A private directory for one test, made empty under /tmp (or under parent)
// and removed with everything in it when the object goes, even after the
// test made it read-only.
//
//   ScratchDirectory scratch;
//   scratch.write("orbilo.ini", "[Main]\nName=Ball\n");
//   settings_load(scratch.path("orbilo.ini"), &fields, &servers);
#pragma once

#include <string>

namespace orbilo {

class ScratchDirectory {
 public:
  explicit ScratchDirectory(const std::string& parent = "/tmp");
  ~ScratchDirectory();
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

  bool ok() const { return !path_.empty(); }
  const std::string& path() const { return path_; }
  // The path of name inside the directory.
  std::string path(const std::string& name) const { return path_ + "/" + name; }

  // Writes a file of the directory, byte for byte, and reads one back ("" when
  // it cannot be read).
  void write(const std::string& name, const std::string& bytes) const;
  std::string read(const std::string& name) const;
  // The number of entries in the directory.
  int entries() const;

 private:
  std::string path_;
};

}  // namespace orbilo
