// The world map of app/world_map.cpp and the location text it names places
// with: avatars by session under arrivals, changes, departures and reused
// sessions, at the ends of the coordinate range; kicks fading over ten
// seconds; and the session driver feeding it from the world without
// changing the event mask it sends.
#include "app/world_map.h"

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <fstream>
#include <thread>

#include "app/location_text.h"
#include "app/session.h"
#include "sdk/sdk.h"
#include "support/kick_peer.h"
#include "support/messages.h"
#include "support/recording_view.h"
#include "support/scratch_directory.h"

using namespace orbilo;

namespace {

using std::chrono::milliseconds;

TEST(LocationText, WritesWhatTheParserReads) {
  struct Case {
    Location location;  // x, z, y, yaw
    const char* text;
  } cases[] = {
      {{0, 0, 0, 0}, "0n 0e"},
      {{1000, 2000, 0, 0}, "2n 1w"},
      {{-4000, -3000, 0, 0}, "3s 4e"},
      {{10250, -2500, 500, 1800}, "2.5s 10.25w 0.5a 180"},
      {{-1, 1234, -250, 905}, "1.234n 0.001e -0.25a 90.5"},
      {{0, 0, 0, -1}, "0n 0e -0.1"},
      // 2097.151 reads as 2097150.99..., cut to 2097150: one more digit.
      {{0, -2097151, 0, 0}, "2097.1515s 0e"},
      {{INT_MAX, INT_MIN, INT_MIN, INT_MAX}, "2147483.648s 2147483.647w -2147483.648a 214748364.7"},
  };
  for (const Case& each : cases) {
    EXPECT_EQ(LocationText(each.location), each.text);
    EXPECT_EQ(ParseLocation(LocationText(each.location)), each.location) << each.text;
  }
  EXPECT_EQ(NorthSouthText(-500), "0.5s");
  EXPECT_EQ(EastWestText(20000000000LL), "20000000w");  // grid lines may lie past an int
  EXPECT_EQ(EastWestText(LLONG_MIN), "9223372036854775.808e");
  // An avatar's line: its name, which cannot break the line or command a
  // terminal, and its place.
  EXPECT_EQ(AvatarText({"Ada", {1000, 2000}, 0, 900}), "Ada: 2n 1w 90");
  EXPECT_EQ(AvatarText({"a\nb\033[2J\x9b\xe9", {0, 0}, 0, 0}), "a?b?[2J?\xe9: 0n 0e");
}

TEST(WorldMap, FollowsArrivalsChangesAndDepartures) {
  WorldMap map;
  map.AvatarSeen(12, {"Ada", {100, -200}, 0, 1800});
  map.AvatarSeen(5, {"Bruno", {INT_MIN, INT_MAX}, INT_MAX, -1});
  map.AvatarSeen(12, {"Ada", {150, -250}, 0, 900});  // a change
  map.AvatarLeft(99);                                // never seen: nothing
  ASSERT_EQ(map.avatars().size(), 2u);
  EXPECT_EQ(map.avatars().begin()->first, 5);  // in session order
  EXPECT_EQ(map.avatars().at(12), (MapAvatar{"Ada", {150, -250}, 0, 900}));
  // A session the world hands to someone else after its owner left.
  map.AvatarLeft(12);
  map.AvatarSeen(12, {std::string(255, 'n'), {0, 0}, 0, 0});
  EXPECT_EQ(map.avatars().at(12).name.size(), 255u);
  // Thousands come and go; those still there stay as they were.
  for (int session = 1000; session < 6000; ++session) {
    map.AvatarSeen(session, {"Crowd" + std::to_string(session), {session, -session}, 0, 0});
  }
  for (int session = 1000; session < 6000; session += 2) map.AvatarLeft(session);
  EXPECT_EQ(map.avatars().size(), 2u + 2500u);
  EXPECT_EQ(map.avatars().at(5999).place, (MapPoint{5999, -5999}));
  EXPECT_EQ(map.avatars().count(5998), 0u);
  map.ClearAvatars();
  EXPECT_TRUE(map.avatars().empty());
}

TEST(WorldMap, KicksFadeOverTenSeconds) {
  WorldMap map;
  const auto start = WorldMap::Clock::time_point() + std::chrono::hours(1);
  map.Kick({0, 0}, {0, 650}, start);
  EXPECT_TRUE(map.Fading(start + milliseconds(9999)));
  EXPECT_FALSE(map.Fading(start + milliseconds(10000)));
  EXPECT_DOUBLE_EQ(WorldMap::KickStrength(start, start), 1.0);
  EXPECT_DOUBLE_EQ(WorldMap::KickStrength(start, start + milliseconds(2500)), 0.75);
  EXPECT_DOUBLE_EQ(WorldMap::KickStrength(start, start + milliseconds(10000)), 0.0);
  // A new kick lets those ten seconds older go.
  map.Kick({0, 650}, {649, 650}, start + milliseconds(5000));
  map.Kick({649, 650}, {649, 0}, start + milliseconds(10000));
  ASSERT_EQ(map.kicks().size(), 2u);
  EXPECT_EQ(map.kicks().front().from, (MapPoint{0, 650}));
  // However fast they come, no more than kMaxKicks are kept, the newest.
  for (int kick = 0; kick < 3000; ++kick) map.Kick({kick, 0}, {kick, 650}, start);
  EXPECT_EQ(map.kicks().size(), WorldMap::kMaxKicks);
  EXPECT_EQ(map.kicks().back().from.x, 2999);
}

// Counts the map's change notices besides recording the rest.
struct MapView : RecordingView {
  void MapChanged() override { ++map_changes; }
  int map_changes = 0;
};

// The bot in its world against scripted servers: the event mask it sends
// on entering, and the avatars and kicks of the world on its map.
TEST(WorldMapFeed, TheEventMaskStaysAndTheWorldReachesTheMap) {
  ScratchDirectory scratch;
  scripted::Server version, universe, world;
  IniPath = scratch.path("orbilo.ini");
  std::ofstream(IniPath) << kick::ini(universe.host_port(), version.host_port());
  ASSERT_EQ(api_init(ORBILO_SDK_BUILD), 0);
  MapView view;
  LoginPage page(&view);
  page.Init();
  std::vector<messages::Bytes> sent;
  scripted::Link universe_link, world_link;
  std::atomic<bool> in{false};
  std::thread peers([&] {
    world_link = kick::bring_in({.version = &version, .world_messages = &sent}, universe, world,
                                universe_link);
    in = true;
  });
  page.OnLogin();  // returns once the version server has answered
  auto pump_until = [&](auto done) {
    for (int pass = 0; pass < 1000 && !done(); ++pass) api_wait(5);
    return done();
  };
  EXPECT_TRUE(pump_until([&] { return in.load(); }));
  peers.join();
  ASSERT_TRUE(world_link.valid());

  // Chat and avatar changes ask for avatars (1), avatar changes (2) and chat
  // (4); arrivals and departures add nothing to that.
  const messages::Bytes mask = {14, 0x00, 0x00, 0x00, 0x07};
  EXPECT_EQ(std::count(sent.begin(), sent.end(), mask), 1);
  for (const messages::Bytes& each : sent) EXPECT_TRUE(each == mask || each[0] != 14);

  ASSERT_TRUE(page.map().ball().has_value());
  EXPECT_EQ(*page.map().ball(), (MapPoint{0, 0}));  // placed at home, "0n 0e"
  world_link.send(messages::avatar_add({.session = 7, .name = "Kicker", .x = 100, .z = -200}));
  world_link.send(messages::avatar_add({.session = 8, .name = "Other", .x = 4000}));
  ASSERT_TRUE(pump_until([&] { return page.map().avatars().size() == 2; }));
  EXPECT_EQ(page.map().avatars().at(7), (MapAvatar{"Kicker", {100, -200}, 0, 0}));
  int changes = view.map_changes;
  world_link.send(messages::avatar_change({.session = 7, .x = 50, .z = 20, .gesture = 1}));
  ASSERT_TRUE(pump_until([&] { return !page.map().kicks().empty(); }));
  EXPECT_GT(view.map_changes, changes);
  EXPECT_EQ(page.map().kicks().back().from, (MapPoint{0, 0}));
  EXPECT_EQ(page.map().kicks().back().to, (MapPoint{50, 670}));
  EXPECT_EQ(*page.map().ball(), (MapPoint{50, 670}));
  EXPECT_EQ(page.map().avatars().at(7).place, (MapPoint{50, 20}));
  world_link.send(messages::avatar_delete(8));
  ASSERT_TRUE(pump_until([&] { return page.map().avatars().size() == 1; }));
  EXPECT_EQ(page.map().avatars().count(7), 1u);
  page.Destroy();
  IniPath.clear();
  Running = 0;
}

}  // namespace
