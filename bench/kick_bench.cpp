// The kick's response time: orbilo-console against scripted universe, world
// and version servers on loopback; from an avatar change that kicks the ball
// leaving the world to the bot's new state arriving back, per kick.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/scripted_peer.h"

using namespace orbilo;

extern char** environ;

namespace {

using scripted::Body;
using scripted::Bytes;

constexpr int kKicks = 300;

int be_long(const Bytes& bytes, std::size_t at) {
  return static_cast<int>(static_cast<std::uint32_t>(bytes[at]) << 24 | bytes[at + 1] << 16 |
                          bytes[at + 2] << 8 | bytes[at + 3]);
}

pid_t start_console(const std::string& directory) {
  char self[4096] = {};
  ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  std::string path(self, length > 0 ? static_cast<std::size_t>(length) : 0);
  path = path.substr(0, path.rfind('/') + 1) + "orbilo-console";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::string dir = directory;
  char* argv[] = {path.data(), const_cast<char*>("-C"), dir.data(), nullptr};
  pid_t pid = -1;
  if (posix_spawn(&pid, path.c_str(), &actions, nullptr, argv, environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

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
  link.send_keys(true, 0, 0);
  link.send_universe(0, 21, Body().byte(6).string("35").bytes_);
  link.send_universe(0, 20, Body().word(5).string("Ball").long_(1).bytes({1, 2, 3, 4}).bytes_);
  for (int replies = 0; replies < 2; ++replies) {
    auto request = link.receive();
    if (!request) return {};
    if (request->id == 55)
      link.send_universe(0, 25, Body().long_(1).byte(0).string("Owner").bytes_);
    if (request->id == 24) {
      link.send_universe(0, 0,
                         Body()
                             .string("demo")
                             .long_(0x7f000001)
                             .word(world.host_port())
                             .word(39)
                             .word(0)
                             .word(0)
                             .bytes_);
    }
  }
  scripted::Link in_world = world.accept();
  if (!in_world.receive_first()) return {};
  in_world.send_keys(false, 0, 0);
  in_world.send_world(1, Body().byte(21).data({'3', '9'}).bytes_);
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
    char pattern[] = "/tmp/orbilo-kick-XXXXXX";
    std::string directory = mkdtemp(pattern);
    scripted::Server version, universe, world;
    std::ofstream(directory + "/orbilo.ini")
        << "[Main]\nName=Ball\nCitizen=1\nPassword=demo\nWorld=demo\n[universe]\nhost=127.0.0.1\n"
        << "port=" << universe.host_port()
        << "\n[version]\nhost=127.0.0.1\nport=" << version.host_port() << "\n";
    pid_t console = start_console(directory);
    scripted::Link universe_link;  // kept open while the bot runs
    scripted::Link link = bring_in(version, universe, world, universe_link);
    std::vector<double> times;
    if (link.valid()) {
      link.send_world(2, Body()
                             .long_(7)
                             .string("Kicker")
                             .long_(0)
                             .long_(0)
                             .long_(0)
                             .word(0)
                             .byte(0)
                             .byte(0)
                             .word(0)
                             .long_(0)
                             .long_(0)
                             .bytes_);
      int ball_x = 0, ball_z = 0;
      for (int kick = 0; kick < kKicks; ++kick) {
        int yaw = (kick * 450) % 3600;
        auto start = std::chrono::steady_clock::now();
        link.send_world(
            4,
            Body().word(7).long_(ball_x).long_(0).long_(ball_z).word(yaw).byte(0).byte(1).bytes_);
        auto moved = link.receive();
        if (!moved || moved->id != 8) break;
        std::chrono::duration<double, std::milli> spent = std::chrono::steady_clock::now() - start;
        times.push_back(spent.count());
        ball_x = be_long(moved->body, 0);
        ball_z = be_long(moved->body, 8);
      }
    }
    if (console > 0) {
      kill(console, SIGTERM);
      waitpid(console, nullptr, 0);
    }
    std::filesystem::remove_all(directory);
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
