// The universe moves the bot (message 18) or renumbers its session (message
// 27) while the world keeps sending avatar moves and chat. The bot counts
// what it is told: every report that its world link delivered arrives once
// and in order, the world hears the new session number, the universe link
// moves to its new address, and the bot ends in the world again.
#include <arpa/inet.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "net/clock.h"
#include "support/session.h"

using namespace orbilo;

namespace {

using session::calls;
using session::SessionTest;

constexpr int kSecond = 1000;
constexpr int kTalker = 12;  // the avatar that moves and talks

std::vector<int> moves;  // ATTR_AVATAR_X of each avatar change
std::vector<int> chats;  // the number each chat carries

// Avatar kTalker arrives.
bool send_arrival(scripted::Link& world) {
  return world.send(messages::avatar_add({.session = kTalker, .name = "Talker", .type = 1}));
}

// Tick n of the world's traffic: the talker moves to x = n and says "n".
// A peer whose link the library has closed refuses the bytes; that is not
// an error here.
bool send_tick(scripted::Link& world, int n) {
  return world.send(messages::avatar_change({.session = kTalker, .x = n, .type = 1})) &&
         world.send(messages::chat(kTalker, std::to_string(n)));
}

// true when values is first, first + 1, ..., first + count - 1.
::testing::AssertionResult runs_from(const std::vector<int>& values, int first, int count) {
  if (static_cast<int>(values.size()) != count) {
    return ::testing::AssertionFailure() << values.size() << " values, not " << count;
  }
  for (int k = 0; k < count; ++k) {
    if (values[k] != first + k) {
      return ::testing::AssertionFailure() << "value " << k << " is " << values[k];
    }
  }
  return ::testing::AssertionSuccess();
}

class FaultsTrafficTest : public SessionTest {
 protected:
  void SetUp() override {
    SessionTest::SetUp();
    moves.clear();
    chats.clear();
  }

  // In the world with the bot placed, the talker there, and the counters
  // installed.
  void in_world_with_talker() {
    create();
    login();
    session::install_event(EVENT_WORLD_DISCONNECT);
    session::install_event(EVENT_AVATAR_ADD);
    api_event_set(EVENT_AVATAR_CHANGE, [] { moves.push_back(api_int(ATTR_AVATAR_X)); });
    api_event_set(EVENT_CHAT, [] { chats.push_back(std::atoi(api_string(ATTR_CHAT_MESSAGE))); });
    enter();
    api_int_set(ATTR_MY_X, 4242);
    ASSERT_EQ(api_state_change(), 0);
    auto state = world_link_.receive();
    ASSERT_TRUE(state.has_value());
    ASSERT_EQ(state->id, 8);
    ASSERT_TRUE(send_arrival(world_link_));
    ASSERT_TRUE(pump_until([] { return calls.count_event(EVENT_AVATAR_ADD) == 1; }));
  }

  // Ticks first .. last on the world link.
  void send_ticks(int first, int last) {
    for (int n = first; n <= last; ++n) ASSERT_TRUE(send_tick(world_link_, n));
  }
};

// Universe 27 arrives in the middle of the traffic: the world link is given
// up for a new world login with the new number. What the old link delivered
// came once and in order, with nothing skipped; the new link delivers all.
TEST_F(FaultsTrafficTest, RenumberWhileAvatarsAndChatFlow) {
  in_world_with_talker();
  send_ticks(1, 50);
  ASSERT_TRUE(pump_until([] { return chats.size() >= 20; }));
  ASSERT_TRUE(universe_link_.send(messages::renumber(300)));
  for (int n = 51; n <= 100; ++n) {
    if (!send_tick(world_link_, n)) break;  // the library has closed the link
  }
  ASSERT_TRUE(pump_until([&] { return instance()->world_state == kWorldReconnectPending; }));
  EXPECT_EQ(instance()->session_number, 300u);
  const int heard = static_cast<int>(chats.size());
  EXPECT_GE(heard, 20);
  EXPECT_LE(heard, 100);
  EXPECT_TRUE(runs_from(chats, 1, heard));
  EXPECT_GE(static_cast<int>(moves.size()), heard);
  EXPECT_LE(static_cast<int>(moves.size()), heard + 1);  // a move may precede its chat
  EXPECT_TRUE(runs_from(moves, 1, static_cast<int>(moves.size())));
  EXPECT_TRUE(world_link_.closed());
  EXPECT_EQ(calls.count_event(EVENT_WORLD_DISCONNECT), 0);  // a renumber is no loss

  clock_advance(kSecond);
  ASSERT_TRUE(pump_until([&] { return instance()->world_state == kWorldLoggingIn; }));
  world_link_ = world_.accept();
  ASSERT_TRUE(world_link_.valid());
  auto login = world_link_.receive_first();
  ASSERT_TRUE(login.has_value());
  EXPECT_EQ(login->bytes(), session::world_login(39, world_.port(), 300));
  ASSERT_TRUE(world_link_.send_keys(false, 4, 6));
  ASSERT_TRUE(world_link_.send(messages::world_attributes({{21, "39"}})));
  ASSERT_TRUE(pump_until([&] { return instance()->world_state == kWorldEntered; }));
  auto state = world_link_.receive_id(8);  // the bot stands where it stood
  ASSERT_TRUE(state.has_value());
  EXPECT_EQ(state->bytes(), messages::state({.x = 4242}));

  // The new link carries the traffic on, all of it.
  moves.clear();
  chats.clear();
  ASSERT_TRUE(send_arrival(world_link_));
  send_ticks(101, 200);
  ASSERT_TRUE(pump_until([] { return chats.size() >= 100; }));
  api_wait(20);
  EXPECT_TRUE(runs_from(chats, 101, 100));
  EXPECT_TRUE(runs_from(moves, 101, 100));
  EXPECT_EQ(calls.count_event(EVENT_AVATAR_ADD), 2);
  EXPECT_EQ(calls.count_callback(CALLBACK_ENTER), 1);
  EXPECT_EQ(calls.count_event(EVENT_WORLD_DISCONNECT), 0);
  EXPECT_EQ(instance()->universe_state, kUniverseLoggedIn);
}

// Universe 18 arrives in the middle of the traffic: the universe link moves
// and logs in again there, while the world link stays and loses nothing;
// the new login reaches the world with the new session number.
TEST_F(FaultsTrafficTest, RedirectWhileAvatarsAndChatFlow) {
  in_world_with_talker();
  scripted::Server elsewhere;
  ASSERT_TRUE(elsewhere.ok());
  send_ticks(1, 50);
  ASSERT_TRUE(pump_until([] { return chats.size() >= 20; }));
  ASSERT_TRUE(universe_link_.send(messages::redirect(elsewhere.host_port())));
  send_ticks(51, 100);
  ASSERT_TRUE(pump_until([&] { return instance()->universe_port == elsewhere.port(); }));
  EXPECT_EQ(instance()->universe_state, kUniverseLoggingIn);
  EXPECT_EQ(instance()->universe_address, htonl(0x7f000001));
  EXPECT_TRUE(universe_link_.closed());
  scripted::Link moved = elsewhere.accept();
  ASSERT_TRUE(moved.valid());
  auto again = moved.receive_first();
  ASSERT_TRUE(again.has_value());
  EXPECT_EQ(again->bytes(), session::universe_login());

  // The world link went on meanwhile: every tick, once, in order.
  ASSERT_TRUE(pump_until([] { return chats.size() >= 100; }));
  api_wait(20);
  EXPECT_TRUE(runs_from(chats, 1, 100));
  EXPECT_TRUE(runs_from(moves, 1, 100));
  EXPECT_EQ(instance()->world_state, kWorldEntered);

  // The new universe takes the login with a new session number; the world
  // hears of it on the link it already has, between ticks.
  send_ticks(101, 150);
  ASSERT_TRUE(moved.send_keys(true, 8, 2));
  ASSERT_TRUE(moved.send(session::universe_attributes(35)));
  ASSERT_TRUE(moved.send(session::login_reply(35, 88)));
  send_ticks(151, 200);
  ASSERT_TRUE(pump_until([&] { return instance()->universe_state == kUniverseLoggedIn; }));
  EXPECT_EQ(instance()->session_number, 88u);
  auto world_login = world_link_.receive_id(53);
  ASSERT_TRUE(world_login.has_value());
  EXPECT_EQ(world_login->bytes(), session::world_login(39, world_.port(), 88));
  // The world answers the login with its attributes, as on entry, and the
  // bot stands again where it stood.
  ASSERT_TRUE(world_link_.send(messages::world_attributes({{21, "39"}})));
  ASSERT_TRUE(pump_until([&] { return instance()->world_state == kWorldEntered; }));
  auto state = world_link_.receive_id(8);
  ASSERT_TRUE(state.has_value());
  EXPECT_EQ(state->bytes(), messages::state({.x = 4242}));
  ASSERT_TRUE(pump_until([] { return chats.size() >= 200; }));
  api_wait(20);
  EXPECT_TRUE(runs_from(chats, 1, 200));
  EXPECT_TRUE(runs_from(moves, 1, 200));
  EXPECT_EQ(instance()->world_state, kWorldEntered);
  EXPECT_EQ(calls.count_event(EVENT_WORLD_DISCONNECT), 0);
  EXPECT_EQ(calls.count_callback(CALLBACK_ENTER), 1);
  EXPECT_EQ(calls.count_event(EVENT_AVATAR_ADD), 1);

  // The moved link is the one the bot now uses.
  ASSERT_EQ(api_citizen_lookup(5), 0);
  auto lookup = moved.receive();
  ASSERT_TRUE(lookup.has_value());
  EXPECT_EQ(lookup->bytes(), messages::citizen_lookup(5));
}

}  // namespace
