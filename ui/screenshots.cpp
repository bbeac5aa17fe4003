// orbilo-screenshots DIR: renders the window's pages to PNG files, on any
// platform Qt offers (offscreen included): the login page idle and running,
// the status page with blue and green lines, the about page, and the map of
// the demo world's crowd around the ball with a kick trail. For the map the
// bot really runs: the service's servers run in this process, with the demo
// world and its crowd of 20, whose steps come quicker here than in make demo.
#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QPixmap>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>

#include <orbilo/sdk.h>
#include "app/session.h"
#include "server/server.h"
#include "ui/bot_tabs.h"
#include "ui/login_page.h"
#include "ui/map_page.h"
#include "ui/status_page.h"

namespace {

constexpr int kStatusTab = 1, kMapTab = 2, kAboutTab = 3;
constexpr int kCrowd = 20;
// The map is taken once this many kicks are on it, or after the time limit.
constexpr std::size_t kTrail = 4;
constexpr int kLimitMs = 30000;

bool save(CBotTabs& window, int tab, const QString& path) {
  window.Tabs()->setCurrentIndex(tab);
  window.adjustSize();
  return window.grab().save(path);
}

bool save_pages(const QDir& directory) {
  bool ok = true;
  CBotTabs window;
  window.show();
  ok = save(window, 0, directory.filePath("login-idle.png")) && ok;
  COrbLogin* login = window.Login();
  login->Edit(1003)->setText("demo");
  login->EnableLoginControls(false);
  login->EnableRunningControls(true);
  ok = save(window, 0, directory.filePath("login-running.png")) && ok;
  COrbStatus* status = window.Status();
  for (const char* line :
       {"Orbilo has verified your Orbilo version is up to date.",
        "Orbilo has successfully logged in.", "Orbilo has successfully entered the world.",
        "Orbilo is now running."}) {
    status->AppendLog(line, kBlue, false, false, false, true);
  }
  status->AppendLog("Owner response sent to Ada.", kGreen, false, false, false, true);
  status->AppendLog("Version response sent to Nils.", kGreen, false, false, false, true);
  status->SetStatus("Orbilo is now running.");
  ok = save(window, kStatusTab, directory.filePath("status.png")) && ok;
  ok = save(window, kAboutTab, directory.filePath("about.png")) && ok;
  return ok;
}

// The demo world on loopback, served on a thread of its own while it lives.
class DemoWorld {
 public:
  DemoWorld() {
    orbilo::ServerConfig config;
    config.universe_port = config.version_port = 0;
    orbilo::WorldConfig world;
    world.name = "demo";
    world.crowd = kCrowd;
    config.worlds.push_back(world);
    config.citizens.push_back({1, "Demo", "demo"});
    config.crowd_tick_ms = 100;
    config.admin_stdin = false;
    std::string error;
    if (orbilo::server_create(config, &server_, &error) != 0) {
      std::fprintf(stderr, "orbilo-screenshots: no demo world: %s\n", error.c_str());
      return;
    }
    thread_ = std::thread([this] {
      while (!stop_) orbilo::server_step(server_, 5);
    });
  }
  ~DemoWorld() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    orbilo::server_destroy(server_);
  }
  bool ok() const { return server_ != nullptr; }
  int universe_port() const { return orbilo::server_universe_port(server_); }
  int version_port() const { return orbilo::server_version_port(server_); }

 private:
  orbilo::Server* server_ = nullptr;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

bool save_map(const QDir& directory) {
  DemoWorld demo;
  if (!demo.ok()) return false;
  std::ofstream(IniPath) << "[Main]\nName=Ball\nCitizen=1\nPassword=demo\nWorld=demo\n"
                         << "[universe]\nhost=127.0.0.1\nport=" << demo.universe_port()
                         << "\n[version]\nhost=127.0.0.1\nport=" << demo.version_port() << "\n";
  api_init(ORBILO_SDK_BUILD);
  CBotTabs window;
  window.show();
  window.Tabs()->setCurrentIndex(kMapTab);
  window.Login()->Button(1006)->click();
  const WorldMap& map = window.Login()->Core().map();
  QEventLoop loop;
  QTimer watch;
  auto start = std::chrono::steady_clock::now();
  QObject::connect(&watch, &QTimer::timeout, &loop, [&] {
    bool ready = map.avatars().size() >= kCrowd && map.kicks().size() >= kTrail;
    if (ready || std::chrono::steady_clock::now() - start > std::chrono::milliseconds(kLimitMs)) {
      loop.quit();
    }
  });
  watch.start(20);
  loop.exec();
  if (map.kicks().empty()) {
    std::fprintf(stderr, "orbilo-screenshots: the crowd kicked no ball\n");
    return false;
  }
  window.Map()->repaint();
  return save(window, kMapTab, directory.filePath("map.png"));
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  if (argc != 2) return 2;
  QDir directory(argv[1]);
  if (!directory.mkpath(".")) return 1;
  IniPath = directory.filePath("orbilo.ini").toStdString();  // a scratch file of its own
  api_init(ORBILO_SDK_BUILD);
  bool ok = save_pages(directory);
  QFile::remove(directory.filePath("orbilo.ini"));
  ok = save_map(directory) && ok;
  QFile::remove(directory.filePath("orbilo.ini"));
  return ok ? 0 : 1;
}
