// The kick's response time: orbilo-console against scripted universe, world
// and version servers on loopback; from an avatar change that kicks the ball
// leaving the world to the bot's new state arriving back, per kick.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/scratch_directory.h"
#include "support/scripted_peer.h"

using namespace orbilo;

namespace {

using scripted::Bytes;

constexpr int kKicks = 300;

// Logs the console in (link receives the universe link) and brings it into
// the world; the world link, or an invalid one.
scripted::Link bring_in(scripted::Server& version, scripted::Server& universe,
                        scripted::Server& world, scripted::Link& link) {
  scripted::Link asked = version.accept();
  asked.peer().receive(9);  // "4:Orbilo\n"
  asked.send_raw(Bytes{'0', '0', '0', '0', '1', '+'});
  asked.close();

  link = universe.accept();
  if (!link.receive_first()) return {};
  const std::uint8_t check[4] = {1, 2, 3, 4};
  link.send_keys(true, 0, 0);
  link.send(messages::universe_attributes({{6, "35"}}));
  link.send(messages::login_reply(35, 5, "Ball", 1, check));
  for (int replies = 0; replies < 2; ++replies) {
    auto request = link.receive();
    if (!request) return {};
    if (request->id == 55) link.send(messages::citizen_reply(1, "Owner"));
    if (request->id == 24) link.send(messages::world_reply("demo", world.host_port(), 39));
  }
  scripted::Link in_world = world.accept();
  if (!in_world.receive_first()) return {};
  in_world.send_keys(false, 0, 0);
  in_world.send(messages::world_attributes({{21, "39"}}));
  // The event mask, then the bot's first state at its home (twice: once
  // placed, once re-sent as the world's attributes complete).
  while (auto message = in_world.receive()) {
    if (message->id != 8) continue;
    while (!in_world.quiet(200)) in_world.receive();
    return in_world;
  }
  return {};
}

void BM_KickResponse(benchmark::State& state) {
  for (auto _ : state) {
    ScratchDirectory scratch;
    scripted::Server version, universe, world;
    scratch.write("orbilo.ini",
                  "[Main]\nName=Ball\nCitizen=1\nPassword=demo\nWorld=demo\n[universe]\n"
                  "host=127.0.0.1\nport=" +
                      std::to_string(universe.host_port()) + "\n[version]\nhost=127.0.0.1\nport=" +
                      std::to_string(version.host_port()) + "\n");
    ChildProcess console({program_beside("orbilo-console"), "-C", scratch.path()});
    scripted::Link universe_link;  // kept open while the bot runs
    scripted::Link link = bring_in(version, universe, world, universe_link);
    std::vector<double> times;
    if (link.valid()) {
      link.send(messages::avatar_add({.session = 7, .name = "Kicker"}));
      int ball_x = 0, ball_z = 0;
      for (int kick = 0; kick < kKicks; ++kick) {
        int yaw = (kick * 450) % 3600;
        auto start = std::chrono::steady_clock::now();
        link.send(messages::avatar_change(
            {.session = 7, .x = ball_x, .z = ball_z, .yaw = yaw, .gesture = 1}));
        auto moved = link.receive();
        if (!moved || moved->id != 8) break;
        std::chrono::duration<double, std::milli> spent = std::chrono::steady_clock::now() - start;
        times.push_back(spent.count());
        messages::Read read(moved->body);
        ball_x = static_cast<std::int32_t>(read.long32());
        read.long32();
        ball_z = static_cast<std::int32_t>(read.long32());
      }
    }
    if (times.size() != static_cast<std::size_t>(kKicks)) {
      state.SkipWithError("the console did not answer every kick");
      return;
    }
    std::sort(times.begin(), times.end());
    state.counters["figure:kick_response_ms_p50"] = times[times.size() / 2];
    state.counters["figure:kick_response_ms_p99"] = times[times.size() * 99 / 100];
  }
}
BENCHMARK(BM_KickResponse)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
