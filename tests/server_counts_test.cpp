// The world server's tally of what it reported to each bot, for the load
// benchmark: the admin command "counts" gives per bot the avatar adds,
// changes and deletes, chats and whispers that went into its link, and a
// digest of them in order, which must equal what the bot's link received;
// and "crowd stop|start" halts the crowd so that the tally can be read at a
// moment when nothing more is on its way.
#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>

#include "net/clock.h"
#include "support/raw_link.h"

using namespace orbilo;

using namespace server_testing;

namespace {

// A bot logged in to the universe and entered into world "demo".
struct Bot {
  Bot(TestServer& test, const char* name)
      : universe(test, test.universe_port()), world(test, test.world_port("demo")) {
    login = universe_login(universe, name, 1, "demo");
    entered = login.result == 0 && world_enter(world, login, "demo");
  }
  RawLink universe;
  RawLink world;
  LoginResult login;
  bool entered = false;
};

// The tally a bot keeps of what its link received, built from the raw
// messages with a decoder of its own.
struct Tally {
  int adds = 0, changes = 0, deletes = 0, chats = 0, whispers = 0;
  std::uint64_t digest = 0xcbf29ce484222325ull;

  void byte(std::uint8_t value) { digest = (digest ^ value) * 0x100000001b3ull; }
  void four(std::uint32_t value) {
    byte(static_cast<std::uint8_t>(value));
    byte(static_cast<std::uint8_t>(value >> 8));
    byte(static_cast<std::uint8_t>(value >> 16));
    byte(static_cast<std::uint8_t>(value >> 24));
  }
  void text(const std::string& value) {
    for (char c : value) byte(static_cast<std::uint8_t>(c));
    byte(0);
  }

  // One world message's body; other messages leave the tally alone.
  void take(const Bytes& message) {
    Read read(message);
    int id = read.byte();
    if (id == 2 || id == 4) {
      std::uint32_t session = id == 2 ? read.long32() : static_cast<std::uint32_t>(read.word());
      std::string name = id == 2 ? read.string() : "";
      std::uint32_t x = read.long32(), y = read.long32(), z = read.long32();
      auto yaw = static_cast<std::int16_t>(read.word());
      int type = read.byte(), gesture = read.byte();
      ++(id == 2 ? adds : changes);
      byte(static_cast<std::uint8_t>(id));
      four(session);
      four(x);
      four(y);
      four(z);
      four(static_cast<std::uint32_t>(static_cast<std::int32_t>(yaw)));
      four(static_cast<std::uint32_t>(type));
      four(static_cast<std::uint32_t>(gesture));
      if (id == 2) text(name);
    } else if (id == 3) {
      ++deletes;
      byte(3);
      four(static_cast<std::uint32_t>(read.word()));
    } else if (id == 12 || id == 18) {
      ++(id == 12 ? chats : whispers);
      byte(static_cast<std::uint8_t>(id));
      four(static_cast<std::uint32_t>(read.word()));
      text(read.string());
    }
  }

  // The line "counts" gives for a bot with this tally.
  std::string line(const std::string& name, int session) const {
    char text[256];
    std::snprintf(text, sizeof text,
                  "[%s] session %d: adds %d changes %d deletes %d chats %d whispers %d digest "
                  "%016" PRIx64,
                  name.c_str(), session, adds, changes, deletes, chats, whispers, digest);
    return text;
  }
};

// Everything that arrives on the link until it has been quiet for a while.
Tally drain(RawLink& link) {
  Tally tally;
  Bytes message;
  while (link.next(&message, 200)) tally.take(message);
  return tally;
}

// The crowd's next move: one tick of the crowd's clock.
void tick(TestServer& test) {
  clock_advance(500);
  test.pump();
}

}  // namespace

TEST(ServerCounts, EachBotIsToldWhatItsLinkWasSentAndTheDigestOfItInOrder) {
  TestServer test([](ServerConfig* config) {
    config->worlds[0].crowd = 2;
    config->seed = 3;
    config->crowd_chat_per_mille = 1000;  // every member asks something every tick
  });
  Bot ball(test, "Ball");
  Bot wall(test, "Wall");
  ASSERT_TRUE(ball.entered && wall.entered);
  ASSERT_TRUE(send_state(ball.world, 100, 0, -100, 900, 2, 0));
  ASSERT_TRUE(send_state(wall.world, -300, 10, 250, 3599, 7, 1));
  tick(test);
  tick(test);
  ASSERT_TRUE(wall.world.send(messages::whisper(ball.login.session, "hello from Wall")));
  {
    Bot tall(test, "Tall");  // arrives, shows itself and leaves: an add and a delete
    ASSERT_TRUE(tall.entered);
    ASSERT_TRUE(send_state(tall.world, 5, 5, 5, 0, 0, 0));
    test.pump(20);
  }
  test.pump(20);
  EXPECT_EQ(server_admin(test.server, "crowd stop"), "crowd stopped in 1 world");

  Tally ball_tally = drain(ball.world);
  Tally wall_tally = drain(wall.world);
  // Two members and the two other bots arrived; each tick (two, or more when
  // the real clock passed one too) moved both members and each asked a bot
  // something; Wall whispered once; Tall left.
  EXPECT_EQ(ball_tally.adds, 4);
  EXPECT_GE(ball_tally.changes, 4);
  EXPECT_GE(ball_tally.chats, 4);
  EXPECT_EQ(ball_tally.whispers, 1);
  EXPECT_EQ(ball_tally.deletes, 1);
  EXPECT_EQ(wall_tally.whispers, 0);
  std::string expected = "counts of world demo: 2 bots\n" +
                         ball_tally.line("Ball", ball.login.session) + "\n" +
                         wall_tally.line("Wall", wall.login.session) + "\ncounts end";
  EXPECT_EQ(server_admin(test.server, "counts"), expected);
}

TEST(ServerCounts, AStoppedCrowdNeitherMovesNorAsksUntilStartedAgain) {
  TestServer test([](ServerConfig* config) {
    config->worlds[0].crowd = 2;
    config->crowd_chat_per_mille = 1000;
  });
  Bot ball(test, "Ball");
  ASSERT_TRUE(ball.entered);
  ASSERT_TRUE(send_state(ball.world, 0, 0, 0, 0, 0, 0));
  EXPECT_EQ(drain(ball.world).adds, 2);
  EXPECT_EQ(server_admin(test.server, "crowd stop"), "crowd stopped in 1 world");
  for (int k = 0; k < 3; ++k) tick(test);
  EXPECT_TRUE(ball.world.quiet());
  EXPECT_EQ(server_admin(test.server, "crowd start"), "crowd started in 1 world");
  tick(test);
  Tally moved = drain(ball.world);
  EXPECT_GE(moved.changes, 2);
  EXPECT_EQ(moved.chats, moved.changes);

  EXPECT_EQ(server_admin(test.server, "crowd"), "usage: crowd stop|start");
  EXPECT_EQ(server_admin(test.server, "crowd halt"), "usage: crowd stop|start");
  TestServer empty;  // no crowd anywhere: nothing to stop
  EXPECT_EQ(server_admin(empty.server, "crowd stop"), "crowd stopped in 0 worlds");
  EXPECT_EQ(server_admin(empty.server, "counts"), "counts of world demo: 0 bots\ncounts end");
}
