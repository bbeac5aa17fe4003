// The library's own instances against the service's servers in this process:
// log in, be refused, enter, see the crowd, two bots seeing each other in
// brackets, whispers both ways, and a world login whose hash is wrong.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "sdk/instance.h"
#include "sdk/sdk.h"
#include "support/test_server.h"

using namespace orbilo;

using server_testing::TestServer;

namespace {

struct Report {
  void* instance;
  int what;  // an event number, or 100 + a callback number
  int rc;
  std::string name;
  std::string text;
  int session;
};
std::vector<Report> reports;

void record(int what, int rc = 0) {
  reports.push_back({api_instance(), what, rc, api_string(ATTR_AVATAR_NAME),
                     api_string(ATTR_CHAT_MESSAGE), api_int(ATTR_AVATAR_SESSION)});
}

int count(void* instance, int what) {
  int n = 0;
  for (const Report& report : reports) n += report.instance == instance && report.what == what;
  return n;
}

const Report* last(void* instance, int what) {
  const Report* found = nullptr;
  for (const Report& report : reports) {
    if (report.instance == instance && report.what == what) found = &report;
  }
  return found;
}

// The library starts first: it restarts the clock that the servers share.
struct LibraryStarted {
  LibraryStarted() { api_init(ORBILO_SDK_BUILD); }
};

class EndToEnd : public testing::Test, public LibraryStarted {
 protected:
  void SetUp() override {
    reports.clear();
    api_callback_set(CALLBACK_LOGIN, [](int rc) { record(100 + CALLBACK_LOGIN, rc); });
    api_callback_set(CALLBACK_ENTER, [](int rc) { record(100 + CALLBACK_ENTER, rc); });
    api_event_set(EVENT_AVATAR_ADD, [] { record(EVENT_AVATAR_ADD); });
    api_event_set(EVENT_AVATAR_CHANGE, [] { record(EVENT_AVATAR_CHANGE); });
    api_event_set(EVENT_CHAT, [] { record(EVENT_CHAT); });
  }
  void TearDown() override {
    for (int event = 0; event < 29; ++event) api_event_set(event, nullptr);
    for (int callback = 0; callback < 32; ++callback) api_callback_set(callback, nullptr);
    api_term();
  }

  // Runs the library and the servers in turn until done() holds.
  bool run_until(TestServer& test, const std::function<bool()>& done, int timeout_ms = 5000) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!done()) {
      if (std::chrono::steady_clock::now() > end) return false;
      test.pump(1);
      api_wait(0);
    }
    return true;
  }

  // A bot that logs in as citizen 1 and asks for world "demo".
  void* start_bot(TestServer& test, const char* name, const char* password = "demo") {
    void* instance = nullptr;
    EXPECT_EQ(api_create("127.0.0.1", test.universe_port(), &instance), 0);
    api_string_set(ATTR_LOGIN_NAME, name);
    api_int_set(ATTR_LOGIN_OWNER, 1);
    api_string_set(ATTR_LOGIN_PRIVILEGE_PASSWORD, password);
    EXPECT_EQ(api_login(), 0);
    return instance;
  }

  bool enter(TestServer& test, void* bot) {
    if (!run_until(test, [&] { return count(bot, 100 + CALLBACK_LOGIN) > 0; })) return false;
    if (last(bot, 100 + CALLBACK_LOGIN)->rc != 0) return false;
    api_instance_set(bot);
    if (api_enter("demo") != 0) return false;
    if (!run_until(test, [&] { return count(bot, 100 + CALLBACK_ENTER) > 0; })) return false;
    return last(bot, 100 + CALLBACK_ENTER)->rc == 0;
  }

  void place(void* bot, int x, int z) {
    api_instance_set(bot);
    api_int_set(ATTR_MY_X, x);
    api_int_set(ATTR_MY_Z, z);
    ASSERT_EQ(api_state_change(), 0);
  }
};

TEST_F(EndToEnd, ABotLogsInAndARefusalComesBack) {
  TestServer test;
  ASSERT_EQ(test.create_error, 0) << test.error;
  void* bot = start_bot(test, "Ball");
  ASSERT_TRUE(enter(test, bot));
  EXPECT_EQ(static_cast<Instance*>(bot)->world_state, kWorldEntered);
  EXPECT_EQ(api_int(ATTR_WORLD_BUILD), 39);

  void* refused = start_bot(test, "Other", "wrong");
  ASSERT_TRUE(run_until(test, [&] { return count(refused, 100 + CALLBACK_LOGIN) > 0; }));
  EXPECT_EQ(last(refused, 100 + CALLBACK_LOGIN)->rc, RC_INVALID_PASSWORD);
  EXPECT_EQ(static_cast<Instance*>(refused)->universe_state, kUniverseClosed);
}

TEST_F(EndToEnd, TheCrowdArrivesAndMoves) {
  TestServer test([](ServerConfig* config) { config->worlds[0].crowd = 3; });
  ASSERT_EQ(test.create_error, 0) << test.error;
  void* bot = start_bot(test, "Ball");
  ASSERT_TRUE(enter(test, bot));
  place(bot, 0, 0);
  ASSERT_TRUE(run_until(test, [&] { return count(bot, EVENT_AVATAR_ADD) >= 3; }));
  ASSERT_TRUE(run_until(test, [&] { return count(bot, EVENT_AVATAR_CHANGE) >= 3; }));
  EXPECT_FALSE(last(bot, EVENT_AVATAR_CHANGE)->name.empty());  // moves carry known names
}

// Every client of the library is a bot, shown to others in brackets; a
// whisper reaches its target as whispered chat.
TEST_F(EndToEnd, TwoBotsSeeEachOtherAndWhisper) {
  TestServer test;
  ASSERT_EQ(test.create_error, 0) << test.error;
  void* ball = start_bot(test, "Ball");
  ASSERT_TRUE(enter(test, ball));
  void* other = start_bot(test, "Other");
  ASSERT_TRUE(enter(test, other));
  place(ball, 100, 200);
  place(other, -100, 0);
  ASSERT_TRUE(run_until(test, [&] {
    return count(ball, EVENT_AVATAR_ADD) > 0 && count(other, EVENT_AVATAR_ADD) > 0;
  }));
  EXPECT_EQ(last(ball, EVENT_AVATAR_ADD)->name, "[Other]");
  EXPECT_EQ(last(other, EVENT_AVATAR_ADD)->name, "[Ball]");

  api_instance_set(ball);
  ASSERT_EQ(api_whisper(last(ball, EVENT_AVATAR_ADD)->session, "Other owner"), 0);
  ASSERT_TRUE(run_until(test, [&] { return count(other, EVENT_CHAT) > 0; }));
  EXPECT_EQ(last(other, EVENT_CHAT)->text, "Other owner");
  EXPECT_EQ(last(other, EVENT_CHAT)->name, "[Ball]");
  api_instance_set(other);
  EXPECT_EQ(api_int(ATTR_CHAT_TYPE), 2);
  ASSERT_EQ(api_whisper(last(other, EVENT_AVATAR_ADD)->session, "back"), 0);
  ASSERT_TRUE(run_until(test, [&] { return count(ball, EVENT_CHAT) > 0; }));
  EXPECT_EQ(last(ball, EVENT_CHAT)->text, "back");
}

TEST_F(EndToEnd, AWorldLoginWithAWrongHashIsRefused) {
  TestServer test;
  ASSERT_EQ(test.create_error, 0) << test.error;
  void* bot = start_bot(test, "Ball");
  ASSERT_TRUE(run_until(test, [&] { return count(bot, 100 + CALLBACK_LOGIN) > 0; }));
  static_cast<Instance*>(bot)->login_check[0] ^= 0xff;  // the hash no longer matches
  ASSERT_EQ(api_enter("demo"), 0);
  ASSERT_TRUE(run_until(test, [&] { return count(bot, 100 + CALLBACK_ENTER) > 0; }));
  EXPECT_EQ(last(bot, 100 + CALLBACK_ENTER)->rc, RC_NOT_WELCOME);
  EXPECT_EQ(static_cast<Instance*>(bot)->world_state, kWorldNone);
}

}  // namespace
