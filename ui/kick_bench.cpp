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
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <orbilo/sdk.h>

#include "support/kick_peer.h"
#include "support/scratch_directory.h"
#include "ui/bot_tabs.h"
#include "ui/login_page.h"
#include "ui/message_boxes.h"

using namespace orbilo;

namespace {

struct SilentBoxes : MessageBoxes {
  void Show(QWidget*, const QString&, const QString&, QMessageBox::Icon) override {}
};

}  // namespace

bool window_kick_bench() {
  const char* timer_only = std::getenv("ORBILO_UI_BENCH_TIMER_ONLY");
  bool wake = timer_only == nullptr || std::string(timer_only) != "1";
  SilentBoxes boxes;
  MessageBoxes::Replace(&boxes);
  api_init(ORBILO_SDK_BUILD);
  const kick::Kicks kicks;
  std::vector<double> times;
  {
    ScratchDirectory scratch;
    scripted::Server version, universe, world;
    IniPath = scratch.path("orbilo.ini");
    std::ofstream(IniPath) << kick::ini(universe.host_port(), version.host_port());
    CBotTabs window;
    window.show();
    window.Login()->SetDescriptorWake(wake);
    std::atomic<bool> done{false};
    std::thread servers([&] {
      // The world's side: brings the bot in, then kicks and times each answer.
      times = kick::bring_in_and_kick({.version = &version}, universe, world, kicks);
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
  // window_kick_response_ms_p50 and window_kick_response_ms_p99
  auto figures = kick::figures(times, kicks, "window_kick_response_ms");
  if (!figures) {
    std::fprintf(stderr, "window_kick_response: the window did not answer every kick\n");
    return false;
  }
  for (const kick::Figure& figure : *figures)
    std::printf("%s: %.3f\n", figure.name.c_str(), figure.value);
  return true;
}
