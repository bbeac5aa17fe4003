// Bots in one process: 1000 library instances in this process, all logged in
// and in one world of an orbilo-server (a child process) with a crowd of 50,
// pumped by one thread for 60 s of real time. Every bot shows itself once, so
// that the crowd walks up to the bots and asks them things and every bot sees
// every other; the crowd moves each member twice a second.
//
// Every bot keeps a tally of what its events delivered (bench/bot_tally.h).
// At the end the crowd is stopped, the server tells what it put into each
// bot's link, the bots read what is still on its way, and the tallies are
// compared.
//
// bots_in_one_process is the number of bots whose every count and digest
// match, with no damaged event and no lost link. ORBILO_BOTS_SECONDS shortens
// (or lengthens) the run for a quick try; ORBILO_BOTS sets another number of
// bots.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "bot_fleet.h"
#include "bot_tally.h"
#include "sdk/sdk.h"
#include "support/child_process.h"
#include "support/scratch_directory.h"

using namespace orbilo;

namespace {

constexpr int kBots = 1000;
constexpr int kRunSeconds = 60;
constexpr int kCrowd = 50;
// Per member and tick, in thousandths: a member asks a bot something about
// once in 25 s, the whole crowd about twice a second.
constexpr int kCrowdChatPerMille = 20;
constexpr auto kStartLimit = std::chrono::seconds(180);
// After the crowd stops, what is on its way arrives well within this.
constexpr int kDrainLimitSeconds = 60;
constexpr int kBotSpacing = 125;  // the bots stand on a grid of this pitch

void BM_BotsInOneProcess(benchmark::State& state) {
  int bot_count = env_setting("ORBILO_BOTS", kBots);
  auto run = std::chrono::seconds(env_setting("ORBILO_BOTS_SECONDS", kRunSeconds));
  for (auto _ : state) {
    raise_descriptor_limit();
    api_term();  // whatever an earlier benchmark left
    malloc_trim(0);
    tally_reset(bot_count, 1);
    long resident_before = process_resident_kib();
    if (api_init(ORBILO_SDK_BUILD) != 0) return state.SkipWithError("api_init failed");
    // A configuration with the crowd's chance of asking.
    ScratchDirectory scratch;
    scratch.write("bots.conf",
                  "[server]\ncrowd_chat = " + std::to_string(kCrowdChatPerMille) + "\n");
    ChildProcess server(server_arguments(
        {"--world", "bench=127.0.0.1:0", "--crowd", std::to_string(kCrowd), "--seed", "1",
         "--max-clients", "5000", "--config", scratch.path("bots.conf")},
        true));
    int port = server.port("universe");
    if (port == 0) return state.SkipWithError("orbilo-server did not start");
    tally_install(true);

    std::vector<void*> instances;
    int entered = bots_enter(port, bot_count, "bench", kStartLimit, &instances);
    bots_show(instances, 0, static_cast<int>(instances.size()), kBotSpacing);

    // Every bot sees every other and the whole crowd before the run starts.
    bots_settle(instances, kCrowd + entered - 1, kStartLimit);
    // The measurement: the pump over every bot, for the whole run.
    double cpu_before = process_cpu_seconds();
    double server_cpu_before = server.cpu_seconds();
    auto start = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - start < run) api_wait(50);
    std::chrono::duration<double> spent = std::chrono::steady_clock::now() - start;
    double cpu = process_cpu_seconds() - cpu_before;
    double server_cpu = server.cpu_seconds() - server_cpu_before;
    long resident_after = process_resident_kib();

    TallyResult result =
        tally_compare(instances, tally_final_counts(server, instances, kDrainLimitSeconds),
                      "bots_in_one_process");
    double bots = std::max(1, entered);
    state.counters["figure:bots_in_one_process"] = result.held;
    state.counters["figure:bots_entered"] = entered;
    state.counters["figure:bots_disconnected"] = result.disconnected;
    state.counters["figure:bots_messages_sent"] = static_cast<double>(result.sent);
    state.counters["figure:bots_messages_received"] = static_cast<double>(result.received);
    state.counters["figure:bots_messages_lost"] = static_cast<double>(result.lost);
    state.counters["figure:bots_messages_corrupted"] = static_cast<double>(result.damaged);
    state.counters["figure:bots_seconds"] = spent.count();
    state.counters["figure:pump_cpu_us_per_bot_per_s"] = cpu * 1e6 / bots / spent.count();
    state.counters["figure:bots_server_cpu_percent"] = 100.0 * server_cpu / spent.count();
    state.counters["figure:memory_kib_per_bot"] =
        static_cast<double>(resident_after - resident_before) / bots;
    tally_install(false);
    api_term();
  }
}
BENCHMARK(BM_BotsInOneProcess)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace
