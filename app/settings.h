// The bot's settings and the settings file orbilo.ini in the working
// directory:
//
//   [Main]              what the login page shows; written back at the end
//   Name=Simple Orbilo  of every run
//   Citizen=0
//   ...
//   [universe]          the universe server: host, port
//   [version]           the version server: host, port
//
// Sections "universe" and "version" are only ever read; the program never
// adds or changes them.
#pragma once

#include <cstddef>
#include <string>

// The login page's fields, named after their keys in section "Main".
struct LoginFields {
  std::string Name;
  int Citizen = 0;
  std::string Password;
  std::string World;
  std::string CenterCoords;
  int Avatar = 0;
  int DisableBotKicking = 0;
  int ReturnHome = 0;

  bool operator==(const LoginFields&) const = default;
};

// Where the servers are.
struct ServerSettings {
  std::string UniverseHost;
  int UniversePort = 0;
  std::string VersionHost;
  int VersionPort = 0;

  bool operator==(const ServerSettings&) const = default;
};

// The defaults of keys that are absent.
inline constexpr char kDefaultName[] = "Simple Orbilo";
inline constexpr char kDefaultCenterCoords[] = "0n 0e";
inline constexpr char kSettingsUniverseHost[] = "localhost";
inline constexpr int kSettingsUniversePort = 5670;
inline constexpr char kSettingsVersionHost[] = "localhost";
inline constexpr int kSettingsVersionPort = 8315;

// The longest value read for each key, in characters. The numbers are read
// as text of this length first, then converted.
inline constexpr std::size_t kPasswordReadLength = 20;
inline constexpr std::size_t kNameReadLength = 19;
inline constexpr std::size_t kCenterCoordsReadLength = 199;
inline constexpr std::size_t kWorldReadLength = 9;
inline constexpr std::size_t kNumberReadLength = 9;
inline constexpr std::size_t kHostReadLength = 99;

// IniPath: the working directory followed by "/orbilo.ini", or "orbilo.ini"
// (relative, so still in the working directory) when the working directory
// cannot be named.
std::string settings_path();

// Reads the file at path into fields and servers. A missing or unreadable
// file, or a missing key, gives the defaults. False when the file exists but
// could not be read (settings_save then leaves it alone too).
bool settings_load(const std::string& path, LoginFields* fields, ServerSettings* servers);

// Writes the "Main" keys of fields to the file at path in one atomic
// replacement, keeping every other line as it was: true, or false when the
// file could not be written (it is then left as it was).
bool settings_save(const std::string& path, const LoginFields& fields);
