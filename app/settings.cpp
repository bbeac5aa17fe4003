// Loading and saving the bot's settings through a profile file.
#include "settings.h"

#include <unistd.h>

#include <cerrno>
#include <string_view>
#include <vector>

#include "profile_file.h"

namespace {

constexpr std::string_view kMain = "Main";
constexpr std::string_view kUniverse = "universe";
constexpr std::string_view kVersion = "version";

}  // namespace

std::string settings_path() {
  std::vector<char> buffer(512);
  while (getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE || buffer.size() >= (1u << 20)) return "orbilo.ini";
    buffer.resize(buffer.size() * 2);
  }
  std::string directory = buffer.data();
  if (directory.empty() || directory.back() != '/') directory += '/';
  return directory + "orbilo.ini";
}

bool settings_load(const std::string& path, LoginFields* fields, ServerSettings* servers) {
  ProfileFile file(path);
  fields->Password = file.GetString(kMain, "Password", "", kPasswordReadLength);
  fields->Name = file.GetString(kMain, "Name", kDefaultName, kNameReadLength);
  fields->CenterCoords =
      file.GetString(kMain, "CenterCoords", kDefaultCenterCoords, kCenterCoordsReadLength);
  fields->World = file.GetString(kMain, "World", "", kWorldReadLength);
  fields->Citizen = file.GetInt(kMain, "Citizen", 0, kNumberReadLength);
  fields->Avatar = file.GetInt(kMain, "Avatar", 0, kNumberReadLength);
  fields->DisableBotKicking = file.GetInt(kMain, "DisableBotKicking", 0, kNumberReadLength);
  fields->ReturnHome = file.GetInt(kMain, "ReturnHome", 0, kNumberReadLength);

  servers->UniverseHost = file.GetString(kUniverse, "host", kSettingsUniverseHost, kHostReadLength);
  servers->UniversePort = file.GetInt(kUniverse, "port", kSettingsUniversePort, kNumberReadLength);
  servers->VersionHost = file.GetString(kVersion, "host", kSettingsVersionHost, kHostReadLength);
  servers->VersionPort = file.GetInt(kVersion, "port", kSettingsVersionPort, kNumberReadLength);
  return file.readable();
}

bool settings_save(const std::string& path, const LoginFields& fields) {
  ProfileFile file(path);
  file.SetString(kMain, "Citizen", std::to_string(fields.Citizen));
  file.SetString(kMain, "Avatar", std::to_string(fields.Avatar));
  file.SetString(kMain, "Password", fields.Password);
  file.SetString(kMain, "CenterCoords", fields.CenterCoords);
  file.SetString(kMain, "World", fields.World);
  file.SetString(kMain, "Name", fields.Name);
  file.SetString(kMain, "DisableBotKicking", std::to_string(fields.DisableBotKicking));
  file.SetString(kMain, "ReturnHome", std::to_string(fields.ReturnHome));
  return file.Save();
}
