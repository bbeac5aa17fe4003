// Avatar changes delivered to a handler that reads four attributes, per
// second: in Python over the binding (python_events_per_s) and in C for the
// same work (c_events_per_s). Each bot runs in a child process of its own
// against scripted universe and world servers on loopback, whose world sends
// changes as fast as the bot takes them. The C bot is this program again,
// started with ORBILO_EVENTS_PORT: then it runs only BM_CEventsChild.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "sdk/sdk.h"
#include "support/child_process.h"
#include "support/kick_peer.h"

using namespace orbilo;

namespace {

constexpr int kSeconds = 3;
constexpr int kChangesPerSend = 512;
constexpr int kChildLimitMs = (kSeconds + 20) * 1000;
constexpr const char* kPortVariable = "ORBILO_EVENTS_PORT";

// Sends avatar changes of one avatar in batches until the link fails (the
// bot has gone) or stop is set.
void flood(scripted::Link& link, const std::atomic<bool>& stop) {
  link.send(messages::avatar_add({.session = 7, .name = "Runner"}));
  messages::Bytes batch;
  for (int k = 0; k < kChangesPerSend; ++k) {
    messages::Bytes frame = messages::frame(
        messages::avatar_change({.session = 7, .x = k, .z = -k, .yaw = (k * 10) % 3600}));
    batch.insert(batch.end(), frame.begin(), frame.end());
  }
  while (!stop && link.send_raw(batch)) {
  }
}

// Runs the bot that command(port) starts against the flooding world and
// returns the figure it prints as "name: value", or -1.
double child_figure(const std::function<std::vector<std::string>(int)>& command,
                    const std::string& name) {
  scripted::Server universe, world;
  ChildProcess bot(command(universe.host_port()));
  scripted::Link universe_link;  // kept open while the bot runs
  scripted::Link link = kick::bring_in({.asks_citizen = false}, universe, world, universe_link);
  if (!link.valid()) {
    std::fprintf(stderr, "the bot for %s did not come in: %s\n", name.c_str(), bot.err().c_str());
    return -1;
  }
  std::atomic<bool> stop{false};
  std::thread sender(flood, std::ref(link), std::cref(stop));
  int status = bot.finish(kChildLimitMs);
  stop = true;
  link.close();
  sender.join();
  std::smatch match;
  std::string out = bot.out();
  if (status != 0 || !std::regex_search(out, match, std::regex(name + ": ([0-9.]+)"))) {
    std::fprintf(stderr, "the bot for %s ended with %d:\n%s%s\n", name.c_str(), status, out.c_str(),
                 bot.err().c_str());
    return -1;
  }
  return std::stod(match[1]);
}

void BM_PythonEvents(benchmark::State& state) {
  for (auto _ : state) {
    double python = -1;
#ifdef ORBILO_PYTHON
    python = child_figure(
        [](int port) {
          return std::vector<std::string>{"/usr/bin/env",
                                          "PYTHONPATH=" ORBILO_PYTHON_PATH,
                                          "ORBILO_SDK_LIBRARY=" ORBILO_SDK_LIBRARY,
                                          ORBILO_PYTHON,
                                          ORBILO_PYTHON_EVENTS,
                                          std::to_string(port),
                                          std::to_string(kSeconds)};
        },
        "python_events_per_s");
#endif
    double c = child_figure(
        [](int port) {
          return std::vector<std::string>{
              "/usr/bin/env", std::string(kPortVariable) + "=" + std::to_string(port),
              program_beside("orbilo_bench"), "--benchmark_filter=^BM_CEventsChild/"};
        },
        "c_events_per_s");
    // figure:python_events_per_s and figure:c_events_per_s
    if (c >= 0) state.counters["figure:c_events_per_s"] = c;
    if (python < 0) return state.SkipWithError("the Python bot did not report (no python3?)");
    if (c < 0) return state.SkipWithError("the C bot did not report its figure");
    state.counters["figure:python_events_per_s"] = python;
  }
}
BENCHMARK(BM_PythonEvents)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// ---- The C bot, in the child ----------------------------------------------

long changes = 0;

void on_avatar_change() {
  api_string(ATTR_AVATAR_NAME);
  api_int(ATTR_AVATAR_X);
  api_int(ATTR_AVATAR_Z);
  api_int(ATTR_AVATAR_YAW);
  ++changes;
}

void BM_CEventsChild(benchmark::State& state, int port) {
  for (auto _ : state) {
    if (api_init(ORBILO_SDK_BUILD) != 0 || api_create("127.0.0.1", port, nullptr) != 0) {
      return state.SkipWithError("no library");
    }
    api_event_set(EVENT_AVATAR_CHANGE, on_avatar_change);
    api_string_set(ATTR_LOGIN_NAME, "Ball");
    api_int_set(ATTR_LOGIN_OWNER, 1);
    api_string_set(ATTR_LOGIN_PRIVILEGE_PASSWORD, "demo");
    if (api_login() != 0 || api_enter("demo") != 0 || api_state_change() != 0) {
      api_term();
      return state.SkipWithError("the bot did not enter");
    }
    for (int waited = 0; changes == 0 && waited < 10000; waited += 10) api_wait(10);
    long first = changes;
    auto start = std::chrono::steady_clock::now();
    api_wait(kSeconds * 1000);
    std::chrono::duration<double> spent = std::chrono::steady_clock::now() - start;
    state.counters["figure:c_events_per_s"] = static_cast<double>(changes - first) / spent.count();
    api_term();
  }
}

// Registered only in the child that the benchmark above starts.
const bool c_child_registered = [] {
  const char* port = std::getenv(kPortVariable);
  if (port != nullptr) {
    benchmark::RegisterBenchmark("BM_CEventsChild", BM_CEventsChild, std::atoi(port))
        ->Iterations(1)
        ->UseRealTime();
  }
  return port != nullptr;
}();

}  // namespace
