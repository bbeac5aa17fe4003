// The kick's response time with the own-loop example's pattern: a bot on a
// thread of its own polls the library's descriptor for as long as
// api_next_timeout() says, then calls api_wait(0); scripted universe and
// world servers on loopback. From an avatar change that kicks leaving the
// world to the bot's new state arriving back, per kick.
#include <benchmark/benchmark.h>
#include <poll.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "sdk/sdk.h"
#include "support/scripted_peer.h"

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

// Logs the bot in (link receives the universe link) and brings it into the
// world; the world link, or an invalid one.
scripted::Link bring_in(scripted::Server& universe, scripted::Server& world, scripted::Link& link) {
  link = universe.accept();
  if (!link.receive_first()) return {};
  const std::uint8_t check[4] = {1, 2, 3, 4};
  link.send_keys(true, 0, 0);
  link.send(messages::universe_attributes({{6, "35"}}));
  link.send(messages::login_reply(35, 5, "Ball", 1, check));
  for (;;) {
    auto request = link.receive();
    if (!request) return {};
    if (request->id != 24) continue;
    link.send(messages::world_reply("demo", world.host_port(), 39));
    break;
  }
  scripted::Link in_world = world.accept();
  if (!in_world.receive_first()) return {};
  in_world.send_keys(false, 0, 0);
  in_world.send(messages::world_attributes({{21, "39"}}));
  while (auto message = in_world.receive()) {
    if (message->id != 8) continue;
    while (!in_world.quiet(200)) in_world.receive();
    return in_world;
  }
  return {};
}

void BM_OwnLoopKickResponse(benchmark::State& state) {
  for (auto _ : state) {
    scripted::Server universe, world;
    stopping = false;
    std::thread bot(run_bot, universe.host_port());
    scripted::Link universe_link;  // kept open while the bot runs
    scripted::Link link = bring_in(universe, world, universe_link);
    std::vector<double> times;
    if (link.valid()) {
      link.send(messages::avatar_add({.session = 7, .name = "Kicker"}));
      int ball_x = 0, ball_z = 0;
      for (int kick = 0; kick < kKicks; ++kick) {
        auto start = std::chrono::steady_clock::now();
        link.send(messages::avatar_change(
            {.session = 7, .x = ball_x, .z = ball_z, .gesture = kKickGesture}));
        auto moved = link.receive();
        while (moved && moved->id != 8) moved = link.receive();
        if (!moved) break;
        std::chrono::duration<double, std::milli> spent = std::chrono::steady_clock::now() - start;
        times.push_back(spent.count());
        messages::Read read(moved->body);
        ball_x = static_cast<std::int32_t>(read.long32());
        read.long32();
        ball_z = static_cast<std::int32_t>(read.long32());
      }
    }
    stopping = true;
    bot.join();
    if (times.size() != static_cast<std::size_t>(kKicks)) {
      state.SkipWithError("the own-loop bot did not answer every kick");
      return;
    }
    std::sort(times.begin(), times.end());
    state.counters["figure:own_loop_kick_response_ms_p50"] = times[times.size() / 2];
    state.counters["figure:own_loop_kick_response_ms_p99"] = times[times.size() * 99 / 100];
  }
}
BENCHMARK(BM_OwnLoopKickResponse)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
