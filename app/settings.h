// The bot's settings and the settings file orbilo.ini in the working
// directory: section "Main" holds what the login page shows and is written
// back when the program ends; sections "universe" and "version" name the
// servers and are only ever read.
#pragma once

#include <string>

// The login page's fields, named after their settings keys.
struct LoginFields {
  std::string Name;
  int Citizen = 0;
  std::string Password;
  std::string World;
  std::string CenterCoords;
  int Avatar = 0;
  int DisableBotKicking = 0;
  int ReturnHome = 0;
};

// Where the servers are, read from the file and never written.
struct ServerSettings {
  std::string UniverseHost;
  int UniversePort = 0;
  std::string VersionHost;
  int VersionPort = 0;
};

// The working directory followed by "/orbilo.ini"; "" when the working
// directory cannot be named.
std::string settings_path();

// Reads the file at path (a missing file or key gives the defaults).
void settings_load(const std::string& path, LoginFields* fields, ServerSettings* servers);

// Writes the "Main" keys to the file, keeping everything else in it: true,
// or false when the file could not be written.
bool settings_save(const std::string& path, const LoginFields& fields);
