// The ball on the wire: a scripted world sends avatar changes and chat; the
// bot's state changes and whispers come back byte for byte.
#include "app/ball.h"

#include <array>
#include <optional>

#include "app/session.h"
#include "support/recording_view.h"
#include "support/session.h"

using namespace orbilo;

namespace {

using session::SessionTest;

class Ball : public SessionTest {
 protected:
  void SetUp() override {
    SessionTest::SetUp();
    page_.Activate();
    create();
    login();
    enter();
    api_event_set(EVENT_AVATAR_CHANGE, OnAvatarChange);
    api_event_set(EVENT_CHAT, OnChat);
    api_wait(0);
    world_link_.receive();  // the new event mask
  }

  // An avatar arrives with a name, so that later reports carry it.
  void arrive(int session, const std::string& name) {
    ASSERT_TRUE(world_link_.send(messages::avatar_add({.session = session, .name = name})));
  }

  void change(int session, int x, int z, int yaw, int gesture) {
    ASSERT_TRUE(world_link_.send(messages::avatar_change(
        {.session = session, .x = x, .z = z, .yaw = yaw, .gesture = gesture})));
    ASSERT_TRUE(world_link_.send(messages::keep_alive_from_world()));
    instance()->last_world_message_id = -1;
    ASSERT_TRUE(pump_until([&] { return instance()->last_world_message_id == 16; }));
  }

  // The bot's next state change, as (x, z, yaw); nothing when none came.
  std::optional<std::array<int, 3>> state() {
    if (world_link_.quiet(50)) return std::nullopt;
    auto message = world_link_.receive();
    if (!message || message->id != 8 || message->body.size() != 16) return std::nullopt;
    messages::Read read(message->body);
    int x = static_cast<std::int32_t>(read.long32());
    read.long32();
    int z = static_cast<std::int32_t>(read.long32());
    return std::array<int, 3>{x, z, static_cast<std::int16_t>(read.word())};
  }

  RecordingView view_;
  LoginPage page_{&view_};
};

// The ball lands 650 units ahead of the kicker, in its facing, with the
// angle's pi taken as 3.141592.
TEST_F(Ball, AKickThrowsTheBallAheadOfTheKicker) {
  arrive(8, "Kicker");
  struct Case {
    int yaw;
    int x, z;
  } cases[] = {{0, 100, -150 + 650},
               {450, 100 + 459, -150 + 459},
               {900, 100 + 649, -150},
               {1800, 100, -150 - 649}};
  for (const Case& each : cases) {
    SCOPED_TRACE(each.yaw);
    api_int_set(ATTR_MY_X, 0);
    api_int_set(ATTR_MY_Z, 0);
    change(8, 100, -150, each.yaw, 1);
    auto placed = state();
    ASSERT_TRUE(placed.has_value());
    EXPECT_EQ(*placed, (std::array<int, 3>{each.x, each.z, each.yaw}));
  }
}

// A kicker at the far end of the coordinate range sends the ball to that
// end, never around to the other.
TEST_F(Ball, AKickAtTheEdgeOfTheWorldStopsThere) {
  arrive(8, "Kicker");
  const int edge = 2147483647 - 100;
  api_int_set(ATTR_MY_X, edge);
  api_int_set(ATTR_MY_Z, -edge);
  change(8, edge, -edge, 900, 1);  // facing along x: +649
  auto placed = state();
  ASSERT_TRUE(placed.has_value());
  EXPECT_EQ(*placed, (std::array<int, 3>{2147483647, -edge, 900}));
  change(8, edge, -edge, 1800, 1);  // facing along -z: -649
  placed = state();
  ASSERT_TRUE(placed.has_value());
  EXPECT_EQ(*placed, (std::array<int, 3>{edge, -2147483647 - 1, 1800}));
}

TEST_F(Ball, OnlyAClosePlayerMakingTheGestureKicks) {
  arrive(8, "Kicker");
  change(8, 151, 0, 0, 1);  // one unit too far
  EXPECT_FALSE(state().has_value());
  change(8, 0, 0, 0, 0);  // close, no gesture
  EXPECT_FALSE(state().has_value());
  change(8, -150, 150, 0, 1);  // both at the edge
  EXPECT_TRUE(state().has_value());
}

TEST_F(Ball, BotsCanBeKeptFromKicking) {
  arrive(8, "[Bob]");
  arrive(9, "Bob");
  page_.fields().DisableBotKicking = 1;
  change(8, 0, 0, 0, 1);
  EXPECT_FALSE(state().has_value());
  api_int_set(ATTR_MY_Z, 0);
  change(9, 0, 0, 0, 1);
  EXPECT_TRUE(state().has_value());
  page_.fields().DisableBotKicking = 0;
  api_int_set(ATTR_MY_Z, 0);
  change(8, 0, 0, 0, 1);
  EXPECT_TRUE(state().has_value());
}

// The whole text must match, in any letter case; worlds before build 17 get
// no replies.
TEST_F(Ball, ChatQueriesAreAnsweredInWhispers) {
  OwnerQuery = "bob owner";
  VersionQuery = "bob version";
  OwnerName = "Owner Seven";
  LoginCitizen = 7;
  arrive(8, "Asker");
  struct Case {
    const char* said;
    const char* reply;
  } cases[] = {
      {"bob owner", "I'm owned by Owner Seven (citizen # 7)."},
      {"BOB OWNER", "I'm owned by Owner Seven (citizen # 7)."},
      {"Bob Version", "I am Simple Orbilo Build 4 (Copyright (C) 2026 The Orbilo Authors)."},
      {"hi bob owner", nullptr},
  };
  for (const Case& each : cases) {
    SCOPED_TRACE(each.said);
    ASSERT_TRUE(world_link_.send(messages::chat(8, each.said)));
    if (each.reply == nullptr) {
      EXPECT_TRUE(world_link_.quiet(200) || (api_wait(100), world_link_.quiet(100)));
      continue;
    }
    std::optional<scripted::Message> whisper;
    ASSERT_TRUE(
        pump_until([&] { return !world_link_.quiet(5) && (whisper = world_link_.receive()); }));
    EXPECT_EQ(whisper->bytes(), messages::whisper(8, each.reply));
  }
  ASSERT_GE(view_.log.size(), 3u);
  EXPECT_EQ(view_.log[0], "Owner response sent to Asker.");
  EXPECT_EQ(view_.log[2], "Version response sent to Asker.");
  EXPECT_EQ(view_.colours[0].green, 143);

  // A world of build 16: no replies and no log lines.
  ASSERT_TRUE(world_link_.send(messages::world_attributes({{21, "16"}})));
  ASSERT_TRUE(world_link_.send(messages::chat(8, "bob owner")));
  std::size_t logged = view_.log.size();
  api_wait(100);
  api_wait(100);
  EXPECT_EQ(view_.log.size(), logged);
}

}  // namespace
