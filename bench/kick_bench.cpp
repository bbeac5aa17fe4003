// The kick's response time: orbilo-console against scripted universe, world
// and version servers on loopback; from an avatar change that kicks the ball
// leaving the world to the bot's new state arriving back, per kick.
#include <benchmark/benchmark.h>

#include <vector>

#include "support/child_process.h"
#include "support/kick_peer.h"
#include "support/scratch_directory.h"

using namespace orbilo;

namespace {

void BM_KickResponse(benchmark::State& state) {
  for (auto _ : state) {
    ScratchDirectory scratch;
    scripted::Server version, universe, world;
    scratch.write("orbilo.ini", kick::ini(universe.host_port(), version.host_port()));
    ChildProcess console({program_beside("orbilo-console"), "-C", scratch.path()});
    const kick::Kicks kicks;
    std::vector<double> times =
        kick::bring_in_and_kick({.version = &version}, universe, world, kicks);
    // figure:kick_response_ms_p50 and figure:kick_response_ms_p99
    auto figures = kick::figures(times, kicks, "kick_response_ms");
    if (!figures) return state.SkipWithError("the console did not answer every kick");
    for (const kick::Figure& figure : *figures)
      state.counters["figure:" + figure.name] = figure.value;
  }
}
BENCHMARK(BM_KickResponse)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
