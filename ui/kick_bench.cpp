// The kick's response time in the window: the login page driven by Qt's
// event loop against scripted universe, world and version servers on
// loopback; from an avatar change that kicks the ball leaving the world to
// the bot's new state arriving back, per kick. The servers run on a thread
// of their own while the window's loop runs here. With
// ORBILO_UI_BENCH_TIMER_ONLY=1 the page pumps on its timer alone.
#include "ui/kick_bench.h"

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <orbilo/sdk.h>

#include "support/scratch_directory.h"
#include "support/scripted_peer.h"
#include "ui/bot_tabs.h"
#include "ui/login_page.h"
#include "ui/message_boxes.h"

using namespace orbilo;

namespace {

using scripted::Bytes;

constexpr int kKicks = 300;

struct SilentBoxes : MessageBoxes {
  void Show(QWidget*, const QString&, const QString&, QMessageBox::Icon) override {}
};

// Answers the version query, logs the bot in (link receives the universe
// link) and brings it into the world; the world link, or an invalid one.
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

// The world's side: brings the bot in, then kicks and times each answer.
void kick(scripted::Server& version, scripted::Server& universe, scripted::Server& world,
          std::vector<double>* times) {
  scripted::Link universe_link;  // kept open while the bot runs
  scripted::Link link = bring_in(version, universe, world, universe_link);
  if (!link.valid()) return;
  link.send(messages::avatar_add({.session = 7, .name = "Kicker"}));
  int ball_x = 0, ball_z = 0;
  for (int kick = 0; kick < kKicks; ++kick) {
    int yaw = (kick * 450) % 3600;
    auto start = std::chrono::steady_clock::now();
    link.send(messages::avatar_change(
        {.session = 7, .x = ball_x, .z = ball_z, .yaw = yaw, .gesture = 1}));
    auto moved = link.receive();
    if (!moved || moved->id != 8) return;
    std::chrono::duration<double, std::milli> spent = std::chrono::steady_clock::now() - start;
    times->push_back(spent.count());
    messages::Read read(moved->body);
    ball_x = static_cast<std::int32_t>(read.long32());
    read.long32();
    ball_z = static_cast<std::int32_t>(read.long32());
  }
}

}  // namespace

bool window_kick_bench() {
  const char* timer_only = std::getenv("ORBILO_UI_BENCH_TIMER_ONLY");
  bool wake = timer_only == nullptr || std::string(timer_only) != "1";
  SilentBoxes boxes;
  MessageBoxes::Replace(&boxes);
  api_init(ORBILO_SDK_BUILD);
  std::vector<double> times;
  {
    ScratchDirectory scratch;
    scripted::Server version, universe, world;
    IniPath = scratch.path("orbilo.ini");
    std::ofstream(IniPath) << "[Main]\nName=Ball\nCitizen=1\nPassword=demo\nWorld=demo\n"
                           << "[universe]\nhost=127.0.0.1\nport=" << universe.host_port()
                           << "\n[version]\nhost=127.0.0.1\nport=" << version.host_port() << "\n";
    CBotTabs window;
    window.show();
    window.Login()->SetDescriptorWake(wake);
    std::atomic<bool> done{false};
    std::thread servers([&] {
      kick(version, universe, world, &times);
      done = true;
    });
    window.Login()->Button(1006)->click();  // returns once the version server has answered
    QEventLoop loop;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, &loop, [&] {
      if (done) loop.quit();
    });
    watch.start(20);
    loop.exec();
    servers.join();
  }
  MessageBoxes::Replace(nullptr);
  if (times.size() != static_cast<std::size_t>(kKicks)) {
    std::fprintf(stderr, "window_kick_response: the window did not answer every kick\n");
    return false;
  }
  std::sort(times.begin(), times.end());
  std::printf("window_kick_response_ms_p50: %.3f\n", times[times.size() / 2]);
  std::printf("window_kick_response_ms_p99: %.3f\n", times[times.size() * 99 / 100]);
  return true;
}
