// The pump over many bots: 1000 instances, each logged in and in a world of
// an orbilo-server started beside this program on loopback, then one
// api_wait(0) over all of them with nothing arriving; and the memory each
// instance in a world takes.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "sdk/instance.h"
#include "sdk/sdk.h"

extern char** environ;

namespace {

constexpr int kBots = 1000;
constexpr auto kStartLimit = std::chrono::seconds(120);

// orbilo-server in a child process, so that its work and memory are not
// counted as the library's; it lies beside this program in build/bin.
class ServerProcess {
 public:
  ServerProcess() {
    char self[4096] = {};
    ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0) return;
    std::string path(self, static_cast<std::size_t>(length));
    path = path.substr(0, path.rfind('/') + 1) + "orbilo-server";
    int out[2];
    if (pipe(out) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    std::vector<std::string> args = {
        path,      "--universe",        "127.0.0.1:0", "--version-server", "off",
        "--world", "bench=127.0.0.1:0", "--no-admin",  "--max-clients",    "5000"};
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, path.c_str(), &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    // The server names the port it was given: "universe: 127.0.0.1:PORT, ...".
    FILE* lines = fdopen(out[0], "r");
    char line[512];
    while (pid_ > 0 && lines != nullptr && std::fgets(line, sizeof line, lines) != nullptr) {
      const char* found = std::strstr(line, "universe: 127.0.0.1:");
      if (found != nullptr) {
        port_ = std::atoi(found + std::strlen("universe: 127.0.0.1:"));
        break;
      }
    }
    // The rest of its log is not read: it goes nowhere from here on.
    if (lines != nullptr) std::fclose(lines);
  }
  ~ServerProcess() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  int port() const { return port_; }

 private:
  pid_t pid_ = -1;
  int port_ = 0;
};

int entered = 0;
int failures = 0;

void on_login(int rc) {
  if (rc != 0 || api_enter("bench") != 0) ++failures;
}

void on_enter(int rc) {
  rc == 0 ? ++entered : ++failures;
}

// The bots, made once for every benchmark of this file.
struct Crowd {
  Crowd() {
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);  // the server, started next, inherits it
    if (api_init(ORBILO_SDK_BUILD) != 0 || server.port() == 0) return;
    api_callback_set(CALLBACK_LOGIN, on_login);
    api_callback_set(CALLBACK_ENTER, on_enter);
    std::size_t before = mallinfo2().uordblks;
    for (int bot = 0; bot < kBots; ++bot) {
      if (api_create("127.0.0.1", server.port(), nullptr) != 0) return;
      std::string name = "bot" + std::to_string(bot);
      api_string_set(ATTR_LOGIN_NAME, name.c_str());
      api_int_set(ATTR_LOGIN_OWNER, 1);
      api_string_set(ATTR_LOGIN_PRIVILEGE_PASSWORD, "demo");
      if (api_login() != 0) ++failures;
      api_wait(0);
    }
    auto end = std::chrono::steady_clock::now() + kStartLimit;
    while (entered + failures < kBots && std::chrono::steady_clock::now() < end) api_wait(10);
    // Heap growth over the bots' whole life so far: records, stores, name
    // tables, streams with their buffers and ciphers, and the connections.
    kib_per_instance = static_cast<double>(mallinfo2().uordblks - before) / 1024.0 / kBots;
    ready = entered == kBots;
  }
  ~Crowd() { api_term(); }

  ServerProcess server;
  bool ready = false;
  double kib_per_instance = 0;
};

Crowd& crowd() {
  static Crowd bots;
  return bots;
}

void BM_PumpPassIdle(benchmark::State& state) {
  Crowd& bots = crowd();
  if (!bots.ready) {
    state.SkipWithError("the bots could not all enter their world");
    return;
  }
  api_wait(0);  // anything still on its way
  auto start = std::chrono::steady_clock::now();
  for (auto _ : state) api_wait(0);
  std::chrono::duration<double, std::micro> spent = std::chrono::steady_clock::now() - start;
  state.counters["figure:pump_pass_us_1000_idle"] =
      spent.count() / static_cast<double>(state.iterations());
  state.counters["figure:instance_kib"] = bots.kib_per_instance;
}
BENCHMARK(BM_PumpPassIdle)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace
