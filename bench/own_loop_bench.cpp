// The kick's response time with the own-loop example's pattern: a bot on a
// thread of its own polls the library's descriptor for as long as
// api_next_timeout() says, then calls api_wait(0); scripted universe and
// world servers on loopback. From an avatar change that kicks leaving the
// world to the bot's new state arriving back, per kick.
#include <benchmark/benchmark.h>
#include <poll.h>

#include <atomic>
#include <thread>
#include <vector>

#include "sdk/sdk.h"
#include "support/kick_peer.h"

using namespace orbilo;

namespace {

constexpr int kKicks = 300;
constexpr int kKickGesture = 1;

std::atomic<bool> stopping{false};

// Where the kick sends the bot: a step on from the kicker.
void on_avatar_change() {
  if (api_int(ATTR_AVATAR_GESTURE) != kKickGesture) return;
  api_int_set(ATTR_MY_X, api_int(ATTR_AVATAR_X) + 100);
  api_int_set(ATTR_MY_Z, api_int(ATTR_AVATAR_Z));
  api_state_change();
}

void on_enter(int rc) {
  if (rc == 0) api_state_change();
}

void on_login(int rc) {
  if (rc == 0) api_enter("demo");
}

// The own-loop bot, from api_init to api_term on this thread. The poll's
// wait is capped only so that the loop sees the stop flag.
void run_bot(int universe_port) {
  if (api_init(ORBILO_SDK_BUILD) != 0) return;
  api_callback_set(CALLBACK_LOGIN, on_login);
  api_callback_set(CALLBACK_ENTER, on_enter);
  api_event_set(EVENT_AVATAR_CHANGE, on_avatar_change);
  if (api_create("127.0.0.1", universe_port, nullptr) == 0) {
    api_string_set(ATTR_LOGIN_NAME, "Ball");
    api_int_set(ATTR_LOGIN_OWNER, 1);
    api_string_set(ATTR_LOGIN_PRIVILEGE_PASSWORD, "demo");
    api_login();
    while (!stopping) {
      pollfd ready{api_descriptor(), POLLIN, 0};
      int timeout = api_next_timeout();
      poll(&ready, 1, timeout < 0 || timeout > 100 ? 100 : timeout);
      api_wait(0);
    }
  }
  api_term();
}

void BM_OwnLoopKickResponse(benchmark::State& state) {
  for (auto _ : state) {
    scripted::Server universe, world;
    stopping = false;
    std::thread bot(run_bot, universe.host_port());
    const kick::Kicks kicks{
        .count = kKicks, .gesture = kKickGesture, .turn = false, .others_between = true};
    std::vector<double> times =
        kick::bring_in_and_kick({.asks_citizen = false}, universe, world, kicks);
    stopping = true;
    bot.join();
    // figure:own_loop_kick_response_ms_p50 and figure:own_loop_kick_response_ms_p99
    auto figures = kick::figures(times, kicks, "own_loop_kick_response_ms");
    if (!figures) return state.SkipWithError("the own-loop bot did not answer every kick");
    for (const kick::Figure& figure : *figures)
      state.counters["figure:" + figure.name] = figure.value;
  }
}
BENCHMARK(BM_OwnLoopKickResponse)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
