// orbilo-console as a process against the service's servers: its output on
// stdout and stderr, its commands on stdin (avatars among them), its --help,
// and how it ends, on quit or SIGTERM.
#include <gtest/gtest.h>
#include <signal.h>

#include <memory>
#include <regex>

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
    serving_.reset();  // a test may start the servers anew
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

// SIGTERM (a service being stopped) ends the bot as closing the window
// does: the controls as they stand are saved, applied or not, whether the
// bot runs or waits for a world.
TEST_F(ConsoleTest, SigtermSavesTheSettingsAsClosingTheWindowDoes) {
  struct Case {
    const char* world;
    const char* reached;
  } cases[] = {{"demo", "status: Orbilo is now running.\n"}, {"", "You must input a world."}};
  for (const Case& each : cases) {
    SCOPED_TRACE(each.world);
    start([](ServerConfig*) {}, each.world);
    Console console(directory_);
    ASSERT_TRUE(console.wait_err(each.reached));
    console.send("set ReturnHome=1\nset CenterCoords=3s 4e\nbogus\n");
    ASSERT_TRUE(console.wait_err("unknown command: bogus"));  // the two before it are done
    console.signal(SIGTERM);
    EXPECT_EQ(console.finish(), 0);
    EXPECT_NE(settings().find("ReturnHome=1"), std::string::npos) << settings();
    EXPECT_NE(settings().find("CenterCoords=3s 4e"), std::string::npos);
  }
}

// avatars lists the avatars in view by session, one a line: name and
// location text; with nobody in view it prints nothing at all.
TEST_F(ConsoleTest, AvatarsListsWhomTheBotSees) {
  start([](ServerConfig* config) { config->worlds[0].crowd = 3; });
  Console console(directory_);
  ASSERT_TRUE(console.wait_out("Orbilo is now running.\n"));
  std::vector<std::string> listed;
  for (int attempt = 0; attempt < 20 && listed.size() != 3; ++attempt) {
    listed = console.ask("avatars", "Carla: ", 250);
  }
  ASSERT_EQ(listed.size(), 3u) << console.out();
  const char* names[] = {"Ada: ", "Bruno: ", "Carla: "};  // the crowd's first three
  for (std::size_t k = 0; k < 3; ++k) {
    EXPECT_EQ(listed[k].rfind(names[k], 0), 0u) << listed[k];
    EXPECT_TRUE(std::regex_match(listed[k], std::regex(".*: [0-9.]+[ns] [0-9.]+[we]( -?[0-9.]+)?")))
        << listed[k];
  }
  console.send("quit\n");
  EXPECT_EQ(console.finish(), 0);

  start([](ServerConfig*) {});
  Console alone(directory_);
  ASSERT_TRUE(alone.wait_out("Orbilo is now running.\n"));
  alone.send("avatars\nset CenterCoords=1n\napply\n");
  ASSERT_TRUE(alone.wait_out("Change successful.\n"));
  std::string out = alone.out();
  EXPECT_EQ(out.substr(out.find("Orbilo is now running.\n")),
            "Orbilo is now running.\nChange successful.\n");
  alone.send("quit\n");
  EXPECT_EQ(alone.finish(), 0);
}

// --help lists every option and command on stdout and ends; an option it
// does not know ends with the usage on stderr.
TEST(ConsoleHelp, ListsTheOptionsAndCommands) {
  ChildProcess help({program_beside("orbilo-console"), "--help"});
  EXPECT_EQ(help.finish(), 0);
  for (const char* item : {"usage: orbilo-console [-C DIR] [--help]", "-C DIR", "--help", "login",
                           "home", "set KEY=VALUE", "apply", "avatars", "quit", "SIGTERM"}) {
    EXPECT_NE(help.out().find(item), std::string::npos) << item;
  }
  EXPECT_EQ(help.err(), "");
  ChildProcess wrong({program_beside("orbilo-console"), "--bogus"});
  EXPECT_EQ(wrong.finish(), 2);
  EXPECT_EQ(wrong.err(), "usage: orbilo-console [-C DIR] [--help]\n");
  EXPECT_EQ(wrong.out(), "");
}

TEST_F(ConsoleTest, QuitEndsLikeClosingTheWindow) {
  start([](ServerConfig*) {});
  Console console(directory_);
  ASSERT_TRUE(console.wait_out("Orbilo is now running.\n"));
  console.send("quit\n");
  EXPECT_EQ(console.finish(), 0);
}

}  // namespace
