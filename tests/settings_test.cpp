// The bot's settings: defaults, read lengths and numbers, round trips, and a
// save that adds only the "Main" keys.
#include "app/settings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "support/settings_file.h"

namespace {

using SettingsTest = orbilo::SettingsFileTest;

TEST_F(SettingsTest, NoFileGivesTheDefaults) {
  Load();
  EXPECT_EQ(fields_, (LoginFields{"Simple Orbilo", 0, "", "", "0n 0e", 0, 0, 0}));
  EXPECT_EQ(servers_, (ServerSettings{"localhost", 5670, "localhost", 8315}));
}

TEST_F(SettingsTest, ValuesAreReadToTheirLengths) {
  Write("[main]\nname=" + std::string(25, 'n') + "\npassword=" + std::string(25, 'p') +
        "\nworld=" + std::string(12, 'w') + "\ncentercoords=" + std::string(250, 'c') +
        "\ncitizen=abc\navatar= 12x\nreturnhome=1234567890\n[UNIVERSE]\nHOST=" +
        std::string(150, 'h') + "\nport=99\n[Version]\nhost=v.example\nport=1\n");
  Load();
  EXPECT_EQ(fields_, (LoginFields{std::string(19, 'n'), 0, std::string(20, 'p'),
                                  std::string(9, 'w'), std::string(199, 'c'), 12, 0, 123456789}));
  EXPECT_EQ(servers_, (ServerSettings{std::string(99, 'h'), 99, "v.example", 1}));
}

TEST_F(SettingsTest, SavedFieldsReadBackWhole) {
  LoginFields saved{"Bot", 1234, "ppp 4567890123456789", "myworld", "2.5s 10w 0.5a 180", -7, 1, 1};
  ASSERT_TRUE(settings_save(path_, saved));
  Load();
  EXPECT_EQ(fields_, saved);
  struct stat info;
  ASSERT_EQ(stat(path_.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0600u);  // it holds the privilege password
  EXPECT_EQ(Read(),
            "[Main]\nCitizen=1234\nAvatar=-7\nPassword=ppp 4567890123456789"
            "\nCenterCoords=2.5s 10w 0.5a 180\nWorld=myworld\nName=Bot\n"
            "DisableBotKicking=1\nReturnHome=1\n");
}

TEST_F(SettingsTest, SaveChangesOnlyTheMainKeys) {
  const std::string servers = "[universe]\nhost=u.example\n; no port\n[VERSION]\nport=7\n";
  Write("[MAIN]\nname=old\nExtra=kept\n" + servers);
  ASSERT_TRUE(settings_save(path_, LoginFields{}));
  EXPECT_EQ(Read(),
            "[MAIN]\nname=\nExtra=kept\nCitizen=0\nAvatar=0\nPassword=\nCenterCoords=\nWorld=\n"
            "DisableBotKicking=0\nReturnHome=0\n" +
                servers);
}

TEST_F(SettingsTest, AFileThatCannotBeReplacedIsLeftAlone) {
  std::filesystem::create_directory(path_);
  EXPECT_FALSE(settings_save(path_, LoginFields{}));
  EXPECT_TRUE(std::filesystem::is_directory(path_));
  Load();
  EXPECT_EQ(fields_.Name, "Simple Orbilo");
}

TEST_F(SettingsTest, PathIsInTheWorkingDirectory) {
  std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(directory_);
  std::string path = settings_path();
  std::filesystem::current_path(before);
  EXPECT_EQ(path, std::filesystem::canonical(directory_).string() + "/orbilo.ini");
}

}  // namespace
