// The crowd: simulated citizens arrive for every bot, walk, drift towards the
// ball and kick it, ask bots for their owner and version, and do the same
// again with the same seed.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <map>
#include <set>

#include "net/clock.h"
#include "support/raw_link.h"

using namespace orbilo;

using namespace server_testing;

namespace {

struct Change {
  int session, x, y, z, yaw, type, gesture;
};

Change read_change(const Bytes& message) {
  Read read(message);
  read.byte();
  Change change{};
  change.session = read.word();
  change.x = static_cast<std::int32_t>(read.long32());
  change.y = static_cast<std::int32_t>(read.long32());
  change.z = static_cast<std::int32_t>(read.long32());
  change.yaw = read.word();
  change.type = read.byte();
  change.gesture = read.byte();
  return change;
}

// The crowd's next move: one tick of the crowd's clock.
void tick(TestServer& test) {
  clock_advance(500);
  test.pump();
}

// A bot in world "demo" of a server with a crowd.
struct CrowdWorld {
  CrowdWorld(int crowd, std::uint32_t seed, int chat)
      : test([=](ServerConfig* config) {
          config->worlds[0].crowd = crowd;
          config->seed = seed;
          config->crowd_chat_per_mille = chat;
        }),
        universe(test, test.universe_port()),
        world(test, test.world_port("demo")) {
    login = universe_login(universe, "Ball", 1, "demo");
    entered = world_enter(world, login, "demo");
  }
  TestServer test;
  RawLink universe;
  RawLink world;
  LoginResult login;
  bool entered = false;
};

}  // namespace

TEST(ServerCrowd, TheCrowdArrivesForEveryBotAndWalks) {
  CrowdWorld crowd(3, 11, 0);
  ASSERT_TRUE(crowd.entered);
  std::set<std::string> names;
  std::set<int> sessions;
  Bytes message;
  for (int k = 0; k < 3; ++k) {
    ASSERT_TRUE(crowd.world.next(&message));
    ASSERT_EQ(message[0], 2);
    Read read(message);
    read.byte();
    sessions.insert(static_cast<int>(read.long32()));
    names.insert(read.string());
  }
  EXPECT_EQ(names, (std::set<std::string>{"Ada", "Bruno", "Carla"}));  // citizens: no brackets
  tick(crowd.test);
  for (int k = 0; k < 3; ++k) {
    ASSERT_TRUE(crowd.world.next(&message));
    ASSERT_EQ(message[0], 4);
    ASSERT_EQ(message.size(), 19u);
    EXPECT_EQ(sessions.count(read_change(message).session), 1u);
  }
}

TEST(ServerCrowd, TheCrowdDriftsToTheBallAndKicksItFacingTheWayItWalks) {
  CrowdWorld crowd(2, 5, 0);
  ASSERT_TRUE(crowd.entered);
  ASSERT_TRUE(send_state(crowd.world, 300, 0, -200, 0, 0, 0));
  Bytes message;
  std::map<int, Change> last;  // each member's previous place
  int kicks = 0;
  for (int k = 0; k < 200 && kicks < 3; ++k) {
    tick(crowd.test);
    while (crowd.world.next(&message, 20)) {
      if (message[0] != 4) continue;
      Change change = read_change(message);
      auto before = last.find(change.session);
      last[change.session] = change;
      if (change.gesture != 1 || before == last.end()) continue;
      ++kicks;
      EXPECT_LE(std::abs(change.x - 300), 150);
      EXPECT_LE(std::abs(change.z + 200), 150);
      // Facing the way it walked: yaw 0 is north (+z), 900 west (+x).
      double dx = change.x - before->second.x;
      double dz = change.z - before->second.z;
      double angle = change.yaw * 3.14159265358979 / 1800.0;
      if (std::hypot(dx, dz) > 20) {
        EXPECT_GT(std::sin(angle) * dx + std::cos(angle) * dz, 0);
      }
    }
  }
  EXPECT_GE(kicks, 3);
}

TEST(ServerCrowd, TheCrowdAsksBotsAndHearsTheirWhispers) {
  CrowdWorld crowd(1, 3, 1000);
  ASSERT_TRUE(crowd.entered);
  Bytes message;
  ASSERT_TRUE(crowd.world.next_starting({2}, &message));
  Read read(message);
  read.byte();
  int member = static_cast<int>(read.long32());
  ASSERT_TRUE(send_state(crowd.world, 0, 0, 0, 0, 0, 0));
  tick(crowd.test);
  ASSERT_TRUE(crowd.world.next_starting({12}, &message));
  Read chat(message);
  chat.byte();
  EXPECT_EQ(chat.word(), member);
  std::string text = chat.string();
  EXPECT_TRUE(text == "Ball owner" || text == "Ball version") << text;

  ASSERT_TRUE(crowd.world.send(messages::whisper(member, "I'm owned by Demo (citizen # 1).")));
  crowd.test.pump(20);
  EXPECT_EQ(crowd.test.logged("whisper in demo from [Ball] to Ada: I'm owned by Demo"), 1);
}

TEST(ServerCrowd, TheSameSeedReplaysTheSameWalk) {
  auto walk = [](std::uint32_t seed) {
    CrowdWorld crowd(4, seed, 0);
    std::vector<Bytes> messages;
    Bytes message;
    while (crowd.world.next(&message, 50)) messages.push_back(message);
    for (int k = 0; k < 5; ++k) {
      tick(crowd.test);
      while (crowd.world.next(&message, 50)) messages.push_back(message);
    }
    return messages;
  };
  std::vector<Bytes> first = walk(77);
  EXPECT_EQ(first.size(), 4u + 5u * 4u);
  EXPECT_EQ(first, walk(77));
  EXPECT_NE(first, walk(78));
}

TEST(ServerCrowd, TheCrowdKeepsWalkingWhenTheClockIsStartedAgain) {
  CrowdWorld crowd(1, 2, 0);
  ASSERT_TRUE(crowd.entered);
  Bytes message;
  ASSERT_TRUE(crowd.world.next_starting({2}, &message));
  clock_advance(3600000);
  crowd.test.pump();
  clock_init();  // as a library started in the same process does
  crowd.test.pump();
  tick(crowd.test);
  EXPECT_TRUE(crowd.world.next_starting({4}, &message));
}
