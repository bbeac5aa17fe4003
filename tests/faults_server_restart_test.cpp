// orbilo-server killed without warning while a bot stands in its world, and
// started again on the same ports: the bot hears of the lost world once, with
// "connection lost", logs in again (reported by the login callback), re-enters
// and sends its state again without a second enter callback.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

#include "net/clock.h"
#include "sdk/instance.h"
#include "sdk/sdk.h"
#include "support/child_process.h"

using namespace orbilo;

namespace {

constexpr int kSecond = 1000;

struct Seen {
  int logins = 0, login_rc = -1;
  int enters = 0, enter_rc = -1;
  int disconnects = 0, reason = -1;
};
Seen seen;

// Each login reply is reported, the ones after a lost universe link too; an
// application enters its world after the first only.
void on_login(int rc) {
  ++seen.logins;
  seen.login_rc = rc;
  if (rc == 0 && seen.logins == 1) api_enter("demo");
}

void on_enter(int rc) {
  ++seen.enters;
  seen.enter_rc = rc;
  if (rc != 0) return;
  api_int_set(ATTR_MY_X, 1234);
  api_int_set(ATTR_MY_Z, -567);
  api_int_set(ATTR_MY_YAW, 900);
  api_state_change();
}

void on_world_disconnect() {
  ++seen.disconnects;
  seen.reason = api_int(ATTR_DISCONNECT_REASON);
}

class FaultsServerRestart : public testing::Test {
 protected:
  void SetUp() override {
    seen = Seen{};
    ASSERT_TRUE(start_server()) << "orbilo-server did not start";
    ASSERT_EQ(api_init(ORBILO_SDK_BUILD), 0);
    api_callback_set(CALLBACK_LOGIN, on_login);
    api_callback_set(CALLBACK_ENTER, on_enter);
    api_event_set(EVENT_WORLD_DISCONNECT, on_world_disconnect);
    ASSERT_EQ(api_create("127.0.0.1", universe_port_, &bot_), 0);
    api_string_set(ATTR_LOGIN_NAME, "Ball");
    api_int_set(ATTR_LOGIN_OWNER, 1);
    api_string_set(ATTR_LOGIN_PRIVILEGE_PASSWORD, "demo");
  }
  void TearDown() override {
    if (HasFailure()) {
      for (const std::string& line : server_.lines()) std::printf("server: %s\n", line.c_str());
    }
    if (bot_ != nullptr) api_destroy();
    api_term();
  }

  Instance* instance() const { return static_cast<Instance*>(bot_); }

  // orbilo-server with a universe and the world "demo" (build 39, no crowd)
  // on 127.0.0.1, and citizen 1 "Demo" with the password "demo"; every
  // message is traced in its log. The first start takes ports from the OS,
  // later starts the same ports again.
  bool start_server() {
    const std::string at = "127.0.0.1:";
    if (!server_.start({program_beside("orbilo-server"), "--universe",
                        at + std::to_string(universe_port_), "--version-server", "off", "--world",
                        "demo=" + at + std::to_string(world_port_), "--world-build", "39",
                        "--crowd", "0", "--citizen", "1:Demo:demo", "--seed", "1", "--trace"}))
      return false;
    universe_port_ = server_.port("universe");
    world_port_ = server_.port("world \"demo\"");
    return universe_port_ != 0 && world_port_ != 0;
  }

  // Pumps until done, for five seconds of real time at most. A link waiting
  // to be reopened has its second moved on by the clock hook.
  bool pump_until(const std::function<bool()>& done, int wait_ms = 10) {
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    for (;;) {
      if (done()) return true;
      if (std::chrono::steady_clock::now() >= end) return false;
      api_wait(wait_ms);
      if (instance()->universe_state == kUniverseReconnectPending ||
          instance()->world_state == kWorldReconnectPending)
        clock_advance(kSecond + 1);
    }
  }

  // The next log line of the server holding text, read while the bot pumps.
  std::string pump_until_logged(const std::string& text) {
    std::string line;
    pump_until([&] { return !(line = server_.next_line(text, 20)).empty(); });
    return line;
  }

  ChildProcess server_;
  int universe_port_ = 0;
  int world_port_ = 0;
  void* bot_ = nullptr;
};

TEST_F(FaultsServerRestart, TheBotLogsInAgainReEntersAndResendsItsState) {
  ASSERT_EQ(api_login(), 0);
  ASSERT_TRUE(pump_until([] { return seen.enters == 1; }));
  ASSERT_EQ(seen.login_rc, 0);
  ASSERT_EQ(seen.enter_rc, 0);
  ASSERT_NE(pump_until_logged("8 state session="), "");
  const int universe_port = universe_port_;
  const int world_port = world_port_;

  server_.kill_hard();
  ASSERT_TRUE(pump_until([] { return seen.disconnects == 1; }));
  EXPECT_EQ(seen.reason, RC_CONNECTION_LOST);
  // The server stays away a while: the bot keeps trying, and says nothing more.
  for (int attempt = 0; attempt < 5; ++attempt) {
    clock_advance(kSecond + 1);
    api_wait(10);
  }
  EXPECT_EQ(seen.disconnects, 1);

  ASSERT_TRUE(start_server());
  ASSERT_EQ(universe_port_, universe_port);
  ASSERT_EQ(world_port_, world_port);
  EXPECT_NE(pump_until_logged("47 login build="), "");
  EXPECT_NE(pump_until_logged("world login \"demo\""), "");
  std::string state = pump_until_logged("8 state session=");
  EXPECT_NE(state.find(" x=1234 y=0 z=-567 yaw=900 "), std::string::npos) << state;
  EXPECT_TRUE(pump_until([this] { return instance()->world_state == kWorldEntered; }));

  // One loss, one new login and no new entry, however long the server was away.
  api_wait(50);
  EXPECT_EQ(seen.disconnects, 1);
  EXPECT_EQ(seen.logins, 2);
  EXPECT_EQ(seen.login_rc, 0);
  EXPECT_EQ(seen.enters, 1);
}

// Killed twice in a row, the second time while the bot is still on its way
// back: one disconnect event for each time the bot lost a world it was in.
TEST_F(FaultsServerRestart, KilledAgainWhileTheBotComesBack) {
  ASSERT_EQ(api_login(), 0);
  ASSERT_TRUE(pump_until([] { return seen.enters == 1; }));
  server_.kill_hard();
  ASSERT_TRUE(pump_until([] { return seen.disconnects == 1; }));
  ASSERT_TRUE(start_server());
  // Killed again once the bot has sent its login, so before its world link
  // can be back: the universe link must be logged in first. Passes that do
  // not wait leave no time for the reply to be read in the same pass.
  ASSERT_TRUE(pump_until([this] { return instance()->universe_state == kUniverseLoggingIn; }, 0));
  server_.kill_hard();
  for (int attempt = 0; attempt < 5; ++attempt) {
    clock_advance(kSecond + 1);
    api_wait(10);
  }
  ASSERT_TRUE(start_server());
  std::string state = pump_until_logged("8 state session=");
  EXPECT_NE(state.find(" x=1234 "), std::string::npos) << state;
  EXPECT_TRUE(pump_until([this] { return instance()->world_state == kWorldEntered; }));
  EXPECT_EQ(seen.disconnects, 1);
  EXPECT_GE(seen.logins, 2);  // the login cut short may or may not have had its reply
  EXPECT_EQ(seen.login_rc, 0);
  EXPECT_EQ(seen.enters, 1);
}

}  // namespace
