#include "app/settings.h"

#include <unistd.h>

#include <climits>

#include "app/profile_file.h"

namespace {

constexpr const char* kMain = "Main";
constexpr std::size_t kNumberLength = 9;

}  // namespace

std::string settings_path() {
  char directory[PATH_MAX];
  if (getcwd(directory, sizeof directory) == nullptr) return "";
  return std::string(directory) + "/orbilo.ini";
}

void settings_load(const std::string& path, LoginFields* fields, ServerSettings* servers) {
  ProfileFile file(path);
  fields->Password = file.GetString(kMain, "Password", "", 20);
  fields->Name = file.GetString(kMain, "Name", "Simple Orbilo", 19);
  fields->CenterCoords = file.GetString(kMain, "CenterCoords", "0n 0e", 199);
  fields->World = file.GetString(kMain, "World", "", 9);
  fields->Citizen = file.GetInt(kMain, "Citizen", 0, kNumberLength);
  fields->Avatar = file.GetInt(kMain, "Avatar", 0, kNumberLength);
  fields->DisableBotKicking = file.GetInt(kMain, "DisableBotKicking", 0, kNumberLength);
  fields->ReturnHome = file.GetInt(kMain, "ReturnHome", 0, kNumberLength);
  servers->UniverseHost = file.GetString("universe", "host", "localhost", 99);
  servers->UniversePort = file.GetInt("universe", "port", 5670, kNumberLength);
  servers->VersionHost = file.GetString("version", "host", "localhost", 99);
  servers->VersionPort = file.GetInt("version", "port", 8315, kNumberLength);
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
