// The pump over many bots: 1000 instances, each logged in and in a world of
// an orbilo-server started beside this program on loopback, then one
// api_wait(0) over all of them with nothing arriving; and the memory each
// instance in a world takes.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <chrono>
#include <vector>

#include "bot_fleet.h"
#include "sdk/instance.h"
#include "sdk/sdk.h"
#include "support/child_process.h"

using namespace orbilo;

namespace {

constexpr int kBots = 1000;
constexpr auto kStartLimit = std::chrono::seconds(120);

// The bots, made once for every benchmark of this file.
struct Crowd {
  Crowd() {
    if (api_init(ORBILO_SDK_BUILD) != 0 || port == 0) return;
    std::size_t before = mallinfo2().uordblks;
    std::vector<void*> instances;
    int entered = bots_enter(port, kBots, "bench", kStartLimit, &instances);
    // Heap growth over the bots' whole life so far: records, stores, name
    // tables, streams with their buffers and ciphers, and the connections.
    kib_per_instance = static_cast<double>(mallinfo2().uordblks - before) / 1024.0 / kBots;
    ready = entered == kBots;
  }
  ~Crowd() { api_term(); }

  // The server, started next, inherits the raised limit.
  bool limit_raised = (raise_descriptor_limit(), true);
  ChildProcess server{server_arguments({"--world", "bench=127.0.0.1:0", "--max-clients", "5000"})};
  int port = server.port("universe");
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
