// A world server that stops reading while the bot goes on sending: the
// sends are refused with "not yet" while the socket takes nothing, time out
// once it has taken nothing for 20 s, and the world link is then lost and
// reopened.
#include "net/clock.h"
#include "sdk/stream.h"
#include "support/session.h"
#include "support/steady_clock.h"

using namespace orbilo;

namespace {

using session::calls;
using session::SessionTest;

constexpr int kSecond = 1000;
constexpr long kSendLimit = 4000000;  // far more than any socket buffer holds

class FaultsWorldStallTest : public SessionTest {
 protected:
  steady_clock::Hold clock_;

  void in_world() {
    create();
    login();
    session::install_event(EVENT_WORLD_DISCONNECT);
    enter();
  }

  // The universe speaks, so that its idle time-out does not run out while
  // the clock is moved.
  void universe_speaks() { ASSERT_TRUE(universe_link_.send(messages::keep_alive_from_universe())); }

  // Sends the bot's state until a send is refused: its result.
  int send_until_refused(long* sends) {
    int rc = 0;
    for (*sends = 0; rc == 0 && *sends < kSendLimit; ++*sends) {
      api_int_set(ATTR_MY_X, static_cast<int>(*sends));
      rc = api_state_change();
    }
    return rc;
  }
};

TEST_F(FaultsWorldStallTest, SendsGet401ThenTimeOutWith402AndTheWorldIsReopened) {
  in_world();
  Stream* stalled = instance()->world_stream;
  long sends = 0;
  ASSERT_EQ(send_until_refused(&sends), RC_NOT_YET);
  EXPECT_GT(sends, 1000);
  // A refused send changes nothing: the link stays, and the messages that
  // wait for the socket stay whole.
  EXPECT_GT(stream_pending_send(stalled), 0);
  EXPECT_EQ(stream_status(stalled), 0);
  EXPECT_EQ(api_whisper(12, "are you there"), RC_NOT_YET);
  api_wait(0);
  EXPECT_EQ(instance()->world_state, kWorldEntered);
  EXPECT_EQ(calls.count_event(EVENT_WORLD_DISCONNECT), 0);

  // The kernel may still take bytes now and then as its buffers grow; each
  // time it does, the 20 s start over. Move the clock to a second short of
  // them until a whole stretch passes in which the socket takes nothing.
  bool still = false;
  for (int round = 0; round < 100 && !still; ++round) {
    clock_advance(19 * kSecond);
    const int before = stream_pending_send(stalled);
    const int rc = api_state_change();
    ASSERT_TRUE(rc == 0 || rc == RC_NOT_YET) << rc;
    still = rc == RC_NOT_YET && stream_pending_send(stalled) == before;
    if (!still) {
      ASSERT_EQ(send_until_refused(&sends), RC_NOT_YET);
    }
  }
  ASSERT_TRUE(still);
  EXPECT_EQ(stream_status(stalled), 0);
  clock_advance(kSecond + 100);
  api_int_set(ATTR_MY_X, 777);
  EXPECT_EQ(api_state_change(), RC_TIMEOUT);
  EXPECT_EQ(api_whisper(12, "gone"), RC_TIMEOUT);

  // The pump gives the link up and reopens it a second later.
  universe_speaks();
  ASSERT_TRUE(pump_until([&] { return instance()->world_state != kWorldEntered; }));
  EXPECT_EQ(instance()->world_state, kWorldReconnectPending);
  EXPECT_EQ(calls.count_event(EVENT_WORLD_DISCONNECT), 1);
  EXPECT_EQ(api_int(ATTR_DISCONNECT_REASON), RC_CONNECTION_LOST);
  EXPECT_TRUE(world_link_.closed());
  clock_advance(kSecond);
  api_wait(0);
  ASSERT_EQ(instance()->world_state, kWorldLoggingIn);
  EXPECT_EQ(instance()->universe_state, kUniverseLoggedIn);
  ASSERT_NO_FATAL_FAILURE(reenter());
  // Back in the world, the bot stands where it last asked to be.
  auto mask = world_link_.receive();
  ASSERT_TRUE(mask.has_value());
  EXPECT_EQ(mask->id, 14);
  auto state = world_link_.receive();
  ASSERT_TRUE(state.has_value());
  EXPECT_EQ(state->bytes(), messages::state({.x = 777}));
  EXPECT_EQ(calls.count_event(EVENT_WORLD_DISCONNECT), 1);
  EXPECT_EQ(calls.count_callback(CALLBACK_ENTER), 1);
  EXPECT_EQ(api_state_change(), 0);
}

}  // namespace
