// Keep-alives from the servers. The library closes a world link that has
// received nothing for 90 s and a universe link (build 32 on) that has
// received nothing for 120 s, so a link the servers have sent nothing on for
// a minute gets a keep-alive: universe message 32, world message 16. A bot
// that is only logged in, or alone in a quiet world, keeps both its links.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>

#include "net/clock.h"
#include "sdk/instance.h"
#include "sdk/sdk.h"
#include "support/raw_link.h"

using namespace orbilo;

using namespace server_testing;

namespace {

// Steps the server after the library clock moved on by ms.
void advance(TestServer& test, int ms) {
  clock_advance(ms);
  test.pump();
}

}  // namespace

TEST(ServerKeepAlive, ALinkTheServerHasSentNothingOnForAMinuteGetsAKeepAlive) {
  TestServer test;
  RawLink universe(test, test.universe_port());
  LoginResult login = universe_login(universe, "Ball", 1, "demo");
  ASSERT_EQ(login.result, 0);
  RawLink world(test, test.world_port("demo"));
  ASSERT_TRUE(world_enter(world, login, "demo", 0));  // wants no reports

  advance(test, 59000);
  EXPECT_TRUE(universe.quiet(20));
  EXPECT_TRUE(world.quiet(20));
  advance(test, 2000);
  Bytes message;
  ASSERT_TRUE(universe.next(&message));
  EXPECT_EQ(message, messages::keep_alive_from_universe());
  ASSERT_TRUE(world.next(&message));
  EXPECT_EQ(message, messages::keep_alive_from_world());
  // One each, and the next a minute later.
  EXPECT_TRUE(universe.quiet(20));
  EXPECT_TRUE(world.quiet(20));
  advance(test, 30000);
  EXPECT_TRUE(universe.quiet(20));
  advance(test, 31000);
  ASSERT_TRUE(universe.next(&message));
  EXPECT_EQ(message, messages::keep_alive_from_universe());
  ASSERT_TRUE(world.next(&message));
  EXPECT_EQ(message, messages::keep_alive_from_world());
  EXPECT_EQ(test.logged("closed"), 0);
}

TEST(ServerKeepAlive, ALinkTheServerKeepsTalkingOnGetsNone) {
  TestServer test([](ServerConfig* config) { config->worlds[0].crowd = 1; });
  RawLink universe(test, test.universe_port());
  LoginResult login = universe_login(universe, "Ball", 1, "demo");
  RawLink world(test, test.world_port("demo"));
  ASSERT_TRUE(world_enter(world, login, "demo", 7));
  Bytes message;
  for (int tick = 0; tick < 150; ++tick) {  // 75 s of a crowd walking
    advance(test, 500);
    while (world.next(&message, 5)) EXPECT_NE(message[0], 16);
  }
  ASSERT_TRUE(universe.next(&message));  // the universe link had nothing to say
  EXPECT_EQ(message, messages::keep_alive_from_universe());
}

namespace {

int entered = 0;
int disconnects = 0;

// The library starts first: it restarts the clock that the servers share.
struct LibraryStarted {
  LibraryStarted() { api_init(ORBILO_SDK_BUILD); }
};

class ServerKeepAliveForTheLibrary : public testing::Test, public LibraryStarted {
 protected:
  void SetUp() override {
    entered = disconnects = 0;
    api_callback_set(CALLBACK_LOGIN, [](int rc) {
      if (rc == 0) api_enter("demo");
    });
    api_callback_set(CALLBACK_ENTER, [](int rc) { entered += rc == 0; });
    api_event_set(EVENT_WORLD_DISCONNECT, [] { ++disconnects; });
  }
  void TearDown() override {
    api_callback_set(CALLBACK_LOGIN, nullptr);
    api_callback_set(CALLBACK_ENTER, nullptr);
    api_event_set(EVENT_WORLD_DISCONNECT, nullptr);
    api_term();
  }
};

}  // namespace

TEST_F(ServerKeepAliveForTheLibrary, ABotAloneInAQuietWorldKeepsBothLinksForTenMinutes) {
  TestServer test;
  void* bot = nullptr;
  ASSERT_EQ(api_create("127.0.0.1", test.universe_port(), &bot), 0);
  api_string_set(ATTR_LOGIN_NAME, "Ball");
  api_int_set(ATTR_LOGIN_OWNER, 1);
  api_string_set(ATTR_LOGIN_PRIVILEGE_PASSWORD, "demo");
  ASSERT_EQ(api_login(), 0);
  auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (entered == 0 && std::chrono::steady_clock::now() < end) {
    test.pump(1);
    api_wait(0);
  }
  ASSERT_EQ(entered, 1);
  auto* instance = static_cast<Instance*>(bot);
  for (int second = 1; second <= 600; ++second) {
    advance(test, 1000);
    api_wait(0);
    test.pump();
    api_wait(0);
    ASSERT_EQ(instance->universe_state, kUniverseLoggedIn) << "after " << second << " s";
    ASSERT_EQ(instance->world_state, kWorldEntered) << "after " << second << " s";
  }
  EXPECT_EQ(disconnects, 0);
  EXPECT_EQ(entered, 1);
  EXPECT_EQ(test.logged("closed"), 0);
}
