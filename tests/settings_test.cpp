// The bot's settings: the defaults of a missing file, the lengths read, the
// round trip, and the sections that are only ever read.
#include "app/settings.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/location.h"

namespace {

std::string scratch() {
  char pattern[] = "/tmp/orbilo-settings-XXXXXX";
  return mkdtemp(pattern);
}

TEST(Settings, DefaultsWithoutAFile) {
  std::string directory = scratch();
  LoginFields fields;
  ServerSettings servers;
  settings_load(directory + "/orbilo.ini", &fields, &servers);
  EXPECT_EQ(fields.Name, "Simple Orbilo");
  EXPECT_EQ(fields.CenterCoords, "0n 0e");
  EXPECT_EQ(fields.Citizen, 0);
  EXPECT_EQ(fields.World, "");
  EXPECT_EQ(servers.UniverseHost, "localhost");
  EXPECT_EQ(servers.UniversePort, 5670);
  EXPECT_EQ(servers.VersionPort, 8315);
  std::filesystem::remove_all(directory);
}

TEST(Settings, ARoundTripKeepsTheValuesAndTheReadOnlySections) {
  std::string directory = scratch();
  std::string path = directory + "/orbilo.ini";
  std::ofstream(path) << "[universe]\nhost=u.example\nport=6000\n[version]\nport=9000\n"
                      << "[Main]\nName=" << std::string(25, 'n') << "\nCitizen= 12x\n";
  LoginFields fields;
  ServerSettings servers;
  settings_load(path, &fields, &servers);
  EXPECT_EQ(fields.Name, std::string(19, 'n'));
  EXPECT_EQ(fields.Citizen, 12);
  EXPECT_EQ(servers.UniversePort, 6000);
  fields.Password = std::string(20, 'p');
  fields.ReturnHome = 1;
  ASSERT_TRUE(settings_save(path, fields));
  LoginFields again;
  settings_load(path, &again, &servers);
  EXPECT_EQ(again.Password, std::string(20, 'p'));
  EXPECT_EQ(again.ReturnHome, 1);
  EXPECT_EQ(servers.UniverseHost, "u.example");
  std::ifstream in(path);
  std::ostringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str().rfind("[universe]\nhost=u.example\nport=6000\n[version]\nport=9000\n", 0),
            0u);
  std::filesystem::remove_all(directory);
}

TEST(Location, TokensSetTheirValues) {
  struct Case {
    const char* text;
    int x, z, y, yaw;
  } cases[] = {
      {"0n 0e", 0, 0, 0, 0},
      {"1.5N 2W 0.25a 90", 2000, 1500, 250, 900},
      {"3s 4e", -4000, -3000, 0, 0},
      {"1.2345n", 0, 1234, 0, 0},
      {"-1.2345n", 0, -1234, 0, 0},
      {"myworld 1n 1e", -1000, 1000, 0, 0},
      {"1n 2n", 0, 2000, 0, 0},
      {"1x", 0, 0, 0, 0},
      {"  1n   1e  ", -1000, 1000, 0, 0},
      {"", 0, 0, 0, 0},
      {"- . 1e99n", 0, 2147483647, 0, 0},  // no digits read as 0; huge values are held
  };
  for (const Case& each : cases) {
    SCOPED_TRACE(each.text);
    Location location;
    ParseLocation(each.text, location);
    EXPECT_EQ(location.x, each.x);
    EXPECT_EQ(location.z, each.z);
    EXPECT_EQ(location.y, each.y);
    EXPECT_EQ(location.yaw, each.yaw);
  }
}

}  // namespace
