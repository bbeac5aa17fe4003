// The servers under load: 1000 library instances in this process, logged in
// and in one world of an orbilo-server with a crowd of 50, for 30 s, every
// instance receiving every avatar change. An instance is held when it stays
// in the world and receives as many changes as the best-served one (but for
// the ticks the counting window cuts at its edges).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <unordered_map>
#include <vector>

#include "bot_fleet.h"
#include "sdk/instance.h"
#include "sdk/sdk.h"
#include "support/child_process.h"

using namespace orbilo;

namespace {

constexpr int kBots = 1000;
constexpr auto kRun = std::chrono::seconds(30);
constexpr auto kStartLimit = std::chrono::seconds(120);
constexpr int kCrowd = 50;
// A tick of the crowd moves each member once; the counting window may cut a
// tick at either edge, so an instance may trail the best by two ticks.
constexpr long kEdgeAllowance = 2 * kCrowd;

struct Bot {
  long changes = 0;
  int disconnects = 0;
};

std::unordered_map<void*, Bot> bots;
bool counting = false;

void on_change() {
  if (counting) ++bots[api_instance()].changes;
}
void on_disconnect() {
  ++bots[api_instance()].disconnects;
}

void BM_ServerClientsHeld(benchmark::State& state) {
  for (auto _ : state) {
    raise_descriptor_limit();
    api_term();  // whatever an earlier benchmark left
    bots.clear();
    counting = false;
    if (api_init(ORBILO_SDK_BUILD) != 0) return state.SkipWithError("api_init failed");
    ChildProcess server(
        server_arguments({"--world", "bench=127.0.0.1:0", "--crowd", std::to_string(kCrowd),
                          "--seed", "1", "--max-clients", "5000"}));
    int port = server.port("universe");
    if (port == 0) return state.SkipWithError("orbilo-server did not start");
    api_event_set(EVENT_AVATAR_CHANGE, on_change);
    api_event_set(EVENT_WORLD_DISCONNECT, on_disconnect);
    std::vector<void*> instances;
    bots_enter(port, kBots, "bench", kStartLimit, &instances);
    for (void* instance : instances) bots[instance] = Bot{};

    double cpu_before = server.cpu_seconds();
    counting = true;
    auto start = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - start < kRun) api_wait(50);
    counting = false;
    std::chrono::duration<double> spent = std::chrono::steady_clock::now() - start;

    long best = 0, worst = -1;
    for (const auto& [instance, bot] : bots) {
      best = std::max(best, bot.changes);
      worst = worst < 0 ? bot.changes : std::min(worst, bot.changes);
    }
    int held = 0;
    for (const auto& [instance, bot] : bots) {
      auto* record = static_cast<Instance*>(instance);
      held += record->world_state == kWorldEntered && bot.disconnects == 0 && best > 0 &&
              bot.changes >= best - kEdgeAllowance;
    }
    state.counters["figure:server_clients_held"] = held;
    state.counters["figure:server_changes_per_client_min"] = static_cast<double>(worst);
    state.counters["figure:server_changes_per_client_max"] = static_cast<double>(best);
    state.counters["figure:server_cpu_percent"] =
        100.0 * (server.cpu_seconds() - cpu_before) / spent.count();
    state.counters["figure:server_rss_mib"] = static_cast<double>(server.resident_kib()) / 1024.0;
    api_term();
  }
}
BENCHMARK(BM_ServerClientsHeld)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace
