// orbilo-console as a process against the service's servers: its output on
// stdout and stderr, its commands on stdin, and how it ends.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "server/testing/raw_link.h"

using namespace orbilo;

extern char** environ;

namespace {

using server_testing::TestServer;

std::string program() {
  char self[4096] = {};
  ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  std::string path(self, length > 0 ? static_cast<std::size_t>(length) : 0);
  return path.substr(0, path.rfind('/') + 1) + "orbilo-console";
}

// The console in a directory of its own, with pipes on its three streams.
class Console {
 public:
  explicit Console(const std::string& directory) {
    int in[2], out[2], err[2];
    if (pipe(in) != 0 || pipe(out) != 0 || pipe(err) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    std::string path = program();
    std::string dir = directory;
    char* argv[] = {path.data(), const_cast<char*>("-C"), dir.data(), nullptr};
    if (posix_spawn(&pid_, path.c_str(), &actions, nullptr, argv, environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    close(err[1]);
    stdin_ = in[1];
    stdout_ = out[0];
    stderr_ = err[0];
  }
  ~Console() {
    if (pid_ > 0 && !exited_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    close(stdin_);
    close(stdout_);
    close(stderr_);
  }

  void send(const std::string& line) { (void)!write(stdin_, line.data(), line.size()); }

  // Reads both streams until text has appeared on the one asked for (bounded).
  bool wait_for(const std::string& text, bool on_stderr = false, int timeout_ms = 10000) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (std::chrono::steady_clock::now() < end) {
      if ((on_stderr ? err_text : out_text).find(text) != std::string::npos) return true;
      pollfd fds[2] = {{stdout_, POLLIN, 0}, {stderr_, POLLIN, 0}};
      if (poll(fds, 2, 50) <= 0) continue;
      char buffer[4096];
      for (int k = 0; k < 2; ++k) {
        if ((fds[k].revents & (POLLIN | POLLHUP)) == 0) continue;
        ssize_t count = read(fds[k].fd, buffer, sizeof buffer);
        if (count > 0)
          (k == 0 ? out_text : err_text).append(buffer, static_cast<std::size_t>(count));
      }
    }
    return (on_stderr ? err_text : out_text).find(text) != std::string::npos;
  }

  // The exit status once the program has ended (bounded), or -1.
  int finish(int timeout_ms = 10000) {
    for (int waited = 0; waited < timeout_ms; waited += 10) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        exited_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
  }
  void signal(int number) { kill(pid_, number); }

  std::string out_text, err_text;

 private:
  pid_t pid_ = -1;
  bool exited_ = false;
  int stdin_ = -1, stdout_ = -1, stderr_ = -1;
};

class ConsoleTest : public testing::Test {
 protected:
  template <typename Adjust>
  void start(Adjust adjust, const std::string& world = "demo") {
    char pattern[] = "/tmp/orbilo-console-XXXXXX";
    directory_ = mkdtemp(pattern);
    server_ = std::make_unique<TestServer>(adjust);
    ASSERT_EQ(server_->create_error, 0) << server_->error;
    serving_ = std::thread([this] {
      while (!stop_) server_step(server_->server, 5);
    });
    std::ofstream(directory_ + "/orbilo.ini")
        << "[Main]\nName=Ball\nCitizen=1\nPassword=demo\nWorld=" << world
        << "\n[universe]\nhost=127.0.0.1\n"
        << "port=" << server_->universe_port()
        << "\n[version]\nhost=127.0.0.1\nport=" << server_->version_port() << "\n";
  }
  void TearDown() override {
    stop_ = true;
    if (serving_.joinable()) serving_.join();
    server_.reset();
    std::filesystem::remove_all(directory_);
  }
  std::string settings() const {
    std::ifstream in(directory_ + "/orbilo.ini");
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }

  std::string directory_;
  std::unique_ptr<TestServer> server_;
  std::thread serving_;
  std::atomic<bool> stop_{false};
};

TEST_F(ConsoleTest, RunsTakesCommandsAndEndsOnASignal) {
  start([](ServerConfig*) {});
  Console console(directory_);
  ASSERT_TRUE(console.wait_for("Orbilo is now running.\n"));
  EXPECT_TRUE(console.wait_for("status: Orbilo is now running.\n", true));
  EXPECT_EQ(console.out_text.find("\033["), std::string::npos);  // no colour into a pipe

  console.send("bogus\n");
  EXPECT_TRUE(console.wait_for("unknown command: bogus", true));
  console.send("set CenterCoords=1n 2w\napply\n");
  EXPECT_TRUE(console.wait_for("Change successful.\n"));
  console.send("set Nonsense=1\n");
  EXPECT_TRUE(console.wait_for("set: unknown key", true));
  console.send("home\n");
  console.signal(SIGTERM);
  EXPECT_EQ(console.finish(), 0);
  EXPECT_NE(settings().find("CenterCoords=1n 2w"), std::string::npos);
}

TEST_F(ConsoleTest, ARefusedBuildEndsWithStatusOneAndKeepsTheSettings) {
  start([](ServerConfig* config) {
    config->version_policy.accepted = {};
    config->version_policy.refused[4] = {'-', "No."};
  });
  Console console(directory_);
  EXPECT_TRUE(console.wait_for("Simple Orbilo: Sorry, you cannot start this build: No.", true));
  EXPECT_EQ(console.finish(), 1);
  EXPECT_NE(settings().find("ReturnHome=0"), std::string::npos);  // written at the end
}

// Login is pressed again with the command login once the login controls are
// enabled again, here after "You must input a world."; while Login is
// disabled (the bot runs) the command is refused and changes nothing.
TEST_F(ConsoleTest, LoginPressesLoginAgainWhenItIsEnabled) {
  start([](ServerConfig*) {}, "");
  Console console(directory_);
  ASSERT_TRUE(console.wait_for("You must input a world.", true));
  console.send("set World=demo\nlogin\n");
  ASSERT_TRUE(console.wait_for("Orbilo is now running.\n")) << console.err_text;
  console.send("login\n");
  EXPECT_TRUE(console.wait_for("login: Login is not available now\n", true));
  console.send("quit\n");
  EXPECT_EQ(console.finish(), 0);
  // One version query and one run: the refused command asked nothing.
  for (const char* text : {"Connecting to version server", "Orbilo is now running."}) {
    std::size_t first = console.err_text.find(text);
    EXPECT_NE(first, std::string::npos) << text;
    EXPECT_EQ(console.err_text.find(text, first + 1), std::string::npos) << text;
  }
  EXPECT_NE(settings().find("World=demo"), std::string::npos);
}

TEST_F(ConsoleTest, QuitEndsLikeClosingTheWindow) {
  start([](ServerConfig*) {});
  Console console(directory_);
  ASSERT_TRUE(console.wait_for("Orbilo is now running.\n"));
  console.send("quit\n");
  EXPECT_EQ(console.finish(), 0);
}

}  // namespace
