// The road of a session against scripted peers: login, world lookup, world
// login, and what flows in the world, in callback mode and in blocking mode.
#include <arpa/inet.h>

#include <functional>
#include <thread>

#include "net/clock.h"
#include "sdk/hash_table.h"
#include "support/session.h"

using namespace orbilo;

namespace {

using scripted::Body;
using scripted::Bytes;
using session::calls;
using session::SessionTest;

// The login reply carries more fields as the universe's build grows: the
// login number above 22, the check bytes above 34.
TEST_F(SessionTest, LoginReplyFieldsFollowTheUniverseBuild) {
  for (int build : {20, 23, 35}) {
    SCOPED_TRACE(build);
    create();
    login(build);
    EXPECT_EQ(instance()->universe_build, build);
    EXPECT_EQ(api_int(ATTR_UNIVERSE_BUILD), build);
    EXPECT_EQ(instance()->session_number, 77u);
    EXPECT_EQ(instance()->login_number, build > 22 ? 9u : 0u);
    EXPECT_EQ(instance()->login_check[3], build > 34 ? 4 : 0);
    EXPECT_STREQ(api_string(ATTR_LOGIN_REPLY_NAME), "Ball reply");
    EXPECT_STREQ(api_string(ATTR_UNIVERSE_SETTING_4), "one");
    EXPECT_EQ(api_int(ATTR_UNIVERSE_SETTING_1), 17);
    EXPECT_EQ(api_int(ATTR_UNIVERSE_SETTING_10), 1);  // a default the list does not name
    EXPECT_EQ(instance()->reconnect_enabled, 1);
    ASSERT_EQ(api_destroy(), 0);
    calls = session::Calls{};
  }
}

TEST_F(SessionTest, ARefusedLoginClosesTheLinkForGood) {
  create();
  session::install_callbacks();
  ASSERT_EQ(api_login(), 0);
  ASSERT_TRUE(universe_link_.receive_first().has_value());
  ASSERT_TRUE(universe_link_.send_keys(true, 0, 0));
  ASSERT_TRUE(universe_link_.send_universe(RC_INVALID_PASSWORD, 20, {}));
  ASSERT_TRUE(pump_until([] { return calls.count_callback(CALLBACK_LOGIN) > 0; }));
  EXPECT_EQ(calls.last_rc(CALLBACK_LOGIN), RC_INVALID_PASSWORD);
  EXPECT_EQ(instance()->universe_state, kUniverseClosed);
  EXPECT_EQ(instance()->universe_stream, nullptr);
  EXPECT_TRUE(universe_link_.closed());
  clock_advance(600000);
  api_wait(0);
  EXPECT_EQ(instance()->universe_state, kUniverseClosed);  // never reopened
  EXPECT_EQ(api_login(), RC_NO_CONNECTION);
}

// World logins by world build: 20 below 28, 27 below 39, 53 with the hash from
// 39 on; a world below 26 cannot be entered.
TEST_F(SessionTest, TheWorldLoginFollowsTheWorldBuild) {
  for (int build : {27, 30, 39}) {
    SCOPED_TRACE(build);
    create();
    login();
    enter(build);
    EXPECT_EQ(instance()->world_state, kWorldEntered);
    EXPECT_EQ(instance()->world_build, build);
    EXPECT_STREQ(api_string(ATTR_WORLD_NAME), "myworld");
    ASSERT_EQ(api_destroy(), 0);
    calls = session::Calls{};
  }
}

TEST_F(SessionTest, AWorldTooOldOrNotWelcomeEndsTheEntry) {
  create();
  login();
  struct Case {
    int result;
    int build;
    int rc;
  } cases[] = {{0, 25, RC_WORLD_BUILD_TOO_OLD}, {91, 39, RC_NOT_WELCOME}, {27, 39, 27}};
  for (const Case& each : cases) {
    ASSERT_EQ(api_enter("myworld"), 0);
    ASSERT_EQ(universe_link_.receive()->id, 24);
    Bytes body = each.result == 0 ? session::world_reply("myworld", world_.port(), each.build, 35)
                                  : Body().byte(each.result).byte(0).string("myworld").bytes_;
    ASSERT_TRUE(universe_link_.send(body));
    ASSERT_TRUE(pump_until([] { return calls.count_callback(CALLBACK_ENTER) > 0; }));
    EXPECT_EQ(calls.last_rc(CALLBACK_ENTER), each.rc);
    EXPECT_EQ(instance()->world_state, kWorldNone);
    calls = session::Calls{};
  }
  EXPECT_FALSE(world_.accept(100).valid());  // no world was ever dialled
}

// A reply for another world is ignored whole; one that differs only in case
// is the reply.
TEST_F(SessionTest, AWorldReplyForAnotherNameIsIgnored) {
  create();
  login();
  ASSERT_EQ(api_enter("myworld"), 0);
  ASSERT_EQ(universe_link_.receive()->id, 24);
  ASSERT_TRUE(universe_link_.send(session::world_reply("myworld2", world_.port(), 39, 35)));
  api_wait(50);
  EXPECT_EQ(calls.count_callback(CALLBACK_ENTER), 0);
  EXPECT_EQ(instance()->world_state, kWorldNone);
  ASSERT_TRUE(universe_link_.send(session::world_reply("MYWORLD", world_.port(), 39, 35)));
  ASSERT_TRUE(pump_until([&] { return instance()->world_state == kWorldLoggingIn; }));
}

TEST_F(SessionTest, TheBotMovesWhispersAndSeesAvatarsAndChat) {
  create();
  login();
  for (int event : {EVENT_AVATAR_ADD, EVENT_AVATAR_CHANGE, EVENT_AVATAR_DELETE, EVENT_CHAT}) {
    session::install_event(event);
  }
  enter();
  EXPECT_EQ(entry_mask_, Body().long_(7).bytes_);

  api_int_set(ATTR_MY_X, -1000);
  api_int_set(ATTR_MY_Y, 5);
  api_int_set(ATTR_MY_Z, 2000);
  api_int_set(ATTR_MY_YAW, 900);
  api_int_set(ATTR_MY_TYPE, 3);
  api_int_set(ATTR_MY_GESTURE, 1);
  ASSERT_EQ(api_state_change(), 0);
  auto state = world_link_.receive();
  EXPECT_EQ(state->bytes(),
            messages::state({.x = -1000, .y = 5, .z = 2000, .yaw = 900, .type = 3, .gesture = 1}));
  ASSERT_EQ(api_whisper(12, "hello"), 0);
  auto whisper = world_link_.receive();
  EXPECT_EQ(whisper->bytes(), messages::whisper(12, "hello"));

  ASSERT_TRUE(world_link_.send(session::kicker_add()));
  ASSERT_TRUE(pump_until([] { return calls.count_event(EVENT_AVATAR_ADD) == 1; }));
  EXPECT_STREQ(api_string(ATTR_AVATAR_NAME), "Kicker");
  EXPECT_EQ(api_int(ATTR_AVATAR_Z), -200);
  EXPECT_EQ(api_int(ATTR_AVATAR_VALUE_3), 7);

  ASSERT_TRUE(world_link_.send(messages::avatar_change(
      {.session = 12, .x = 150, .z = -250, .yaw = 0xffff, .type = 1, .gesture = 1})));
  ASSERT_TRUE(pump_until([] { return calls.count_event(EVENT_AVATAR_CHANGE) == 1; }));
  EXPECT_STREQ(api_string(ATTR_AVATAR_NAME), "Kicker");
  EXPECT_EQ(api_int(ATTR_AVATAR_YAW), -1);
  EXPECT_EQ(api_int(ATTR_AVATAR_GESTURE), 1);

  struct Chat {
    int id;
    int type;
  } chats[] = {{12, 0}, {5, 1}, {18, 2}};
  for (const Chat& chat : chats) {
    ASSERT_TRUE(world_link_.send(messages::chat(12, "Ball owner", chat.id)));
    int before = calls.count_event(EVENT_CHAT);
    ASSERT_TRUE(pump_until([&] { return calls.count_event(EVENT_CHAT) == before + 1; }));
    EXPECT_EQ(api_int(ATTR_CHAT_TYPE), chat.type);
    EXPECT_STREQ(api_string(ATTR_CHAT_MESSAGE), "Ball owner");
    EXPECT_EQ(api_int(ATTR_CHAT_SESSION), 12);
  }

  ASSERT_TRUE(world_link_.send(messages::avatar_delete(12)));
  ASSERT_TRUE(pump_until([] { return calls.count_event(EVENT_AVATAR_DELETE) == 1; }));
  EXPECT_STREQ(api_string(ATTR_AVATAR_NAME), "Kicker");
  // Chat from a session that has left is dropped.
  ASSERT_TRUE(world_link_.send(messages::chat(12, "still here")));
  ASSERT_TRUE(world_link_.send(messages::keep_alive_from_world()));
  ASSERT_TRUE(pump_until([&] { return instance()->last_world_message_id == 16; }));
  EXPECT_EQ(calls.count_event(EVENT_CHAT), 3);
}

// Without the callbacks, login, enter and the citizen lookup block until
// their replies, running the pump.
TEST_F(SessionTest, BlockingModeReturnsTheRepliesResults) {
  create();
  api_string_set(ATTR_LOGIN_NAME, session::kBotName);
  api_int_set(ATTR_LOGIN_OWNER, session::kOwner);
  api_string_set(ATTR_LOGIN_PRIVILEGE_PASSWORD, session::kPassword);
  std::thread universe([&] {
    auto first = universe_link_.receive_first();
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(first->bytes(), session::universe_login());
    universe_link_.send_keys(true, 1, 2);
    universe_link_.send(session::universe_attributes(35));
    universe_link_.send(session::login_reply(35));
    auto lookup = universe_link_.receive();
    ASSERT_TRUE(lookup.has_value());
    EXPECT_EQ(lookup->bytes(), messages::world_lookup("myworld"));
    universe_link_.send(session::world_reply("myworld", world_.port(), 39, 35));
    world_link_ = world_.accept();
    auto world_login = world_link_.receive_first();
    ASSERT_TRUE(world_login.has_value());
    EXPECT_EQ(world_login->bytes(), session::world_login(39, world_.port()));
    world_link_.send_keys(false, 0, 0);
    world_link_.send(messages::world_attributes({}));
    auto citizen = universe_link_.receive();
    ASSERT_TRUE(citizen.has_value());
    EXPECT_EQ(citizen->bytes(), messages::citizen_lookup(1234));
    universe_link_.send(messages::citizen_reply(1234, "Owner"));
    universe_link_.receive();  // the second lookup
    universe_link_.send_universe(RC_NO_SUCH_CITIZEN, 25, Body().long_(99).bytes_);
  });
  EXPECT_EQ(api_login(), 0);
  EXPECT_EQ(api_enter("myworld"), 0);
  EXPECT_EQ(instance()->world_state, kWorldEntered);
  EXPECT_EQ(api_citizen_lookup(1234), 0);
  EXPECT_STREQ(api_string(ATTR_CITIZEN_NAME), "Owner");
  EXPECT_EQ(api_citizen_lookup(99), RC_NO_SUCH_CITIZEN);
  universe.join();
}

TEST_F(SessionTest, BlockingLoginEndsWith429WhenTheLinkCloses) {
  create();
  std::thread universe([&] {
    universe_link_.receive_first();
    universe_link_.close();
  });
  EXPECT_EQ(api_login(), RC_UNABLE_TO_CONNECT);
  EXPECT_EQ(instance()->universe_state, kUniverseClosed);
  universe.join();
}

// A blocking lookup or entry whose request went out on a universe link that
// is then lost can never see its reply: it ends with "connection lost", and
// the link is reopened as for any loss.
TEST_F(SessionTest, BlockingRequestsEndWhenTheirUniverseLinkIsLost) {
  const std::pair<const char*, std::function<int()>> requests[] = {
      {"citizen lookup", [] { return api_citizen_lookup(1234); }},
      {"enter", [] { return api_enter("myworld"); }}};
  for (const auto& [name, request] : requests) {
    SCOPED_TRACE(name);
    calls = {};
    create();
    login();
    api_callback_set(CALLBACK_CITIZEN_LOOKUP, nullptr);
    api_callback_set(CALLBACK_ENTER, nullptr);
    std::thread universe([&] {
      EXPECT_TRUE(universe_link_.receive().has_value());
      universe_link_.close();
    });
    EXPECT_EQ(request(), RC_CONNECTION_LOST);
    EXPECT_EQ(instance()->universe_state, kUniverseReconnectPending);
    universe.join();
  }
}

TEST_F(SessionTest, OperationsRefuseOutOfPlace) {
  create();
  EXPECT_EQ(api_enter("myworld"), RC_NO_CONNECTION);  // not logged in
  EXPECT_EQ(api_citizen_lookup(1), RC_NO_CONNECTION);
  login();
  EXPECT_EQ(api_state_change(), RC_NO_CONNECTION);  // no world yet
  EXPECT_EQ(api_whisper(1, "x"), RC_NO_CONNECTION);
  EXPECT_EQ(api_enter("ninechars"), RC_INVALID_WORLD_NAME);
  EXPECT_TRUE(universe_link_.quiet());  // nothing was sent
  enter();
  std::string longest(255, 'w');
  EXPECT_EQ(api_whisper(1, longest.c_str()), 0);
  EXPECT_EQ(world_link_.receive()->body.size(), 2u + 1u + 255u);
  EXPECT_EQ(api_whisper(1, (longest + "w").c_str()), RC_STRING_TOO_LONG);
  // A name too long still leaves the world first.
  EXPECT_EQ(api_enter("ninechars"), RC_INVALID_WORLD_NAME);
  EXPECT_EQ(instance()->world_state, kWorldNone);
  EXPECT_TRUE(world_link_.closed());
  EXPECT_EQ(api_exit(), 0);
}

}  // namespace
