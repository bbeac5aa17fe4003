// Clients that misbehave are dropped alone: garbage, malformed and oversized
// messages, silence, and a send queue that overflows. The others go on.
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <random>

#include "net/clock.h"
#include "support/raw_link.h"

using namespace orbilo;

using namespace server_testing;

namespace {

// A logged-in universe link still answers a citizen lookup. A link the
// server had been quiet on for a minute got a keep-alive first.
bool still_served(RawLink& link) {
  Bytes reply;
  if (!link.send(messages::citizen_lookup(1)) || !link.next(&reply)) return false;
  if (reply == messages::keep_alive_from_universe() && !link.next(&reply)) return false;
  return reply == messages::citizen_reply(1, "Demo");
}

}  // namespace

TEST(ServerRobustness, GarbageMalformedAndOversizedMessagesDropOnlyTheirSender) {
  TestServer test;
  RawLink good(test, test.universe_port());
  ASSERT_EQ(universe_login(good, "Good", 1, "demo").result, 0);

  // A first message that is not a login, and one whose length is too long.
  RawLink not_login(test, test.universe_port());
  ASSERT_TRUE(not_login.send_raw({0x00, 0x03, 0x18, 0x01, 0x61}));
  EXPECT_TRUE(not_login.closed());
  RawLink too_long(test, test.world_port("demo"));
  ASSERT_TRUE(too_long.send_raw({0xff, 0xff, 0x35, 0x00}));
  EXPECT_TRUE(too_long.closed());

  // After the login: an unknown id, a message short of its fields, one with
  // bytes left over, and one longer than any request.
  std::vector<std::uint8_t> filler(1500, 'x');
  for (int kind = 0; kind < 4; ++kind) {
    RawLink bad(test, test.universe_port());
    ASSERT_EQ(universe_login(bad, "Bad", 1, "demo").result, 0);
    const Bytes sent[] = {{99},
                          messages::Body().byte(55).word(1).bytes_,
                          messages::Body().byte(55).long_(1).byte(0).bytes_,
                          messages::Body().byte(24).bytes(filler).bytes_};
    bad.send(sent[kind]);
    EXPECT_TRUE(bad.closed()) << kind;
  }
  EXPECT_EQ(test.logged("unknown message 99"), 1);
  EXPECT_EQ(test.logged("malformed message"), 2);
  EXPECT_EQ(test.logged("oversized message"), 2);
  EXPECT_TRUE(still_served(good));

  // Random bytes on every port, from a fixed seed: nothing brings the server down.
  std::mt19937 random(42);
  for (int k = 0; k < 60; ++k) {
    std::uint16_t ports[] = {test.universe_port(), test.world_port("demo"), test.version_port()};
    RawLink noise(test, ports[k % 3]);
    Bytes bytes(1 + random() % 300);
    for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
    noise.send_raw(bytes);
    test.pump();
  }
  test.pump(50);
  EXPECT_TRUE(still_served(good));
}

TEST(ServerRobustness, SilentClientsAreDroppedAfterTheirTimeOut) {
  TestServer test;
  RawLink silent(test, test.universe_port());  // never logs in
  RawLink quiet(test, test.universe_port());   // logs in, then says nothing
  RawLink lively(test, test.universe_port());  // keeps its link alive
  ASSERT_EQ(universe_login(quiet, "Quiet", 1, "demo").result, 0);
  ASSERT_EQ(universe_login(lively, "Lively", 1, "demo").result, 0);
  test.pump();

  clock_advance(31000);
  test.pump(300);
  EXPECT_TRUE(silent.closed(100));
  EXPECT_EQ(test.logged("no login in time"), 1);
  EXPECT_TRUE(quiet.quiet(10));

  clock_advance(90000);
  ASSERT_TRUE(lively.send(messages::keep_alive_to_universe()));
  test.pump(300);
  clock_advance(40000);  // the quiet one has said nothing for 161 s, the lively one for 40 s
  test.pump(300);
  EXPECT_TRUE(quiet.closed(100));
  EXPECT_EQ(test.logged("idle time-out"), 1);
  EXPECT_EQ(test.logged("logout: [Quiet]"), 1);
  EXPECT_TRUE(still_served(lively));
}

TEST(ServerRobustness, AClientThatDoesNotReadIsDroppedWhenItsQueueOverflows) {
  TestServer test([](ServerConfig* config) {
    config->worlds[0].crowd = 1500;
    config->crowd_chat_per_mille = 0;
    config->crowd_tick_ms = 100;
  });
  RawLink stuck_universe(test, test.universe_port());
  LoginResult stuck_login = universe_login(stuck_universe, "Stuck", 1, "demo");
  RawLink stuck(test, test.world_port("demo"));
  int small = 4096;
  setsockopt(stuck.fd(), SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
  ASSERT_TRUE(world_enter(stuck, stuck_login, "demo", 7));

  RawLink fine_universe(test, test.universe_port());
  LoginResult fine_login = universe_login(fine_universe, "Fine", 1, "demo");
  RawLink fine(test, test.world_port("demo"));
  ASSERT_TRUE(world_enter(fine, fine_login, "demo", 0));  // wants no reports at all

  for (int tick = 0; tick < 1000 && test.logged("send queue overflowed") == 0; ++tick) {
    clock_advance(100);
    test.pump();
  }
  EXPECT_EQ(test.logged("send queue overflowed"), 1);
  EXPECT_EQ(test.logged("departure: [Stuck]"), 1);
  EXPECT_TRUE(still_served(fine_universe));
  ASSERT_TRUE(send_state(fine, 0, 0, 0, 0, 0, 0));
  ASSERT_TRUE(fine.send(messages::event_mask(1)));
  Bytes message;
  EXPECT_TRUE(fine.next_starting({2}, &message));  // the crowd, as soon as it is asked for
}
