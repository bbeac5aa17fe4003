#include "bot_fleet.h"

#include <sys/resource.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "sdk/sdk.h"
#include "support/child_process.h"

namespace orbilo {

namespace {

const char* entry_world = "";
int entered = 0;
int failures = 0;

void on_login(int rc) {
  if (rc != 0 || api_enter(entry_world) != 0) ++failures;
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

int bots_enter(int port, int count, const char* world, std::chrono::seconds limit,
               std::vector<void*>* instances) {
  entry_world = world;
  entered = failures = 0;
  api_callback_set(CALLBACK_LOGIN, on_login);
  api_callback_set(CALLBACK_ENTER, on_enter);
  int made = 0;
  for (; made < count; ++made) {
    void* instance = nullptr;
    if (api_create("127.0.0.1", port, &instance) != 0) break;
    instances->push_back(instance);
    std::string name = "bot" + std::to_string(made);
    api_string_set(ATTR_LOGIN_NAME, name.c_str());
    api_int_set(ATTR_LOGIN_OWNER, 1);
    api_string_set(ATTR_LOGIN_PRIVILEGE_PASSWORD, "demo");
    if (api_login() != 0) ++failures;
    api_wait(0);
  }
  auto end = std::chrono::steady_clock::now() + limit;
  while (entered + failures < made && std::chrono::steady_clock::now() < end) api_wait(10);
  return entered;
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
