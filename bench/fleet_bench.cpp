// A fleet in one process: 5000 library instances, spread over 50 worlds of
// one orbilo-server (100 bots a world, a crowd of 10 in each), pumped by one
// thread for 60 s of real time. Every bot keeps the tally of
// bench/bot_tally.h, compared at the end with what the server says it sent.
// Then, with the crowds stopped, the pump's idle pass over the whole fleet;
// then orbilo-server is killed with SIGKILL and started again on the same
// ports, and the fleet must all come back and keep its tallies again.
//
// ORBILO_FLEET_BOTS and ORBILO_FLEET_SECONDS change the size and the time.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "bot_fleet.h"
#include "bot_tally.h"
#include "sdk/instance.h"
#include "sdk/sdk.h"
#include "support/child_process.h"
#include "support/scratch_directory.h"

using namespace orbilo;

namespace {

constexpr int kBots = 5000;
constexpr int kRunSeconds = 60;
constexpr int kBotsPerWorld = 100;
constexpr int kCrowd = 10;
constexpr int kCrowdChatPerMille = 20;
constexpr auto kStartLimit = std::chrono::seconds(120);
constexpr int kDrainLimitSeconds = 30;
constexpr int kBotSpacing = 150;
constexpr auto kRecoveryLimit = std::chrono::seconds(90);
constexpr auto kAfterRecoveryRun = std::chrono::seconds(10);
constexpr auto kIdleMeasure = std::chrono::seconds(2);

using Clock = std::chrono::steady_clock;

std::string world_name(int world) {
  char name[16];
  std::snprintf(name, sizeof name, "w%d", world);
  return name;
}

// The server's arguments, with the universe and each world at the ports
// given (0: the system picks).
std::vector<std::string> fleet_arguments(int worlds, const std::string& config, int universe_port,
                                         const std::vector<int>& world_ports) {
  std::vector<std::string> more = {
      "--crowd", std::to_string(kCrowd), "--seed", "1", "--max-clients", "20000", "--config",
      config};
  for (int world = 0; world < worlds; ++world) {
    int port = world < static_cast<int>(world_ports.size()) ? world_ports[world] : 0;
    more.push_back("--world");
    more.push_back(world_name(world) + "=127.0.0.1:" + std::to_string(port));
  }
  std::vector<std::string> arguments = server_arguments(more, true);
  // server_arguments puts the universe at port 0; a restart needs its own.
  for (std::size_t k = 0; k + 1 < arguments.size(); ++k) {
    if (arguments[k] == "--universe")
      arguments[k + 1] = "127.0.0.1:" + std::to_string(universe_port);
  }
  return arguments;
}

std::uint64_t events_delivered(const std::vector<void*>& instances) {
  std::uint64_t total = 0;
  for (void* instance : instances) total += tally_of(instance).total();
  return total;
}

// Pumps until every bot has had its world attributes more often than
// entries[k], or limit has passed: the seconds it took, or -1.
double recover(const std::vector<void*>& instances, const std::vector<int>& entries,
               std::chrono::seconds limit) {
  auto start = Clock::now();
  auto back = [&] {
    for (std::size_t k = 0; k < instances.size(); ++k) {
      auto* record = static_cast<Instance*>(instances[k]);
      if (tally_of(instances[k]).world_entries <= entries[k] ||
          record->world_state != kWorldEntered)
        return false;
    }
    return true;
  };
  while (!back()) {
    if (Clock::now() - start > limit) {
      int states[5] = {}, again = 0;
      for (std::size_t k = 0; k < instances.size(); ++k) {
        auto* record = static_cast<Instance*>(instances[k]);
        ++states[record->world_state % 5];
        again += tally_of(instances[k]).world_entries > entries[k];
      }
      api_instance_set(instances[0]);
      std::fprintf(
          stderr, "fleet: bot0 disconnect reason %d, universe state %d, last world message %d\n",
          api_int(ATTR_DISCONNECT_REASON), static_cast<Instance*>(instances[0])->universe_state,
          static_cast<Instance*>(instances[0])->last_world_message_id);
      std::fprintf(stderr,
                   "fleet: not all back: %d with new world attributes; world states 0:%d 1:%d "
                   "3:%d 4:%d\n",
                   again, states[0], states[1], states[3], states[4]);
      return -1;
    }
    api_wait(20);
  }
  return std::chrono::duration<double>(Clock::now() - start).count();
}

void BM_Fleet(benchmark::State& state) {
  int bot_count = env_setting("ORBILO_FLEET_BOTS", kBots);
  auto run = std::chrono::seconds(env_setting("ORBILO_FLEET_SECONDS", kRunSeconds));
  int worlds = (bot_count + kBotsPerWorld - 1) / kBotsPerWorld;
  for (auto _ : state) {
    raise_descriptor_limit();
    api_term();  // whatever an earlier benchmark left
    tally_reset(bot_count, worlds);
    malloc_trim(0);
    long resident_before = process_resident_kib();
    if (api_init(ORBILO_SDK_BUILD) != 0) return state.SkipWithError("api_init failed");
    ScratchDirectory scratch;
    scratch.write("fleet.conf",
                  "[server]\ncrowd_chat = " + std::to_string(kCrowdChatPerMille) + "\n");
    ChildProcess server(fleet_arguments(worlds, scratch.path("fleet.conf"), 0, {}));
    int port = server.port("universe");
    std::vector<int> world_ports;
    for (int world = 0; world < worlds; ++world) {
      world_ports.push_back(server.port("world \"" + world_name(world) + "\""));
    }
    if (port == 0 || std::count(world_ports.begin(), world_ports.end(), 0) > 0)
      return state.SkipWithError("orbilo-server did not start");
    tally_install(true, true);

    std::vector<void*> instances;
    int entered = 0;
    for (int world = 0; world < worlds; ++world) {
      int first = world * kBotsPerWorld;
      int count = std::min(kBotsPerWorld, bot_count - first);
      entered += bots_enter(port, count, world_name(world).c_str(), kStartLimit, &instances, first);
    }
    for (int world = 0; world < worlds; ++world) {
      int first = world * kBotsPerWorld;
      int count = std::min(kBotsPerWorld, static_cast<int>(instances.size()) - first);
      if (count > 0) bots_show(instances, first, count, kBotSpacing);
    }
    int smallest_world = std::min(kBotsPerWorld, bot_count - (worlds - 1) * kBotsPerWorld);
    bots_settle(instances, kCrowd + smallest_world - 1, kStartLimit);

    // The run: the pump over the whole fleet.
    std::uint64_t events_before = events_delivered(instances);
    double cpu_before = process_cpu_seconds();
    double server_cpu_before = server.cpu_seconds();
    auto start = Clock::now();
    while (Clock::now() - start < run) api_wait(50);
    std::chrono::duration<double> spent = Clock::now() - start;
    double cpu = process_cpu_seconds() - cpu_before;
    double server_cpu = server.cpu_seconds() - server_cpu_before;
    std::uint64_t events = events_delivered(instances) - events_before;
    long resident_after = process_resident_kib();
    TallyResult result = tally_compare(
        instances, tally_final_counts(server, instances, kDrainLimitSeconds), "fleet");

    // The idle pass: the crowds stand still and nothing is on its way.
    api_wait(0);
    auto idle_start = Clock::now();
    long passes = 0;
    while (Clock::now() - idle_start < kIdleMeasure) {
      api_wait(0);
      ++passes;
    }
    std::chrono::duration<double, std::micro> idle = Clock::now() - idle_start;

    // Recovery: every link is cut at once, the server comes back on the same
    // ports, and the bots must all be in their worlds again.
    std::vector<int> entries;
    for (void* instance : instances) entries.push_back(tally_of(instance).world_entries);
    server.kill_hard();
    tally_forget_sessions();
    api_wait(100);  // the losses are found
    server.start(fleet_arguments(worlds, scratch.path("fleet.conf"), port, world_ports));
    if (server.port("universe") != port)
      return state.SkipWithError("orbilo-server did not restart");
    double recovery = recover(instances, entries, kRecoveryLimit);
    if (recovery < 0) {
      std::vector<std::string> lines = server.lines();
      for (std::size_t k = lines.size() > 40 ? lines.size() - 40 : 0; k < lines.size(); ++k)
        std::fprintf(stderr, "server: %s\n", lines[k].c_str());
      std::fprintf(stderr, "server err: %s\n", server.err().substr(0, 3000).c_str());
    }
    for (void* instance : instances) tally_of(instance).disconnects = 0;
    auto again = Clock::now();
    while (Clock::now() - again < kAfterRecoveryRun) api_wait(50);
    TallyResult after =
        tally_compare(instances, tally_final_counts(server, instances, kDrainLimitSeconds),
                      "fleet after recovery");

    double bots = std::max(1, entered);
    state.counters["figure:fleet_bots"] = result.held;
    state.counters["figure:fleet_entered"] = entered;
    state.counters["figure:fleet_disconnected"] = result.disconnected;
    state.counters["figure:fleet_messages_sent"] = static_cast<double>(result.sent);
    state.counters["figure:fleet_messages_lost"] = static_cast<double>(result.lost);
    state.counters["figure:fleet_messages_corrupted"] = static_cast<double>(result.damaged);
    state.counters["figure:fleet_seconds"] = spent.count();
    state.counters["figure:fleet_memory_kib_per_bot"] =
        static_cast<double>(resident_after - resident_before) / bots;
    state.counters["figure:fleet_pump_cpu_us_per_event"] =
        events > 0 ? cpu * 1e6 / static_cast<double>(events) : 0;
    state.counters["figure:fleet_events_per_s"] = static_cast<double>(events) / spent.count();
    state.counters["figure:fleet_server_cpu_percent"] = 100.0 * server_cpu / spent.count();
    state.counters["figure:pump_pass_us_5000_idle"] =
        passes > 0 ? idle.count() / static_cast<double>(passes) : 0;
    state.counters["figure:fleet_recovery_s"] = recovery;
    state.counters["figure:fleet_bots_after_recovery"] = after.held;
    state.counters["figure:fleet_messages_lost_after_recovery"] = static_cast<double>(after.lost);
    state.counters["figure:fleet_messages_corrupted_after_recovery"] =
        static_cast<double>(after.damaged);
    tally_install(false);
    api_term();
  }
}
BENCHMARK(BM_Fleet)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace
