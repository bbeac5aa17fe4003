// The example programs against orbilo-server, each in a child process: the
// greeters greet the crowd by whisper, each under its own name, and the
// own-loop bot answers a ping and prints the crowd's moves.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <regex>
#include <set>
#include <string>

#include "sdk/sdk.h"
#include "support/child_process.h"

namespace orbilo {
namespace {

constexpr int kWaitMs = 10000;

// orbilo-server with a universe, the world "demo" and a crowd; the default
// citizen 1 "Demo", password "demo".
class Examples : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server_.start({program_beside("orbilo-server"), "--universe", "127.0.0.1:0",
                               "--version-server", "off", "--world", "demo", "--crowd", "6",
                               "--seed", "1", "--no-admin"}));
    universe_port_ = server_.port("universe");
    ASSERT_NE(universe_port_, 0);
  }
  void TearDown() override {
    if (HasFailure()) {
      for (const std::string& line : server_.lines()) std::printf("server: %s\n", line.c_str());
      for (const std::string& line : example_.lines()) std::printf("example: %s\n", line.c_str());
      std::printf("example's errors: %s\n", example_.err().c_str());
    }
  }

  void start_example(const std::string& program, std::vector<std::string> arguments) {
    std::vector<std::string> command = {program_beside(program), "127.0.0.1",
                                        std::to_string(universe_port_), "1", "demo"};
    command.insert(command.end(), arguments.begin(), arguments.end());
    ASSERT_TRUE(example_.start(command));
  }

  // Runs a greeter program with ten bots named PREFIX1 to PREFIX10: each
  // greets someone, and every greeting of a crowd member that it prints went
  // out from its own bot, with its own name in the text.
  void expect_ten_greeters(const std::string& program, const std::string& prefix) {
    start_example(program, {"demo", "10"});
    ASSERT_TRUE(example_.wait_out("10 greeters in demo", kWaitMs));
    for (int k = 1; k <= 10; ++k) {
      EXPECT_TRUE(example_.wait_out(prefix + std::to_string(k) + " greets ", kWaitMs)) << k;
    }
    const std::regex greets("^(" + prefix + "[0-9]+) greets (.*)$");
    std::set<std::string> greeters;
    int crowd_greetings = 0;
    for (const std::string& line : example_.lines()) {
      std::smatch match;
      if (!std::regex_match(line, match, greets)) continue;
      const std::string greeter = match[1], whom = match[2];
      greeters.insert(greeter);
      if (whom.front() == '[') continue;  // another bot: the server logs no whisper to it
      ++crowd_greetings;
      EXPECT_TRUE(server_.wait_out("whisper in demo from [" + greeter + "] to " + whom +
                                       ": Hello " + whom + ", I am " + greeter + ".",
                                   kWaitMs))
          << line;
    }
    EXPECT_EQ(greeters.size(), 10u);
    EXPECT_GT(crowd_greetings, 0);
    example_.signal(SIGTERM);
    EXPECT_EQ(example_.finish(kWaitMs), 0);
    EXPECT_NE(example_.out().find(prefix + "10 greeted "), std::string::npos);
  }

  ChildProcess server_;
  ChildProcess example_;
  int universe_port_ = 0;
};

TEST_F(Examples, TenGreetersInOneProcessEachGreetTheCrowdUnderItsOwnName) {
  expect_ten_greeters("greeter", "Greeter");
}

TEST_F(Examples, TheCppGreetersDoTheSame) {
  expect_ten_greeters("greeter-cpp", "Cpp");
}

// What the test's own bot saw.
struct Seen {
  int loop_session = 0;
  bool pong = false;
} seen;

TEST_F(Examples, OwnLoopAnswersAPingAndPrintsTheCrowdsMoves) {
  start_example("own-loop", {"Loop", "demo"});
  ASSERT_TRUE(example_.wait_out("in world demo", kWaitMs));
  ASSERT_TRUE(example_.wait_out("moves: ", kWaitMs));

  // A bot of the test's own whispers the ping, and waits for the answer.
  seen = Seen{};
  ASSERT_EQ(api_init(ORBILO_SDK_BUILD), 0);
  api_event_set(EVENT_AVATAR_ADD, [] {
    if (std::string(api_string(ATTR_AVATAR_NAME)) == "[Loop]")
      seen.loop_session = api_int(ATTR_AVATAR_SESSION);
  });
  api_event_set(EVENT_CHAT, [] {
    seen.pong = seen.pong || (api_int(ATTR_CHAT_SESSION) == seen.loop_session &&
                              std::string(api_string(ATTR_CHAT_MESSAGE)) == "pong" &&
                              api_int(ATTR_CHAT_TYPE) == 2);
  });
  ASSERT_EQ(api_create("127.0.0.1", universe_port_, nullptr), 0);
  api_string_set(ATTR_LOGIN_NAME, "Tester");
  api_int_set(ATTR_LOGIN_OWNER, 1);
  api_string_set(ATTR_LOGIN_PRIVILEGE_PASSWORD, "demo");
  ASSERT_EQ(api_login(), 0);
  ASSERT_EQ(api_enter("demo"), 0);
  ASSERT_EQ(api_state_change(), 0);
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
  while (seen.loop_session == 0 && std::chrono::steady_clock::now() < end) api_wait(10);
  ASSERT_NE(seen.loop_session, 0);
  ASSERT_EQ(api_whisper(seen.loop_session, "Loop ping"), 0);
  while (!seen.pong && std::chrono::steady_clock::now() < end) api_wait(10);
  api_term();
  EXPECT_TRUE(seen.pong);
  EXPECT_TRUE(example_.wait_out("pong to [Tester]", kWaitMs));

  example_.signal(SIGTERM);
  EXPECT_EQ(example_.finish(kWaitMs), 0);
  const std::regex moves("^moves: [A-Z][a-z]+ to -?[0-9]+ -?[0-9]+$");
  int crowd_moves = 0;
  for (const std::string& line : example_.lines()) crowd_moves += std::regex_match(line, moves);
  EXPECT_GT(crowd_moves, 0);
}

}  // namespace
}  // namespace orbilo
