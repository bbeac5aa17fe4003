// The settings file layer: case-insensitive sections and keys, lengths and
// defaults, the decimal conversion, and writes that keep everything else and
// never leave a half-written file.
#include "app/profile_file.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

class ProfileFileTest : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/orbilo-profile-XXXXXX";
    directory_ = mkdtemp(pattern);
    path_ = directory_ + "/orbilo.ini";
  }
  void TearDown() override { std::filesystem::remove_all(directory_); }

  void write(const std::string& text) { std::ofstream(path_, std::ios::binary) << text; }
  std::string read() const {
    std::ifstream in(path_, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }

  std::string directory_;
  std::string path_;
};

TEST_F(ProfileFileTest, ReadsMatchWithoutCaseAndCutToTheirLength) {
  write(
      "; a comment\r\n[main]\r\n  NAME = A very long bot name indeed  \r\nCitizen= 12x\r\n"
      "Avatar=abc\r\nQuoted=\"in quotes\"\r\ngarbage line\r\n[other]\r\nName=wrong\r\n" +
      std::string(100000, 'x'));
  ProfileFile file(path_);
  EXPECT_EQ(file.GetString("Main", "Name", "", 19), "A very long bot nam");
  EXPECT_EQ(file.GetInt("Main", "Citizen", 5, 9), 12);
  EXPECT_EQ(file.GetInt("Main", "Avatar", 5, 9), 0);  // no digits
  EXPECT_EQ(file.GetInt("Main", "Missing", 5, 9), 5);
  EXPECT_EQ(file.GetString("Main", "Missing", "Simple Orbilo", 19), "Simple Orbilo");
  EXPECT_EQ(file.GetString("Main", "Quoted", "", 99), "in quotes");
  EXPECT_EQ(ProfileFile::DecimalValue("  -42abc"), -42);
  EXPECT_EQ(ProfileFile::DecimalValue("99999999999999"), 2147483647);
}

TEST_F(ProfileFileTest, AMissingFileReadsAsDefaults) {
  ProfileFile file(directory_ + "/none.ini");
  EXPECT_EQ(file.GetString("Main", "World", "", 9), "");
  EXPECT_EQ(file.GetInt("universe", "port", 5670, 9), 5670);
}

// A write changes its key and nothing else: comments, other sections, their
// order, the line ends and a last line without its line end stay.
TEST_F(ProfileFileTest, WritesKeepEveryOtherLine) {
  write("; keep me\r\n[Main]\r\nName=Old\r\nOdd line\r\n\r\n[universe]\r\nhost=example\r\nport=1");
  ProfileFile file(path_);
  file.SetString("main", "Name", "New");
  file.SetString("Main", "World", "demo");
  file.SetString("Extra", "Key", "value");
  ASSERT_TRUE(file.Save());
  EXPECT_EQ(read(),
            "; keep me\r\n[Main]\r\nName=New\r\nWorld=demo\r\nOdd line\r\n\r\n[universe]\r\n"
            "host=example\r\nport=1\r\n\r\n[Extra]\r\nKey=value");
  ProfileFile again(path_);
  EXPECT_EQ(again.GetString("Main", "World", "", 9), "demo");
  EXPECT_EQ(again.GetString("universe", "host", "", 99), "example");
}

// It may hold a password: a new file is the owner's alone; an existing one
// keeps its mode.
TEST_F(ProfileFileTest, ModesOfNewAndExistingFiles) {
  ProfileFile created(path_);
  created.SetString("Main", "Password", "secret");
  ASSERT_TRUE(created.Save());
  struct stat status {};
  ASSERT_EQ(stat(path_.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0600u);
  chmod(path_.c_str(), 0640);
  ProfileFile existing(path_);
  existing.SetString("Main", "Password", "other");
  ASSERT_TRUE(existing.Save());
  ASSERT_EQ(stat(path_.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0640u);
}

// A write that cannot be made leaves the old file whole.
TEST_F(ProfileFileTest, AFailedWriteLeavesTheFileAsItWas) {
  std::string missing = directory_ + "/no/such/dir/orbilo.ini";
  ProfileFile nowhere(missing);
  nowhere.SetString("Main", "Name", "x");
  EXPECT_FALSE(nowhere.Save());

  write("[Main]\nName=Kept\n");
  ProfileFile file(path_);
  file.SetString("Main", "Name", "Lost");
  std::filesystem::remove(path_);
  std::filesystem::create_directory(path_);  // the rename cannot replace a directory
  EXPECT_FALSE(file.Save());
  for (const auto& entry : std::filesystem::directory_iterator(directory_)) {
    EXPECT_EQ(entry.path().filename().string().find(".XXXXXX"), std::string::npos);
    EXPECT_EQ(entry.path().filename().string().rfind("orbilo.ini.", 0), std::string::npos)
        << "a temporary file was left behind";
  }
}

}  // namespace
