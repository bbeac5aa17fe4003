// The bot's settings tests' shared fixture: a settings file in a scratch
// directory of its own, written, read back and loaded by the test.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "app/settings.h"
#include "support/scratch_directory.h"

namespace orbilo {

class SettingsFileTest : public testing::Test {
 protected:
  void Write(const std::string& text) { scratch_.write("orbilo.ini", text); }
  std::string Read() const { return scratch_.read("orbilo.ini"); }
  // Loads the file into fields_ and servers_: false where it could not be
  // read.
  bool Load() { return settings_load(path_, &fields_, &servers_); }

  ScratchDirectory scratch_;
  const std::string directory_ = scratch_.path();
  const std::string path_ = scratch_.path("orbilo.ini");
  LoginFields fields_;
  ServerSettings servers_;
};

}  // namespace orbilo
