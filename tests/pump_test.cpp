// The pump's supervision of both links: time-outs, keep-alives, losses and
// reconnects, redirects and renumbering, with the library clock held still
// and moved only by the test hook.
#include <arpa/inet.h>
#include <sys/socket.h>

#include <vector>

#include "net/clock.h"
#include "sdk/stream.h"
#include "support/session.h"
#include "support/steady_clock.h"

using namespace orbilo;

namespace {

using scripted::Body;
using session::calls;
using session::SessionTest;

constexpr int kSecond = 1000;

class PumpTest : public SessionTest {
 protected:
  steady_clock::Hold clock_;

  void SetUp() override {
    SessionTest::SetUp();
    // Off 0, which the library keeps for "no message received yet".
    clock_advance(kSecond);
  }

  // Logged in and in the world, with the disconnect event installed.
  void in_world(int universe_build = 35) {
    create();
    login(universe_build);
    session::install_event(EVENT_WORLD_DISCONNECT);
    enter();
  }

  // Loses the universe link while in the world and lets it reopen, up to the
  // new login; the test sends the login reply.
  void universe_reopens() {
    universe_link_.close();
    ASSERT_TRUE(
        pump_until([&] { return instance()->universe_state == kUniverseReconnectPending; }));
    clock_advance(kSecond);
    api_wait(0);
    ASSERT_EQ(instance()->universe_state, kUniverseLoggingIn);
    universe_link_ = universe_.accept();
    ASSERT_TRUE(universe_link_.receive_first().has_value());
    ASSERT_TRUE(universe_link_.send_keys(true, 0, 0));
  }

  // Answers a world login on a new connection and brings the world link back.
  void world_comes_back() {
    ASSERT_TRUE(pump_until([&] { return instance()->world_state == kWorldLoggingIn; }));
    reenter();
  }
};

// A change of the installed events goes to every entered world once.
TEST_F(PumpTest, AChangedEventMaskGoesToTheWorld) {
  in_world();
  EXPECT_EQ(entry_mask_, Body().long_(0).bytes_);
  api_event_set(EVENT_WORLD_44, [] {});
  api_wait(0);
  auto mask = world_link_.receive();
  ASSERT_TRUE(mask.has_value());
  EXPECT_EQ(mask->bytes(), messages::event_mask(256));
  api_event_set(EVENT_CELL_BEGIN, [] {});  // no bit of its own: the mask stays
  api_wait(0);
  EXPECT_TRUE(world_link_.quiet());
}

TEST_F(PumpTest, AnUnansweredLoginGivesUpAfter30Seconds) {
  create();
  session::install_callbacks();
  ASSERT_EQ(api_login(), 0);
  ASSERT_TRUE(universe_link_.receive_first().has_value());
  clock_advance(30 * kSecond);
  api_wait(0);
  EXPECT_EQ(instance()->universe_state, kUniverseLoggingIn);  // not later than 30 s yet
  clock_advance(1);
  api_wait(0);
  EXPECT_EQ(instance()->universe_state, kUniverseClosed);
  EXPECT_EQ(calls.last_rc(CALLBACK_LOGIN), RC_UNABLE_TO_CONNECT);
  EXPECT_TRUE(universe_link_.closed());
}

// Once a login has succeeded, a lost universe link is reopened a second
// later and logs in again; a failed attempt waits another second.
TEST_F(PumpTest, ALostUniverseLinkIsReopenedAfterASecond) {
  create();
  login();
  universe_link_.close();
  ASSERT_TRUE(pump_until([&] { return instance()->universe_state == kUniverseReconnectPending; }));
  EXPECT_EQ(calls.count_callback(CALLBACK_LOGIN), 1);  // no 429 once reconnecting
  api_wait(0);
  EXPECT_FALSE(universe_.accept(50).valid());  // not before the second is up
  clock_advance(kSecond);
  api_wait(0);
  EXPECT_EQ(instance()->universe_state, kUniverseLoggingIn);
  universe_link_ = universe_.accept();
  auto again = universe_link_.receive_first();
  ASSERT_TRUE(again.has_value());
  EXPECT_EQ(again->bytes(), session::universe_login());
  ASSERT_TRUE(universe_link_.send_keys(true, 0, 0));
  ASSERT_TRUE(universe_link_.send(session::login_reply(35)));
  ASSERT_TRUE(pump_until([&] { return instance()->universe_state == kUniverseLoggedIn; }));
}

// While the universe link waits to be reopened there is no stream to send a
// login on: the stream's 473, and nothing changes.
TEST_F(PumpTest, ALoginWhileTheUniverseLinkIsReopenedFindsNoStream) {
  create();
  login();
  universe_link_.close();
  ASSERT_TRUE(pump_until([&] { return instance()->universe_state == kUniverseReconnectPending; }));
  std::uint32_t login_time = instance()->universe_login_time;
  clock_advance(500);
  EXPECT_EQ(api_login(), RC_NO_STREAM);
  EXPECT_EQ(instance()->universe_state, kUniverseReconnectPending);
  EXPECT_EQ(instance()->universe_login_time, login_time);
  EXPECT_EQ(calls.count_callback(CALLBACK_LOGIN), 1);
}

// A reopening that fails is tried again a second later, for both links;
// the world waits for the universe first.
TEST_F(PumpTest, FailedReconnectsAreRetriedEverySecond) {
  in_world();
  universe_.close();
  world_.close();
  universe_link_.close();
  world_link_.close();
  ASSERT_TRUE(pump_until([&] {
    return instance()->universe_state == kUniverseReconnectPending &&
           instance()->world_state == kWorldReconnectPending;
  }));
  for (int attempt = 0; attempt < 3; ++attempt) {
    clock_advance(kSecond);
    api_wait(0);
    EXPECT_EQ(instance()->universe_state, kUniverseReconnectPending);
    auto next_in = static_cast<std::int32_t>(instance()->universe_reconnect_time - clock_now());
    EXPECT_GT(next_in, kSecond - 100);  // the next try is a second after this one
    EXPECT_LE(next_in, kSecond);
    EXPECT_EQ(instance()->world_state, kWorldReconnectPending);  // no universe: no try
    EXPECT_EQ(instance()->universe_stream, nullptr);
    EXPECT_EQ(instance()->world_stream, nullptr);
  }
  EXPECT_EQ(calls.count_event(EVENT_WORLD_DISCONNECT), 1);
}

TEST_F(PumpTest, UniverseIdleTimeOutHoldsFromBuild32Only) {
  for (int build : {31, 32}) {
    SCOPED_TRACE(build);
    calls = session::Calls{};
    create();
    login(build);
    clock_advance(120 * kSecond + 1);
    api_wait(0);
    if (build == 31) {
      EXPECT_EQ(instance()->universe_state, kUniverseLoggedIn);
      auto keep_alive = universe_link_.receive();  // quiet for 60 s: a keep-alive went out
      ASSERT_TRUE(keep_alive.has_value());
      EXPECT_EQ(keep_alive->id, 32);
      EXPECT_TRUE(keep_alive->body.empty());
    } else {
      EXPECT_EQ(instance()->universe_state, kUniverseReconnectPending);
    }
    ASSERT_EQ(api_destroy(), 0);
  }
}

TEST_F(PumpTest, QuietLinksSendOneKeepAliveEach) {
  in_world();
  clock_advance(45 * kSecond + 1);
  api_wait(0);
  auto world_keep_alive = world_link_.receive();
  ASSERT_TRUE(world_keep_alive.has_value());
  EXPECT_EQ(world_keep_alive->id, 6);
  EXPECT_TRUE(universe_link_.quiet());
  api_wait(0);
  EXPECT_TRUE(world_link_.quiet());  // the send restarted its time
  clock_advance(15 * kSecond);
  api_wait(0);
  auto universe_keep_alive = universe_link_.receive();
  ASSERT_TRUE(universe_keep_alive.has_value());
  EXPECT_EQ(universe_keep_alive->id, 32);
}

// A world that stops talking is lost after 90 s; a world login that is never
// answered is retried without a report.
TEST_F(PumpTest, WorldTimeOutsReopenTheLink) {
  in_world();
  ASSERT_TRUE(world_link_.send(messages::keep_alive_from_world()));
  ASSERT_TRUE(pump_until([&] { return instance()->last_world_message_id == 16; }));
  clock_advance(90 * kSecond + 1);
  api_wait(0);
  EXPECT_EQ(instance()->world_state, kWorldReconnectPending);
  EXPECT_EQ(calls.count_event(EVENT_WORLD_DISCONNECT), 1);
  EXPECT_EQ(api_int(ATTR_DISCONNECT_REASON), RC_CONNECTION_LOST);
  clock_advance(kSecond);
  api_wait(0);
  EXPECT_EQ(instance()->world_state, kWorldLoggingIn);
  world_link_ = world_.accept();
  ASSERT_TRUE(world_link_.receive_first().has_value());
  clock_advance(30 * kSecond + 1);
  api_wait(0);
  EXPECT_EQ(instance()->world_state, kWorldReconnectPending);
  EXPECT_EQ(calls.count_event(EVENT_WORLD_DISCONNECT), 1);  // silent this time
  EXPECT_EQ(calls.count_callback(CALLBACK_ENTER), 1);
}

// A world server that goes away and comes back: one disconnect event with
// 471, a new login, and the bot's state sent again; the entry is not
// reported twice.
TEST_F(PumpTest, AKilledWorldComesBackAndTheStateIsResent) {
  in_world();
  api_int_set(ATTR_MY_X, 500);
  ASSERT_EQ(api_state_change(), 0);
  ASSERT_EQ(world_link_.receive()->id, 8);
  world_link_.reset();
  ASSERT_TRUE(pump_until([] { return calls.count_event(EVENT_WORLD_DISCONNECT) == 1; }));
  EXPECT_EQ(api_int(ATTR_DISCONNECT_REASON), RC_CONNECTION_LOST);
  clock_advance(kSecond);
  world_comes_back();
  auto state = world_link_.receive();
  ASSERT_TRUE(state.has_value());
  if (state->id == 14) state = world_link_.receive();  // the mask comes first
  EXPECT_EQ(state->bytes(), messages::state({.x = 500}));
  EXPECT_EQ(calls.count_event(EVENT_WORLD_DISCONNECT), 1);
  EXPECT_EQ(calls.count_callback(CALLBACK_ENTER), 1);
}

TEST_F(PumpTest, TheWorldEndsTheLinkWithAReason) {
  struct Case {
    int id;
    int reason;
  } cases[] = {{9, RC_EJECTED}, {10, 465}, {14, RC_NOT_WELCOME}, {36, 489}, {45, 92}};
  for (const Case& each : cases) {
    SCOPED_TRACE(each.id);
    in_world();
    ASSERT_TRUE(world_link_.send_world(each.id, {}));
    ASSERT_TRUE(pump_until([] { return calls.count_event(EVENT_WORLD_DISCONNECT) == 1; }));
    EXPECT_EQ(api_int(ATTR_DISCONNECT_REASON), each.reason);
    EXPECT_EQ(instance()->world_state, kWorldNone);
    EXPECT_TRUE(world_link_.closed());
    clock_advance(10 * kSecond);
    api_wait(0);
    EXPECT_EQ(instance()->world_state, kWorldNone);  // not reopened
    ASSERT_EQ(api_destroy(), 0);
    calls = session::Calls{};
  }
}

TEST_F(PumpTest, WorldMessage11DropsBothLinks) {
  in_world();
  ASSERT_TRUE(world_link_.send_world(11, {}));
  ASSERT_TRUE(pump_until([&] { return instance()->universe_state == kUniverseReconnectPending; }));
  EXPECT_EQ(instance()->world_state, kWorldReconnectPending);
  EXPECT_TRUE(universe_link_.closed());
  EXPECT_TRUE(world_link_.closed());
}

// Universe 27 renumbers the session and the world hears it through a new
// world login; universe 18 moves the universe link elsewhere.
TEST_F(PumpTest, RenumberAndRedirect) {
  in_world();
  ASSERT_TRUE(universe_link_.send(messages::renumber(300)));
  ASSERT_TRUE(pump_until([&] { return instance()->world_state == kWorldReconnectPending; }));
  EXPECT_EQ(instance()->session_number, 300u);
  clock_advance(kSecond);
  ASSERT_TRUE(pump_until([&] { return instance()->world_state == kWorldLoggingIn; }));
  world_link_ = world_.accept();
  auto login = world_link_.receive_first();
  ASSERT_TRUE(login.has_value());
  EXPECT_EQ(login->bytes(), session::world_login(39, world_.port(), 300));

  scripted::Server elsewhere;
  std::uint16_t port = elsewhere.port();
  ASSERT_TRUE(universe_link_.send(messages::redirect(ntohs(port))));
  ASSERT_TRUE(pump_until([&] { return instance()->universe_port == port; }));
  EXPECT_EQ(instance()->universe_state, kUniverseLoggingIn);
  scripted::Link moved = elsewhere.accept();
  auto again = moved.receive_first();
  ASSERT_TRUE(again.has_value());
  EXPECT_EQ(again->id, 47);
  EXPECT_TRUE(universe_link_.closed());
}

TEST_F(PumpTest, ExitClosesTheWorldLinkForGood) {
  in_world();
  ASSERT_EQ(api_exit(), 0);
  EXPECT_EQ(instance()->world_state, kWorldNone);
  EXPECT_TRUE(world_link_.closed());
  EXPECT_EQ(calls.count_event(EVENT_WORLD_DISCONNECT), 0);
  clock_advance(10 * kSecond);
  api_wait(0);
  EXPECT_EQ(instance()->world_state, kWorldNone);
  EXPECT_EQ(api_state_change(), RC_NO_CONNECTION);
}

// A handler that destroys its instance ends the pass at once.
TEST_F(PumpTest, AHandlerThatDestroysItsInstanceEndsThePass) {
  in_world();
  api_event_set(EVENT_AVATAR_CHANGE, [] { api_destroy(); });
  api_wait(0);
  ASSERT_EQ(world_link_.receive()->id, 14);  // the new mask
  ASSERT_TRUE(world_link_.send(messages::avatar_change({.session = 1})));
  ASSERT_TRUE(world_link_.send(messages::keep_alive_from_world()));
  int result = 0;
  for (int tries = 0; tries < 500 && result == 0; ++tries) result = pump_pass(10);
  EXPECT_EQ(result, 1);
  EXPECT_EQ(api_instance(), nullptr);
  EXPECT_EQ(library.instance_count, 0);
  EXPECT_EQ(api_wait(0), RC_NO_INSTANCE);
}

// A universe link that is open but not logged in is never read, not even by a
// pass that waits on the sockets and finds it readable.
TEST_F(PumpTest, AWaitingPassLeavesAUniverseLinkInState2Unread) {
  create();
  ASSERT_TRUE(universe_link_.send(session::universe_attributes(35)));
  for (int pass = 0; pass < 5; ++pass) EXPECT_EQ(pump_pass(20), 0);
  EXPECT_EQ(instance()->last_universe_message_id, 0);
  EXPECT_EQ(instance()->universe_build, 0);
  EXPECT_EQ(instance()->universe_state, kUniverseConnected);
}

int disconnects_at_login = -1;

// The world login sent again after a new universe login: its failure is found
// by the world step, after the login callback.
TEST_F(PumpTest, AFailedSecondWorldLoginIsReportedAfterTheLogin) {
  in_world();
  universe_reopens();
  api_callback_set(CALLBACK_LOGIN, [](int rc) {
    calls.callbacks.emplace_back(CALLBACK_LOGIN, rc);
    disconnects_at_login = calls.count_event(EVENT_WORLD_DISCONNECT);
  });
  // The library's end of the world link can no longer send.
  ASSERT_EQ(shutdown(stream_socket(instance()->world_stream), SHUT_WR), 0);
  ASSERT_TRUE(universe_link_.send(session::login_reply(35)));
  ASSERT_TRUE(pump_until([] { return calls.count_event(EVENT_WORLD_DISCONNECT) == 1; }));
  EXPECT_EQ(disconnects_at_login, 0);
  EXPECT_EQ(calls.last_rc(CALLBACK_LOGIN), 0);
  EXPECT_EQ(api_int(ATTR_DISCONNECT_REASON), RC_CONNECTION_LOST);
  EXPECT_EQ(instance()->world_state, kWorldReconnectPending);
}

// A world whose build fell below 26 cannot be logged into again: the link
// stays as it was.
TEST_F(PumpTest, ASecondWorldLoginTooOldLeavesTheWorldLinkAlone) {
  in_world();
  ASSERT_TRUE(world_link_.send_world(27, Body().byte(25).byte(0).bytes_));
  ASSERT_TRUE(pump_until([&] { return instance()->world_build == 25; }));
  universe_reopens();
  ASSERT_TRUE(universe_link_.send(session::login_reply(35)));
  ASSERT_TRUE(pump_until([&] { return instance()->universe_state == kUniverseLoggedIn; }));
  api_wait(0);
  EXPECT_EQ(instance()->world_state, kWorldEntered);
  EXPECT_EQ(calls.count_event(EVENT_WORLD_DISCONNECT), 0);
  EXPECT_TRUE(world_link_.quiet());
}

void* other_instance = nullptr;

// A disconnect handler that destroys another instance leaves this world link
// to be reopened.
TEST_F(PumpTest, ALostWorldIsReopenedWhenItsHandlerDestroysAnotherInstance) {
  in_world();
  ASSERT_EQ(api_create("127.0.0.1", universe_.host_port(), &other_instance), 0);
  ASSERT_TRUE(universe_.accept().valid());
  ASSERT_EQ(api_instance_set(instance_), 0);
  api_event_set(EVENT_WORLD_DISCONNECT, [] {
    ASSERT_EQ(api_instance_set(other_instance), 0);
    api_destroy();
    other_instance = nullptr;
  });
  world_link_.reset();
  ASSERT_TRUE(pump_until([] { return other_instance == nullptr; }));
  EXPECT_EQ(instance()->world_state, kWorldReconnectPending);
  clock_advance(kSecond);
  world_comes_back();
}

void* older_instance = nullptr;
bool older_destroyed = false;

// A handler that destroys the next instance of the list and then runs the
// pump: the pass that called it ends, and never reaches the freed instance.
TEST_F(PumpTest, AHandlerThatDestroysTheNextInstanceAndPumpsEndsThePass) {
  create();
  older_instance = instance_;
  older_destroyed = false;
  void* newer = nullptr;
  ASSERT_EQ(api_create("127.0.0.1", universe_.host_port(), &newer), 0);
  scripted::Link newer_link = universe_.accept();
  ASSERT_TRUE(newer_link.valid());
  api_callback_set(CALLBACK_LOGIN, [](int) {
    ASSERT_EQ(api_instance_set(older_instance), 0);
    api_destroy();
    older_destroyed = true;
    api_wait(0);
  });
  ASSERT_EQ(api_login(), 0);
  ASSERT_TRUE(newer_link.receive_first().has_value());
  ASSERT_TRUE(newer_link.send_keys(true, 0, 0));
  // No universe attributes came first: the reply of a universe below build 23.
  ASSERT_TRUE(newer_link.send(session::login_reply(20)));
  ASSERT_TRUE(pump_until([] { return older_destroyed; }));
  EXPECT_EQ(api_instance(), newer);
  EXPECT_EQ(library.instance_count, 1);
  EXPECT_EQ(static_cast<Instance*>(newer)->universe_state, kUniverseLoggedIn);
}

std::vector<int> waits;

// A positive wait runs in slices of at most a second.
TEST_F(PumpTest, ALongWaitRunsInSlicesOfASecond) {
  create();
  waits.clear();
  pump_set_socket_wait([](int ms) -> Stream* {
    waits.push_back(ms);
    clock_advance(static_cast<std::uint32_t>(ms));
    return nullptr;
  });
  EXPECT_EQ(api_wait(2500), 0);
  EXPECT_EQ(waits, (std::vector<int>{1000, 1000, 500}));
}

}  // namespace
