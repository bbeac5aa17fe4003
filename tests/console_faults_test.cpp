// The bot under faults, as the session core and as orbilo-console: the
// servers killed and started again while the bot is in its world, a version
// server at fault, and a settings file that may not be read or whose
// directory may not be written. Processes run for real here, so each wait
// is bounded and a few seconds at most.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <sstream>
#include <thread>

#include "app/session.h"
#include "sdk/sdk.h"
#include "support/child_process.h"
#include "support/loopback.h"
#include "support/recording_view.h"
#include "support/scratch_directory.h"
#include "support/test_server.h"

using namespace orbilo;

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Waits until done() holds, checking every 10 ms: false after timeout.
bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = 5s) {
  auto end = Clock::now() + timeout;
  while (!done()) {
    if (Clock::now() >= end) return false;
    std::this_thread::sleep_for(10ms);
  }
  return true;
}

int Count(const std::string& text, const std::string& part) {
  int count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
    ++count;
  return count;
}

class ConsoleFaults : public testing::Test {
 protected:
  std::vector<std::string> Console() const {
    return {program_beside("orbilo-console"), "-C", scratch_.path()};
  }
  // The console for a run as the user nobody, who may not reach the build
  // tree (a checkout in a private directory): a copy in a directory of its
  // own that everyone may enter.
  std::vector<std::string> ConsoleForNobody() {
    std::string copy = program_copy_.path("orbilo-console");
    std::error_code error;
    std::filesystem::copy_file(program_beside("orbilo-console"), copy, error);
    chmod(program_copy_.path().c_str(), 0755);
    chmod(copy.c_str(), 0755);
    return {copy, "-C", scratch_.path()};
  }

  ScratchDirectory scratch_;
  ScratchDirectory program_copy_;
  const std::string ini_ = scratch_.path("orbilo.ini");
};

// orbilo-server killed with SIGKILL while orbilo-console's bot is in its
// world, and started again on the same ports a second later, now with a
// crowd. The bot reports the loss once, logs in again, is back in its world
// where it was (not at its login location), and is kicked about; quit then
// saves the settings.
TEST_F(ConsoleFaults, TheServerKilledAndRestartedWhileTheBotIsInItsWorld) {
  // The universe, the version service and the world: the first server takes
  // its ports from the OS, the second listens on them again.
  auto server_config = [&](int crowd, const std::vector<int>& ports) {
    std::ostringstream text;
    text << "[server]\ncrowd_tick = 50\nseed = 7\ntrace = yes\nadmin_stdin = no\n"
         << "[universe]\nlisten = 127.0.0.1:" << ports[0] << "\n"
         << "[version]\nlisten = 127.0.0.1:" << ports[1] << "\n"
         << "[world demo]\nlisten = 127.0.0.1:" << ports[2] << "\ncrowd = " << crowd << "\n"
         << "[citizen 1]\nname = Demo\npassword = demo\n";
    return text.str();
  };
  scratch_.write("alone.conf", server_config(0, {0, 0, 0}));
  const std::string server = program_beside("orbilo-server");
  auto first = std::make_unique<ChildProcess>(
      std::vector<std::string>{server, "--config", scratch_.path("alone.conf")});
  const std::vector<int> ports = {first->port("universe"), first->port("version service"),
                                  first->port("world \"demo\"")};
  ASSERT_EQ(std::count(ports.begin(), ports.end(), 0), 0) << first->out() << first->err();
  scratch_.write("crowd.conf", server_config(8, ports));
  scratch_.write("orbilo.ini",
                 "[Main]\nName=Ball\nCitizen=1\nPassword=demo\nWorld=demo\n"
                 "[universe]\nhost=127.0.0.1\nport=" +
                     std::to_string(ports[0]) +
                     "\n[version]\nhost=127.0.0.1\nport=" + std::to_string(ports[1]) + "\n");
  ChildProcess console(Console());
  ASSERT_TRUE(console.wait_out("Orbilo is now running.\n")) << console.out() << console.err();

  // Away from its login location, with no crowd to move it on.
  console.send("set CenterCoords=2n 3w\napply\n");
  ASSERT_TRUE(console.wait_out("Change successful.\n"));
  const std::string placed = "x=3000 y=0 z=2000 yaw=0 type=0 gesture=0";
  ASSERT_TRUE(first->wait_out(placed)) << first->out();

  first->kill_hard();
  first.reset();
  const std::string lost = "Orbilo has lost its world connection (reason: connection lost).\n";
  ASSERT_TRUE(console.wait_out(lost));
  // A universe reconnect attempt finds nothing listening; the console runs on.
  std::this_thread::sleep_for(1200ms);
  EXPECT_TRUE(console.running());

  ChildProcess second({server, "--config", scratch_.path("crowd.conf")});
  ASSERT_TRUE(second.wait_out("version service: ")) << second.out() << second.err();
  ASSERT_TRUE(console.wait_out("Orbilo has re-entered the world.\n")) << console.out();
  EXPECT_TRUE(second.wait_out("login: [Ball] for citizen 1"));
  EXPECT_TRUE(second.wait_out("entry: [Ball] into demo"));

  // The first state on the new server is the one the bot had: re-sent by
  // the library, not a new entry at the login location.
  ASSERT_TRUE(second.wait_out("<- 8 state "));
  std::string log = second.out();
  std::size_t state = log.find("<- 8 state ");
  std::string line = log.substr(state, log.find('\n', state) - state);
  EXPECT_EQ(line.substr(line.find(" x=") + 1), placed);

  // A kick from the crowd, and the ball's answer to it.
  ASSERT_TRUE(WaitUntil(
      [&] {
        log = second.out();
        std::size_t kick = log.find("kick in demo: ");
        return kick != std::string::npos && log.find("<- 8 state ", kick) != std::string::npos;
      },
      10s))
      << log;

  std::string out = console.out();
  EXPECT_EQ(Count(out, lost), 1);
  EXPECT_EQ(Count(out, "Orbilo has lost"), 1);
  EXPECT_EQ(Count(out, "Orbilo has logged in again.\n"), 1);
  EXPECT_EQ(Count(out, "Orbilo has successfully entered the world.\n"), 1);
  EXPECT_EQ(Count(out, "Orbilo has re-entered the world.\n"), 1);
  EXPECT_EQ(Count(console.err(), "status: " + lost), 1);
  EXPECT_EQ(Count(second.out(), "entry: [Ball]"), 1);

  console.send("quit\n");
  EXPECT_EQ(console.finish(), 0);
  EXPECT_EQ(console.err().find("could not save"), std::string::npos);
  EXPECT_NE(scratch_.read("orbilo.ini").find("\nCenterCoords=2n 3w\n"), std::string::npos);
  second.signal(SIGTERM);
  EXPECT_EQ(second.finish(), 0);
}

// A version server that answers short or with a length of no use: the
// console shows the text on stderr, ends with status 1 and still saves the
// settings, as for any failed check.
TEST_F(ConsoleFaults, AVersionServerAtFault) {
  struct Case {
    std::string answer;
    std::string error;
  } cases[] = {
      {"", "Error while waiting for Server. Code 10104"},
      {"000", "Error while waiting for Server. Code 10104"},
      {"00000+", "Error while waiting for Server. Code 10071"},
      {"-0001+", "Error while waiting for Server. Code 10071"},
      {"99999+short", "Error while receiving data. Code 10104"},
  };
  for (const Case& each : cases) {
    SCOPED_TRACE(each.answer);
    loopback::Listener universe;  // takes the connection into its backlog, and no more
    loopback::Listener listener;
    std::thread version([&] {
      loopback::Peer peer = listener.accept();
      if (!peer.valid()) return;
      peer.receive(9);
      peer.send(each.answer.data(), each.answer.size());
      peer.close();
    });
    scratch_.write(
        "orbilo.ini",
        "[Main]\nName=Ball\nWorld=demo\n[universe]\nhost=127.0.0.1\nport=" +
            std::to_string(ntohs(universe.port())) +
            "\n[version]\nhost=127.0.0.1\nport=" + std::to_string(ntohs(listener.port())) + "\n");
    ChildProcess console(Console());
    EXPECT_EQ(console.finish(), 1);
    version.join();
    EXPECT_TRUE(console.wait_err(
        "orbilo-console: Sorry, a network error occured while talking to the version server: " +
        each.error + "\n"))
        << console.err();
    EXPECT_EQ(console.out(), "");
    EXPECT_EQ(console.err().find("Attempting to login"), std::string::npos);
    EXPECT_EQ(console.err().find("could not save"), std::string::npos);
    EXPECT_NE(scratch_.read("orbilo.ini").find("ReturnHome=0\n"), std::string::npos);
  }
}

// A settings file the console may not read: it says so, starts on the
// defaults (no world, so it asks for one), and does not write the file at
// quit, saying that too. Root reads any file, so the console runs as nobody.
TEST_F(ConsoleFaults, AnUnreadableSettingsFile) {
  if (!can_run_as_nobody()) GTEST_SKIP() << "cannot run as another user";
  const std::string before = "[Main]\nName=Mine\nWorld=mine\n; my notes\n";
  scratch_.write("orbilo.ini", before);
  chmod(ini_.c_str(), 0000);
  chmod(scratch_.path().c_str(), 0777);
  ChildProcess console(ConsoleForNobody(), true);
  EXPECT_TRUE(console.wait_err("orbilo-console: cannot read " + ini_ +
                               ": starting with the defaults; the file will not be written\n"))
      << console.err();
  EXPECT_TRUE(console.wait_err("Orbilo: You must input a world.\n")) << console.err();
  console.send("quit\n");
  EXPECT_EQ(console.finish(), 0);
  EXPECT_TRUE(console.wait_err("orbilo-console: could not save the settings to " + ini_ + "\n"));
  chmod(ini_.c_str(), 0600);
  EXPECT_TRUE(scratch_.read("orbilo.ini") == before);
  EXPECT_EQ(scratch_.entries(), 1);
}

// A directory the console may not write: the settings are read and the bot
// runs; at quit the console says it could not save, and the file is as it
// was, with no stray file beside it.
TEST_F(ConsoleFaults, ASettingsFileInAReadOnlyDirectory) {
  if (!can_run_as_nobody()) GTEST_SKIP() << "cannot run as another user";
  server_testing::TestServer servers;
  ASSERT_EQ(servers.create_error, 0) << servers.error;
  auto serving = std::make_unique<server_testing::Serving>(servers);
  const std::string before =
      "[Main]\r\nName=Ball\r\nCitizen=1\r\nPassword=demo\r\nWorld=demo\r\n[universe]\r\n"
      "host=127.0.0.1\r\nport=" +
      std::to_string(servers.universe_port()) +
      "\r\n[version]\r\nhost=127.0.0.1\r\nport=" + std::to_string(servers.version_port()) +
      "\r\n; mine";
  scratch_.write("orbilo.ini", before);
  chmod(ini_.c_str(), 0644);
  chmod(scratch_.path().c_str(), 0555);
  {
    ChildProcess console(ConsoleForNobody(), true);
    EXPECT_TRUE(console.wait_out("Orbilo is now running.\n")) << console.out() << console.err();
    console.send("set CenterCoords=1n 1e\napply\n");
    EXPECT_TRUE(console.wait_out("Change successful.\n"));
    console.send("quit\n");
    EXPECT_EQ(console.finish(), 0);
    EXPECT_TRUE(console.wait_err("orbilo-console: could not save the settings to " + ini_ + "\n"))
        << console.err();
    EXPECT_EQ(console.err().find("cannot read"), std::string::npos);
  }
  serving.reset();
  EXPECT_TRUE(scratch_.read("orbilo.ini") == before);
  EXPECT_EQ(scratch_.entries(), 1);
}

// The session core with the servers in this process: after a world change
// by Apply, the servers go away and come back on the same ports. The bot
// returns to the world it was in, where it was, without entering again.
TEST(SessionCoreFaults, TheServersRestartedAfterAWorldChange) {
  ScratchDirectory scratch;
  IniPath = scratch.path("orbilo.ini");
  ASSERT_EQ(api_init(ORBILO_SDK_BUILD), 0);  // first: it restarts the clock the servers share

  // The servers on a thread of their own, their log lines collected; they
  // take their ports from the OS at first, and the same ones again later.
  struct Servers {
    std::vector<int> ports = {0, 0, 0, 0};
    std::mutex mutex;
    std::vector<std::string> log;
    std::unique_ptr<server_testing::TestServer> test;
    std::unique_ptr<server_testing::Serving> serving;

    ~Servers() { Halt(); }
    bool Start() {
      test = std::make_unique<server_testing::TestServer>([&](ServerConfig* config) {
        config->universe_port = ports[0];
        config->version_port = ports[1];
        config->worlds[0].port = ports[2];
        WorldConfig other;
        other.name = "other";
        other.port = ports[3];
        config->worlds.push_back(other);
        config->trace = true;
        config->log = [this](const std::string& line) {
          std::lock_guard<std::mutex> hold(mutex);
          log.push_back(line);
        };
      });
      if (test->create_error != 0) return false;
      ports = {test->universe_port(), test->version_port(), test->world_port("demo"),
               test->world_port("other")};
      serving = std::make_unique<server_testing::Serving>(*test);
      return true;
    }
    void Halt() {
      serving.reset();
      test.reset();
      std::lock_guard<std::mutex> hold(mutex);
      log.clear();
    }
    // The first log line that holds text, or "".
    std::string Line(const std::string& text) {
      std::lock_guard<std::mutex> hold(mutex);
      for (const std::string& line : log) {
        if (line.find(text) != std::string::npos) return line;
      }
      return "";
    }
    int Count(const std::string& text) {
      std::lock_guard<std::mutex> hold(mutex);
      int count = 0;
      for (const std::string& line : log) count += line.find(text) != std::string::npos;
      return count;
    }
  } servers;
  ASSERT_TRUE(servers.Start()) << servers.test->error;
  const std::vector<int>& ports = servers.ports;
  std::ofstream(IniPath) << "[Main]\nName=Ball\nCitizen=1\nPassword=demo\nWorld=demo\n"
                         << "[universe]\nhost=127.0.0.1\nport=" << ports[0]
                         << "\n[version]\nhost=127.0.0.1\nport=" << ports[1] << "\n";

  RecordingView view;
  LoginPage page(&view);
  page.Init();
  // However the test ends: the page destroyed (the library shut down), then
  // the servers halted.
  struct Cleanup {
    std::function<void()> run;
    ~Cleanup() { run(); }
  } cleanup{[&] {
    page.Destroy();
    servers.Halt();
    Running = 0;
    IniPath.clear();
  }};
  auto pump_until = [&](const std::function<bool()>& done) {
    for (int tick = 0; tick < 600 && !done(); ++tick) {
      page.OnTimer(kPumpTimer);
      std::this_thread::sleep_for(5ms);
    }
    return done();
  };
  auto logs = [&](const std::string& text) {
    return static_cast<int>(std::count(view.log.begin(), view.log.end(), text));
  };
  page.OnLogin();
  ASSERT_TRUE(pump_until([] { return Running == 1; }));
  view.controls.world = "other";
  view.controls.location = "2n 3w";
  page.OnApply();
  ASSERT_TRUE(pump_until([&] { return logs("Change successful.") == 1; }));
  ASSERT_TRUE(pump_until([&] { return servers.Count(" x=3000 y=0 z=2000 ") >= 1; }));

  servers.Halt();
  const std::string lost = "Orbilo has lost its world connection (reason: connection lost).";
  ASSERT_TRUE(pump_until([&] { return logs(lost) == 1; }));
  ASSERT_TRUE(servers.Start());
  ASSERT_TRUE(pump_until([&] { return logs("Orbilo has re-entered the world.") == 1; }))
      << testing::PrintToString(view.log);
  ASSERT_TRUE(pump_until([&] { return servers.Count("<- 8 state ") >= 1; }));
  std::string state = servers.Line("<- 8 state ");
  EXPECT_EQ(state.substr(state.find(" x=") + 1), "x=3000 y=0 z=2000 yaw=0 type=0 gesture=0");
  EXPECT_EQ(servers.Count("entry: [Ball] into other"), 1);
  EXPECT_EQ(servers.Count("into demo"), 0);
  EXPECT_EQ(servers.Count("world lookup"), 0);
  EXPECT_EQ(std::string(api_string(ATTR_WORLD_NAME)), "other");
  EXPECT_EQ(logs(lost), 1);
  EXPECT_EQ(logs("Orbilo has logged in again."), 1);
  EXPECT_EQ(logs("Orbilo has successfully entered the world."), 1);
  EXPECT_EQ(logs("Change successful."), 1);
  EXPECT_EQ(view.status, "Orbilo has re-entered the world.");
  EXPECT_TRUE(view.boxes.empty());
  EXPECT_EQ(Running, 1);
}

// Settings that could not be read when the page started were never shown:
// the defaults the bot ran on are not written over them at the end, even
// when the file can be read by then.
TEST(SessionCoreFaults, SettingsUnreadableAtStartAreNotWrittenAtTheEnd) {
  ScratchDirectory scratch;
  IniPath = scratch.path("orbilo.ini");
  ASSERT_EQ(mkfifo(IniPath.c_str(), 0600), 0);  // refused before any read
  ASSERT_EQ(api_init(ORBILO_SDK_BUILD), 0);
  RecordingView view;
  LoginPage page(&view);
  page.Init();
  EXPECT_FALSE(page.settings_readable());
  EXPECT_EQ(view.controls.name, "Simple Orbilo");
  EXPECT_EQ(view.controls.world, "");

  const std::string mine = "[Main]\nName=Mine\nWorld=mine\n";
  std::filesystem::remove(IniPath);
  scratch.write("orbilo.ini", mine);
  page.Destroy();
  EXPECT_FALSE(page.settings_saved());
  EXPECT_EQ(scratch.read("orbilo.ini"), mine);
  IniPath.clear();
}

}  // namespace
