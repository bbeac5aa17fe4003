#include "bot_fleet.h"

#include <sys/resource.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "bot_tally.h"
#include "sdk/sdk.h"
#include "support/child_process.h"

namespace orbilo {

namespace {

std::string entry_world;
int entered = 0;
int failures = 0;

void on_login(int rc) {
  if (rc != 0 || api_enter(entry_world.c_str()) != 0) ++failures;
}

void on_enter(int rc) {
  rc == 0 ? ++entered : ++failures;
}

}  // namespace

std::vector<std::string> server_arguments(const std::vector<std::string>& more, bool admin) {
  std::vector<std::string> arguments = {program_beside("orbilo-server"), "--universe",
                                        "127.0.0.1:0", "--version-server", "off"};
  if (!admin) arguments.push_back("--no-admin");
  arguments.insert(arguments.end(), more.begin(), more.end());
  return arguments;
}

void raise_descriptor_limit() {
  rlimit limit{};
  getrlimit(RLIMIT_NOFILE, &limit);
  limit.rlim_cur = limit.rlim_max;
  setrlimit(RLIMIT_NOFILE, &limit);
}

int env_setting(const char* name, int fallback) {
  const char* text = std::getenv(name);
  if (text == nullptr || *text == '\0') return fallback;
  int value = std::atoi(text);
  return value > 0 ? value : fallback;
}

int bots_enter(int port, int count, const char* world, std::chrono::seconds limit,
               std::vector<void*>* instances, int first) {
  entry_world = world;
  entered = failures = 0;
  api_callback_set(CALLBACK_LOGIN, on_login);
  api_callback_set(CALLBACK_ENTER, on_enter);
  int made = 0;
  for (; made < count; ++made) {
    void* instance = nullptr;
    if (api_create("127.0.0.1", port, &instance) != 0) break;
    instances->push_back(instance);
    std::string name = "bot" + std::to_string(first + made);
    api_string_set(ATTR_LOGIN_NAME, name.c_str());
    api_int_set(ATTR_LOGIN_OWNER, 1);
    api_string_set(ATTR_LOGIN_PRIVILEGE_PASSWORD, "demo");
    if (api_login() != 0) ++failures;
    api_wait(0);
  }
  auto end = std::chrono::steady_clock::now() + limit;
  while (entered + failures < made && std::chrono::steady_clock::now() < end) api_wait(10);
  // A link that is lost later is reopened by the library, which enters the
  // world again by itself: the callbacks would only enter it once more.
  api_callback_set(CALLBACK_LOGIN, nullptr);
  api_callback_set(CALLBACK_ENTER, nullptr);
  return entered;
}

void bots_show(const std::vector<void*>& instances, int first, int count, int spacing) {
  int side = 1;
  while (side * side < count) ++side;
  for (int k = 0; k < count; ++k) {
    int bot = first + k;
    api_instance_set(instances[static_cast<std::size_t>(bot)]);
    api_int_set(ATTR_MY_X, (k % side - side / 2) * spacing);
    api_int_set(ATTR_MY_Y, 0);
    api_int_set(ATTR_MY_Z, (k / side - side / 2) * spacing);
    api_int_set(ATTR_MY_YAW, (bot * 37) % 3600);
    api_int_set(ATTR_MY_TYPE, bot % 8);
    api_state_change();
    if (k % 50 == 49) api_wait(0);
  }
}

bool bots_settle(const std::vector<void*>& instances, int adds, std::chrono::seconds limit) {
  auto settled = [&] {
    for (void* instance : instances) {
      if (tally_of(instance).adds < static_cast<std::uint64_t>(adds)) return false;
    }
    return true;
  };
  auto end = std::chrono::steady_clock::now() + limit;
  while (!settled()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    api_wait(50);
  }
  return true;
}

double process_cpu_seconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](const timeval& time) {
    return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
  };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

long process_resident_kib() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  return 0;
}

}  // namespace orbilo
