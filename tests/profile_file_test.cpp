// Profile files: matching, lengths, defaults and numbers; writes that keep
// every other byte, modes, links, and writes that fail without harm.
#include "app/profile_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <strings.h>
#include <climits>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "support/scratch_directory.h"

namespace {

class ProfileFileTest : public testing::Test {
 protected:
  void Write(const std::string& text) { scratch_.write("orbilo.ini", text); }
  std::string Read() const { return scratch_.read("orbilo.ini"); }
  std::string Get(const char* section, const char* key, std::size_t length = 99) const {
    return ProfileFile(path_).GetString(section, key, "(none)", length);
  }
  mode_t Mode() const {
    struct stat info;
    return stat(path_.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
  }
  int Entries() const { return scratch_.entries(); }

  orbilo::ScratchDirectory scratch_;
  const std::string directory_ = scratch_.path();
  const std::string path_ = scratch_.path("orbilo.ini");
};

TEST_F(ProfileFileTest, MatchesWithoutCaseTrimsAndUnquotes) {
  Write("Name=outside\n[MAIN]\n  nAmE  =  Bob  \n; Avatar=7\nq=\" a \"\nr='x'\ns=\"x\nName=2\n");
  EXPECT_EQ(Get("main", "NAME"), "Bob");  // the first of two wins
  EXPECT_EQ(Get("Main", "q"), " a ");
  EXPECT_EQ(Get("Main", "r"), "x");
  EXPECT_EQ(Get("Main", "s"), "\"x");
  EXPECT_EQ(Get("Main", "Avatar"), "(none)");  // commented out
  EXPECT_EQ(Get("Other", "Name"), "(none)");
}

TEST_F(ProfileFileTest, ValuesAndDefaultsAreCutToTheirLength) {
  Write("[Main]\nName=" + std::string(25, 'n') + "\nCitizen=1234567890\nAvatar=\n");
  ProfileFile file(path_);
  EXPECT_EQ(file.GetString("Main", "Name", "", 19), std::string(19, 'n'));
  EXPECT_EQ(file.GetString("Main", "World", "defaultvalue", 5), "defau");
  EXPECT_EQ(file.GetString("Main", "Name", "", 0), "");
  EXPECT_EQ(file.GetInt("Main", "Citizen", 5, 9), 123456789);
  EXPECT_EQ(file.GetInt("Main", "Avatar", 5, 9), 0);  // present but empty
  EXPECT_EQ(file.GetInt("Main", "ReturnHome", 5, 9), 5);
  EXPECT_EQ(ProfileFile(directory_ + "/absent.ini").GetString("Main", "Name", "d", 9), "d");
}

TEST_F(ProfileFileTest, DecimalValue) {
  const char* texts[] = {"abc", " 12x", "\t-42abc",    "+7",          "",
                         "- 5", "0009", "99999999999", "-99999999999"};
  const int values[] = {0, 12, -42, 7, 0, 0, 9, INT_MAX, INT_MIN};
  for (int i = 0; i < 9; ++i) EXPECT_EQ(ProfileFile::DecimalValue(texts[i]), values[i]) << texts[i];
}

TEST_F(ProfileFileTest, WritingKeepsEveryOtherLineByteForByte) {
  const std::string before =
      "; settings\r\n[universe]\r\nhost = example.net ; mine\r\nport=1\r\n\r\n"
      "[Main]\r\nNAME = old\r\nUnknown=x\r\n# note\r\ngarbage [line\r\n\r\n[version]\r\nport=2";
  Write(before);
  chmod(path_.c_str(), 0604);
  ProfileFile file(path_);
  ASSERT_TRUE(file.SetString("Main", "Name", "new"));
  ASSERT_TRUE(file.SetString("main", "World", "w"));
  ASSERT_TRUE(file.SetString("Extra", "k", "v"));
  ASSERT_TRUE(file.Save());
  EXPECT_EQ(Read(),
            "; settings\r\n[universe]\r\nhost = example.net ; mine\r\nport=1\r\n\r\n"
            "[Main]\r\nNAME =new\r\nUnknown=x\r\nWorld=w\r\n# note\r\ngarbage [line\r\n\r\n"
            "[version]\r\nport=2\r\n[Extra]\r\nk=v");
  EXPECT_EQ(Mode(), 0604u);  // an existing file keeps its mode
}

TEST_F(ProfileFileTest, NewFileIsPrivateAndValuesReadBackAsWritten) {
  mode_t old_umask = umask(0);
  const std::string values[] = {" pad ", "\"quoted\"", "'x'", "", "a=b;c", "\"", "tab\t"};
  for (const std::string& value : values) {
    ASSERT_TRUE(profile_write_string(path_, "Main", "Password", value));
    EXPECT_EQ(profile_get_string(path_, "Main", "Password", "-", 99), value);
  }
  EXPECT_EQ(Mode(), 0600u);
  umask(old_umask);
  ASSERT_TRUE(profile_write_string(path_, "Main", "Password", "one\r\n[Main]\nPassword=two"));
  EXPECT_EQ(Get("Main", "Password"), "one");
  chmod(path_.c_str(), 0640);
  ASSERT_TRUE(profile_write_string(path_, "Main", "Name", "n"));
  EXPECT_EQ(Mode(), 0640u);
  EXPECT_EQ(Entries(), 1);  // no temporary file left behind
}

TEST_F(ProfileFileTest, RefusesNamesThatWouldNotReadBack) {
  ProfileFile file(path_);
  for (const char* bad : {"", " Main", "a]b", "a\nb"}) EXPECT_FALSE(file.SetString(bad, "k", "v"));
  for (const char* bad : {"", "a=b", "[k", ";k", "k "}) EXPECT_FALSE(file.SetString("s", bad, "v"));
}

TEST_F(ProfileFileTest, LongLinesAndGarbageAreHarmless) {
  std::string line((1 << 20) + 1, '\0');  // ends in a blank, not a CR
  for (std::size_t i = 0; i < line.size(); ++i) line[i] = "[=;\r x]"[i % 7];
  Write(line + "\n[Main]\nName=" + std::string(5000, 'y'));
  EXPECT_EQ(Get("Main", "Name", 19), std::string(19, 'y'));
  ASSERT_TRUE(profile_write_string(path_, "Main", "World", "w"));
  EXPECT_TRUE(Read() == line + "\n[Main]\nName=" + std::string(5000, 'y') + "\nWorld=w");
}

TEST_F(ProfileFileTest, FailedWritesLeaveEverythingAsItWas) {
  // Tests may run as root, where permissions do not stop a write: make the
  // rename itself impossible instead.
  EXPECT_FALSE(profile_write_string(directory_ + "/none/orbilo.ini", "Main", "Name", "n"));
  std::filesystem::create_directory(path_);
  EXPECT_FALSE(profile_write_string(path_, "Main", "Name", "n"));
  EXPECT_TRUE(std::filesystem::is_directory(path_));
  std::filesystem::remove(path_);
  ASSERT_EQ(mkfifo(path_.c_str(), 0600), 0);  // would block a plain open
  ProfileFile fifo(path_);
  EXPECT_FALSE(fifo.readable());
  EXPECT_EQ(fifo.GetString("Main", "Name", "d", 9), "d");
  EXPECT_FALSE(fifo.Save());
  EXPECT_TRUE(std::filesystem::is_fifo(path_));
  EXPECT_EQ(Entries(), 1);
}

TEST_F(ProfileFileTest, FollowsASymbolicLink) {
  Write("[Main]\nName=a\n");
  std::string link = directory_ + "/link.ini";
  ASSERT_EQ(symlink(path_.c_str(), link.c_str()), 0);
  ASSERT_TRUE(profile_write_string(link, "Main", "Name", "b"));
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(Read(), "[Main]\nName=b\n");
}

// Random files from the characters that matter: a write changes the key it
// writes and no other, and what is saved reads back the same.
TEST_F(ProfileFileTest, RandomFilesKeepOtherKeys) {
  std::mt19937 random(7);
  const std::string alphabet("[]=;\r\n \t\"'aAbB\0", 15);
  const char* names[] = {"a", "b", "ab", "A"};
  for (int round = 0; round < 300; ++round) {
    std::string text(random() % 80, ' ');
    for (char& c : text) c = alphabet[random() % alphabet.size()];
    Write(text);
    const ProfileFile before(path_);
    ProfileFile file = before;
    std::string section = names[random() % 4], key = names[random() % 4];
    ASSERT_TRUE(file.SetString(section, key, "v\"'"));
    ASSERT_TRUE(file.Save());
    const ProfileFile after(path_);
    for (const char* s : names) {
      for (const char* k : names) {
        bool set = strcasecmp(s, section.c_str()) == 0 && strcasecmp(k, key.c_str()) == 0;
        EXPECT_EQ(after.GetString(s, k, "-", 99), set ? "v\"'" : before.GetString(s, k, "-", 99))
            << text;
      }
    }
  }
}

}  // namespace
