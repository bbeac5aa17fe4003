#include "support/scratch_directory.h"

#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

namespace orbilo {

ScratchDirectory::ScratchDirectory(const std::string& parent) {
  std::string pattern = parent + "/orbilo-test-XXXXXX";
  if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
}

ScratchDirectory::~ScratchDirectory() {
  if (!ok()) return;
  chmod(path_.c_str(), 0700);
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

void ScratchDirectory::write(const std::string& name, const std::string& bytes) const {
  std::ofstream(path(name), std::ios::binary) << bytes;
}

std::string ScratchDirectory::read(const std::string& name) const {
  std::ostringstream bytes;
  bytes << std::ifstream(path(name), std::ios::binary).rdbuf();
  return bytes.str();
}

int ScratchDirectory::entries() const {
  std::error_code ignored;
  return static_cast<int>(std::distance(std::filesystem::directory_iterator(path_, ignored), {}));
}

}  // namespace orbilo
