// The bot under faults, as the session core and as orbilo-console: the
// servers killed and started again while the bot is in its world, a version
// server at fault, and a settings file that may not be read or whose
// directory may not be written. Processes run for real here, so each wait
// is bounded and a few seconds at most.
#include <arpa/inet.h>
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <sstream>
#include <thread>

#include "app/session.h"
#include "server/testing/raw_link.h"
#include "support/loopback.h"
#include "support/recording_view.h"

using namespace orbilo;

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr uid_t kNobody = 65534;
constexpr gid_t kNogroup = 65534;

std::string ProgramBeside(const std::string& name) {
  char self[4096] = {};
  ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  std::string path(self, length > 0 ? static_cast<std::size_t>(length) : 0);
  return path.substr(0, path.rfind('/') + 1) + name;
}

// Loopback ports that were free a moment ago: each bound to port 0, then let go.
std::vector<int> FreePorts(int count) {
  std::vector<int> fds, ports;
  for (int k = 0; k < count; ++k) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
      ports.push_back(0);
    } else {
      ports.push_back(ntohs(address.sin_port));
    }
    fds.push_back(fd);
  }
  for (int fd : fds) close(fd);
  return ports;
}

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

// A program in a child process with pipes on its three streams, read by
// threads of their own so that it never blocks on a full pipe. As_nobody
// runs it as the user nobody (when this process is root).
class Process {
 public:
  Process(const std::vector<std::string>& arguments, bool as_nobody = false) {
    // A command written to a program that has ended must fail, not end the test.
    signal(SIGPIPE, SIG_IGN);
    std::vector<std::string> args = arguments;
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    int in[2], out[2], err[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0)
      return;
    bool drop = as_nobody && geteuid() == 0;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(in[0], 0);
      dup2(out[1], 1);
      dup2(err[1], 2);
      if (drop && (setgroups(0, nullptr) != 0 || setgid(kNogroup) != 0 || setuid(kNobody) != 0))
        _exit(126);
      execv(argv[0], argv.data());
      _exit(127);
    }
    close(in[0]);
    close(out[1]);
    close(err[1]);
    stdin_ = in[1];
    readers_[0] = std::thread([this, fd = out[0]] { Read(fd, &out_); });
    readers_[1] = std::thread([this, fd = err[0]] { Read(fd, &err_); });
  }
  ~Process() {
    if (pid_ > 0 && !exited_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (stdin_ >= 0) close(stdin_);
    for (std::thread& reader : readers_) {
      if (reader.joinable()) reader.join();
    }
  }

  void Send(const std::string& text) { (void)!write(stdin_, text.data(), text.size()); }
  void Signal(int number) { kill(pid_, number); }

  std::string Out() const {
    std::lock_guard<std::mutex> hold(mutex_);
    return out_;
  }
  std::string Err() const {
    std::lock_guard<std::mutex> hold(mutex_);
    return err_;
  }
  bool WaitOut(const std::string& text, std::chrono::milliseconds timeout = 5s) const {
    return WaitUntil([&] { return Out().find(text) != std::string::npos; }, timeout);
  }
  bool WaitErr(const std::string& text, std::chrono::milliseconds timeout = 5s) const {
    return WaitUntil([&] { return Err().find(text) != std::string::npos; }, timeout);
  }

  // True while the program runs.
  bool Running() {
    if (exited_ || pid_ <= 0) return false;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) != pid_) return true;
    exited_ = true;
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return false;
  }
  // The exit status once the program has ended (bounded), or -1.
  int Finish(std::chrono::milliseconds timeout = 5s) {
    WaitUntil([&] { return !Running(); }, timeout);
    return exited_ ? status_ : -1;
  }

 private:
  void Read(int fd, std::string* into) {
    char buffer[4096];
    ssize_t count;
    while ((count = read(fd, buffer, sizeof buffer)) > 0 || (count < 0 && errno == EINTR)) {
      if (count <= 0) continue;
      std::lock_guard<std::mutex> hold(mutex_);
      into->append(buffer, static_cast<std::size_t>(count));
    }
    close(fd);
  }

  pid_t pid_ = -1;
  bool exited_ = false;
  int status_ = -1;
  int stdin_ = -1;
  mutable std::mutex mutex_;
  std::string out_, err_;
  std::thread readers_[2];
};

// Whether a child of this process can run as the user nobody.
bool CanRunAsNobody() {
  if (geteuid() != 0) return true;
  pid_t child = fork();
  if (child == 0)
    _exit(setgroups(0, nullptr) == 0 && setgid(kNogroup) == 0 && setuid(kNobody) == 0 ? 0 : 1);
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

class ConsoleFaults : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/orbilo-console-faults-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    directory_ = pattern;
    ini_ = directory_ + "/orbilo.ini";
  }
  void TearDown() override {
    chmod(directory_.c_str(), 0700);
    std::filesystem::remove_all(directory_);
    if (!program_directory_.empty()) std::filesystem::remove_all(program_directory_);
  }

  void Write(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
  }
  std::string Read(const std::string& path) const {
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
  }
  int Entries() const {
    return static_cast<int>(std::distance(std::filesystem::directory_iterator(directory_), {}));
  }
  std::vector<std::string> Console() const {
    return {ProgramBeside("orbilo-console"), "-C", directory_};
  }
  // The console for a run as the user nobody, who may not reach the build
  // tree (a checkout in a private directory): a copy in a directory of its
  // own that everyone may enter.
  std::vector<std::string> ConsoleForNobody() {
    char pattern[] = "/tmp/orbilo-console-program-XXXXXX";
    if (mkdtemp(pattern) == nullptr) return Console();
    program_directory_ = pattern;
    std::string copy = program_directory_ + "/orbilo-console";
    std::error_code error;
    std::filesystem::copy_file(ProgramBeside("orbilo-console"), copy, error);
    chmod(program_directory_.c_str(), 0755);
    chmod(copy.c_str(), 0755);
    return {copy, "-C", directory_};
  }

  std::string directory_;
  std::string program_directory_;
  std::string ini_;
};

// orbilo-server killed with SIGKILL while orbilo-console's bot is in its
// world, and started again on the same ports a second later, now with a
// crowd. The bot reports the loss once, logs in again, is back in its world
// where it was (not at its login location), and is kicked about; quit then
// saves the settings.
TEST_F(ConsoleFaults, TheServerKilledAndRestartedWhileTheBotIsInItsWorld) {
  std::vector<int> ports = FreePorts(3);
  ASSERT_EQ(std::count(ports.begin(), ports.end(), 0), 0);
  auto server_config = [&](int crowd) {
    std::ostringstream text;
    text << "[server]\ncrowd_tick = 50\nseed = 7\ntrace = yes\nadmin_stdin = no\n"
         << "[universe]\nlisten = 127.0.0.1:" << ports[0] << "\n"
         << "[version]\nlisten = 127.0.0.1:" << ports[1] << "\n"
         << "[world demo]\nlisten = 127.0.0.1:" << ports[2] << "\ncrowd = " << crowd << "\n"
         << "[citizen 1]\nname = Demo\npassword = demo\n";
    return text.str();
  };
  Write(directory_ + "/alone.conf", server_config(0));
  Write(directory_ + "/crowd.conf", server_config(8));
  Write(ini_,
        "[Main]\nName=Ball\nCitizen=1\nPassword=demo\nWorld=demo\n[universe]\n"
        "host=127.0.0.1\nport=" +
            std::to_string(ports[0]) +
            "\n[version]\nhost=127.0.0.1\nport=" + std::to_string(ports[1]) + "\n");
  const std::string server = ProgramBeside("orbilo-server");

  auto first = std::make_unique<Process>(
      std::vector<std::string>{server, "--config", directory_ + "/alone.conf"});
  ASSERT_TRUE(first->WaitOut("version service: ")) << first->Out() << first->Err();
  Process console(Console());
  ASSERT_TRUE(console.WaitOut("Orbilo is now running.\n")) << console.Out() << console.Err();

  // Away from its login location, with no crowd to move it on.
  console.Send("set CenterCoords=2n 3w\napply\n");
  ASSERT_TRUE(console.WaitOut("Change successful.\n"));
  const std::string placed = "x=3000 y=0 z=2000 yaw=0 type=0 gesture=0";
  ASSERT_TRUE(first->WaitOut(placed)) << first->Out();

  first->Signal(SIGKILL);
  EXPECT_TRUE(WaitUntil([&] { return !first->Running(); }));
  first.reset();
  const std::string lost = "Orbilo has lost its world connection (reason: connection lost).\n";
  ASSERT_TRUE(console.WaitOut(lost));
  // A universe reconnect attempt finds nothing listening; the console runs on.
  std::this_thread::sleep_for(1200ms);
  EXPECT_TRUE(console.Running());

  Process second({server, "--config", directory_ + "/crowd.conf"});
  ASSERT_TRUE(second.WaitOut("version service: ")) << second.Out() << second.Err();
  ASSERT_TRUE(console.WaitOut("Orbilo has re-entered the world.\n")) << console.Out();
  EXPECT_TRUE(second.WaitOut("login: [Ball] for citizen 1"));
  EXPECT_TRUE(second.WaitOut("entry: [Ball] into demo"));

  // The first state on the new server is the one the bot had: re-sent by
  // the library, not a new entry at the login location.
  ASSERT_TRUE(second.WaitOut("<- 8 state "));
  std::string log = second.Out();
  std::size_t state = log.find("<- 8 state ");
  std::string line = log.substr(state, log.find('\n', state) - state);
  EXPECT_EQ(line.substr(line.find(" x=") + 1), placed);

  // A kick from the crowd, and the ball's answer to it.
  ASSERT_TRUE(WaitUntil(
      [&] {
        log = second.Out();
        std::size_t kick = log.find("kick in demo: ");
        return kick != std::string::npos && log.find("<- 8 state ", kick) != std::string::npos;
      },
      10s))
      << log;

  std::string out = console.Out();
  EXPECT_EQ(Count(out, lost), 1);
  EXPECT_EQ(Count(out, "Orbilo has lost"), 1);
  EXPECT_EQ(Count(out, "Orbilo has logged in again.\n"), 1);
  EXPECT_EQ(Count(out, "Orbilo has successfully entered the world.\n"), 1);
  EXPECT_EQ(Count(out, "Orbilo has re-entered the world.\n"), 1);
  EXPECT_EQ(Count(console.Err(), "status: " + lost), 1);
  EXPECT_EQ(Count(second.Out(), "entry: [Ball]"), 1);

  console.Send("quit\n");
  EXPECT_EQ(console.Finish(), 0);
  EXPECT_EQ(console.Err().find("could not save"), std::string::npos);
  EXPECT_NE(Read(ini_).find("\nCenterCoords=2n 3w\n"), std::string::npos);
  second.Signal(SIGTERM);
  EXPECT_EQ(second.Finish(), 0);
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
    Write(ini_, "[Main]\nName=Ball\nWorld=demo\n[universe]\nhost=127.0.0.1\nport=" +
                    std::to_string(ntohs(universe.port())) + "\n[version]\nhost=127.0.0.1\nport=" +
                    std::to_string(ntohs(listener.port())) + "\n");
    Process console(Console());
    EXPECT_EQ(console.Finish(), 1);
    version.join();
    EXPECT_TRUE(console.WaitErr(
        "orbilo-console: Sorry, a network error occured while talking to the version server: " +
        each.error + "\n"))
        << console.Err();
    EXPECT_EQ(console.Out(), "");
    EXPECT_EQ(console.Err().find("Attempting to login"), std::string::npos);
    EXPECT_EQ(console.Err().find("could not save"), std::string::npos);
    EXPECT_NE(Read(ini_).find("ReturnHome=0\n"), std::string::npos);
  }
}

// A settings file the console may not read: it says so, starts on the
// defaults (no world, so it asks for one), and does not write the file at
// quit, saying that too. Root reads any file, so the console runs as nobody.
TEST_F(ConsoleFaults, AnUnreadableSettingsFile) {
  if (!CanRunAsNobody()) GTEST_SKIP() << "cannot run as another user";
  const std::string before = "[Main]\nName=Mine\nWorld=mine\n; my notes\n";
  Write(ini_, before);
  chmod(ini_.c_str(), 0000);
  chmod(directory_.c_str(), 0777);
  Process console(ConsoleForNobody(), true);
  EXPECT_TRUE(console.WaitErr("orbilo-console: cannot read " + ini_ +
                              ": starting with the defaults; the file will not be written\n"))
      << console.Err();
  EXPECT_TRUE(console.WaitErr("Orbilo: You must input a world.\n")) << console.Err();
  console.Send("quit\n");
  EXPECT_EQ(console.Finish(), 0);
  EXPECT_TRUE(console.WaitErr("orbilo-console: could not save the settings to " + ini_ + "\n"));
  chmod(ini_.c_str(), 0600);
  EXPECT_TRUE(Read(ini_) == before);
  EXPECT_EQ(Entries(), 1);
}

// A directory the console may not write: the settings are read and the bot
// runs; at quit the console says it could not save, and the file is as it
// was, with no stray file beside it.
TEST_F(ConsoleFaults, ASettingsFileInAReadOnlyDirectory) {
  if (!CanRunAsNobody()) GTEST_SKIP() << "cannot run as another user";
  server_testing::TestServer servers;
  ASSERT_EQ(servers.create_error, 0) << servers.error;
  std::atomic<bool> stop{false};
  std::thread serving([&] {
    while (!stop) server_step(servers.server, 5);
  });
  const std::string before =
      "[Main]\r\nName=Ball\r\nCitizen=1\r\nPassword=demo\r\nWorld=demo\r\n[universe]\r\n"
      "host=127.0.0.1\r\nport=" +
      std::to_string(servers.universe_port()) +
      "\r\n[version]\r\nhost=127.0.0.1\r\nport=" + std::to_string(servers.version_port()) +
      "\r\n; mine";
  Write(ini_, before);
  chmod(ini_.c_str(), 0644);
  chmod(directory_.c_str(), 0555);
  {
    Process console(ConsoleForNobody(), true);
    EXPECT_TRUE(console.WaitOut("Orbilo is now running.\n")) << console.Out() << console.Err();
    console.Send("set CenterCoords=1n 1e\napply\n");
    EXPECT_TRUE(console.WaitOut("Change successful.\n"));
    console.Send("quit\n");
    EXPECT_EQ(console.Finish(), 0);
    EXPECT_TRUE(console.WaitErr("orbilo-console: could not save the settings to " + ini_ + "\n"))
        << console.Err();
    EXPECT_EQ(console.Err().find("cannot read"), std::string::npos);
  }
  stop = true;
  serving.join();
  EXPECT_TRUE(Read(ini_) == before);
  EXPECT_EQ(Entries(), 1);
}

// The session core with the servers in this process: after a world change
// by Apply, the servers go away and come back on the same ports. The bot
// returns to the world it was in, where it was, without entering again.
TEST(SessionCoreFaults, TheServersRestartedAfterAWorldChange) {
  char pattern[] = "/tmp/orbilo-session-faults-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  std::string directory = pattern;
  IniPath = directory + "/orbilo.ini";
  ASSERT_EQ(api_init(ORBILO_SDK_BUILD), 0);  // first: it restarts the clock the servers share

  // The servers on a thread of their own, their log lines collected.
  struct Servers {
    std::vector<int> ports = FreePorts(4);
    std::mutex mutex;
    std::vector<std::string> log;
    std::unique_ptr<server_testing::TestServer> test;
    std::atomic<bool> stop{false};
    std::thread serving;

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
      stop = false;
      serving = std::thread([this] {
        while (!stop) server_step(test->server, 5);
      });
      return true;
    }
    void Halt() {
      stop = true;
      if (serving.joinable()) serving.join();
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
    std::filesystem::remove_all(directory);
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
  char pattern[] = "/tmp/orbilo-session-faults-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  std::string directory = pattern;
  IniPath = directory + "/orbilo.ini";
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
  std::ofstream(IniPath, std::ios::binary) << mine;
  page.Destroy();
  EXPECT_FALSE(page.settings_saved());
  std::ostringstream text;
  text << std::ifstream(IniPath, std::ios::binary).rdbuf();
  EXPECT_EQ(text.str(), mine);
  IniPath.clear();
  std::filesystem::remove_all(directory);
}

}  // namespace
