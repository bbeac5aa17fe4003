// orbilo-console as a process against the service's servers: its output on
// stdout and stderr, its commands on stdin, and how it ends.
#include <gtest/gtest.h>
#include <signal.h>

#include <memory>

#include "support/child_process.h"
#include "support/scratch_directory.h"
#include "support/test_server.h"

using namespace orbilo;

namespace {

using server_testing::TestServer;

// The console in the scratch directory, with pipes on its three streams.
class Console : public ChildProcess {
 public:
  explicit Console(const std::string& directory)
      : ChildProcess({program_beside("orbilo-console"), "-C", directory}) {}
};

class ConsoleTest : public testing::Test {
 protected:
  template <typename Adjust>
  void start(Adjust adjust, const std::string& world = "demo") {
    server_ = std::make_unique<TestServer>(adjust);
    ASSERT_EQ(server_->create_error, 0) << server_->error;
    serving_ = std::make_unique<server_testing::Serving>(*server_);
    scratch_.write(
        "orbilo.ini",
        "[Main]\nName=Ball\nCitizen=1\nPassword=demo\nWorld=" + world +
            "\n[universe]\nhost=127.0.0.1\nport=" + std::to_string(server_->universe_port()) +
            "\n[version]\nhost=127.0.0.1\nport=" + std::to_string(server_->version_port()) + "\n");
  }
  std::string settings() const { return scratch_.read("orbilo.ini"); }

  ScratchDirectory scratch_;
  std::unique_ptr<TestServer> server_;
  std::unique_ptr<server_testing::Serving> serving_;
  const std::string directory_ = scratch_.path();
};

TEST_F(ConsoleTest, RunsTakesCommandsAndEndsOnASignal) {
  start([](ServerConfig*) {});
  Console console(directory_);
  ASSERT_TRUE(console.wait_out("Orbilo is now running.\n"));
  EXPECT_TRUE(console.wait_err("status: Orbilo is now running.\n"));
  EXPECT_EQ(console.out().find("\033["), std::string::npos);  // no colour into a pipe

  console.send("bogus\n");
  EXPECT_TRUE(console.wait_err("unknown command: bogus"));
  console.send("set CenterCoords=1n 2w\napply\n");
  EXPECT_TRUE(console.wait_out("Change successful.\n"));
  console.send("set Nonsense=1\n");
  EXPECT_TRUE(console.wait_err("set: unknown key"));
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
  EXPECT_TRUE(console.wait_err("Simple Orbilo: Sorry, you cannot start this build: No."));
  EXPECT_EQ(console.finish(), 1);
  EXPECT_NE(settings().find("ReturnHome=0"), std::string::npos);  // written at the end
}

// Login is pressed again with the command login once the login controls are
// enabled again, here after "You must input a world."; while Login is
// disabled (the bot runs) the command is refused and changes nothing.
TEST_F(ConsoleTest, LoginPressesLoginAgainWhenItIsEnabled) {
  start([](ServerConfig*) {}, "");
  Console console(directory_);
  ASSERT_TRUE(console.wait_err("You must input a world."));
  console.send("set World=demo\nlogin\n");
  ASSERT_TRUE(console.wait_out("Orbilo is now running.\n")) << console.err();
  console.send("login\n");
  EXPECT_TRUE(console.wait_err("login: Login is not available now\n"));
  console.send("quit\n");
  EXPECT_EQ(console.finish(), 0);
  // One version query and one run: the refused command asked nothing.
  for (const char* text : {"Connecting to version server", "Orbilo is now running."}) {
    std::size_t first = console.err().find(text);
    EXPECT_NE(first, std::string::npos) << text;
    EXPECT_EQ(console.err().find(text, first + 1), std::string::npos) << text;
  }
  EXPECT_NE(settings().find("World=demo"), std::string::npos);
}

TEST_F(ConsoleTest, QuitEndsLikeClosingTheWindow) {
  start([](ServerConfig*) {});
  Console console(directory_);
  ASSERT_TRUE(console.wait_out("Orbilo is now running.\n"));
  console.send("quit\n");
  EXPECT_EQ(console.finish(), 0);
}

}  // namespace
