// The pump over many bots: 1000 instances, each logged in and in a world of
// an orbilo-server started beside this program on loopback, then one
// api_wait(0) over all of them with nothing arriving; and the memory each
// instance in a world takes.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sys/resource.h>

#include <chrono>
#include <string>

#include "sdk/instance.h"
#include "sdk/sdk.h"
#include "server_process.h"

namespace {

constexpr int kBots = 1000;
constexpr auto kStartLimit = std::chrono::seconds(120);

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

  ServerProcess server{{"--world", "bench=127.0.0.1:0", "--max-clients", "5000"}};
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
