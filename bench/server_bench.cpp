// The servers under load: 1000 library instances in this process, logged in
// and in one world of an orbilo-server with a crowd of 50, for 30 s, every
// instance receiving every avatar change. An instance is held when it stays
// in the world and receives as many changes as the best-served one (but for
// the ticks the counting window cuts at its edges).
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <unordered_map>

#include "sdk/instance.h"
#include "sdk/sdk.h"
#include "server_process.h"

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
int entered = 0;
int failures = 0;
bool counting = false;

void on_login(int rc) {
  if (rc != 0 || api_enter("bench") != 0) ++failures;
}
void on_enter(int rc) {
  rc == 0 ? ++entered : ++failures;
}
void on_change() {
  if (counting) ++bots[api_instance()].changes;
}
void on_disconnect() {
  ++bots[api_instance()].disconnects;
}

void BM_ServerClientsHeld(benchmark::State& state) {
  for (auto _ : state) {
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
    api_term();  // whatever an earlier benchmark left
    bots.clear();
    entered = failures = 0;
    counting = false;
    if (api_init(ORBILO_SDK_BUILD) != 0) return state.SkipWithError("api_init failed");
    ServerProcess server({"--world", "bench=127.0.0.1:0", "--crowd", std::to_string(kCrowd),
                          "--seed", "1", "--max-clients", "5000"});
    if (server.port() == 0) return state.SkipWithError("orbilo-server did not start");
    api_callback_set(CALLBACK_LOGIN, on_login);
    api_callback_set(CALLBACK_ENTER, on_enter);
    api_event_set(EVENT_AVATAR_CHANGE, on_change);
    api_event_set(EVENT_WORLD_DISCONNECT, on_disconnect);
    for (int bot = 0; bot < kBots; ++bot) {
      void* instance = nullptr;
      if (api_create("127.0.0.1", server.port(), &instance) != 0) break;
      bots[instance] = Bot{};
      std::string name = "bot" + std::to_string(bot);
      api_string_set(ATTR_LOGIN_NAME, name.c_str());
      api_int_set(ATTR_LOGIN_OWNER, 1);
      api_string_set(ATTR_LOGIN_PRIVILEGE_PASSWORD, "demo");
      if (api_login() != 0) ++failures;
      api_wait(0);
    }
    auto end = std::chrono::steady_clock::now() + kStartLimit;
    while (entered + failures < kBots && std::chrono::steady_clock::now() < end) api_wait(10);

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
