// The world server against scripted clients on loopback: the world login and
// its checks, the world attributes, avatars arriving, moving and leaving with
// bots' names in brackets, whispers, the event mask, logins of older builds
// and the login again after a new session number.
#include <gtest/gtest.h>

#include "support/raw_link.h"

using namespace orbilo;

using namespace server_testing;

namespace {

// A bot logged in to the universe and entered into world "demo".
struct Bot {
  Bot(TestServer& test, const char* name, std::uint32_t mask = 7)
      : universe(test, test.universe_port()), world(test, test.world_port("demo")) {
    login = universe_login(universe, name, 1, "demo");
    entered = login.result == 0 && world_enter(world, login, "demo", mask, &attributes);
  }
  RawLink universe;
  RawLink world;
  LoginResult login;
  Bytes attributes;
  bool entered = false;
};

// The servers give the values of the avatars of bots as 0, -1 and -1.
Bytes avatar_add(const LoginResult& login, const std::string& name, int x, int y, int z, int yaw,
                 int type, int gesture) {
  return messages::avatar_add({login.session, name, x, y, z, yaw, type, gesture, 0, -1, -1});
}

// The world login of an older world build: 20 below 28, 27 from there.
Bytes older_login(int build, const LoginResult& login) {
  messages::WorldLogin fields = world_login_of(login, "demo", 0);
  return build < 28 ? messages::world_login_20(fields) : messages::world_login_27(fields);
}

}  // namespace

TEST(ServerWorld, AWorldLoginGetsKeysAndTheWorldAttributes) {
  TestServer test([](ServerConfig* config) {
    config->worlds[0].settings[3] = "http://localhost/objects";
    config->worlds[0].settings[62] = "50";
  });
  Bot bot(test, "Ball");
  ASSERT_TRUE(bot.entered);
  EXPECT_EQ(bot.attributes,
            messages::world_attributes({{21, "39"}, {3, "http://localhost/objects"}, {62, "50"}}));
  EXPECT_EQ(test.logged("entry: [Ball] into demo, session " + std::to_string(bot.login.session)),
            1);
  ASSERT_TRUE(bot.world.send(messages::keep_alive_to_world()));  // no answer
  EXPECT_TRUE(bot.world.quiet());
}

TEST(ServerWorld, WorldLoginsThatFailTheirChecksAreNotWelcomeAndClosed) {
  TestServer test;
  RawLink universe(test, test.universe_port());
  LoginResult login = universe_login(universe, "Ball", 1, "demo");
  ASSERT_EQ(login.result, 0);
  std::uint32_t hash = world_login_hash(login.check, "demo");

  struct Case {
    const char* world;
    std::uint32_t session, login_number, hash;
    const char* reason;
  } cases[] = {
      {"demo", login.session, login.login_number, hash ^ 1, "wrong login hash"},
      {"demo", login.session + 1u, login.login_number, hash, "wrong session number"},
      {"demo", login.session, login.login_number + 1, hash, "unknown login number"},
      {"other", login.session, login.login_number, world_login_hash(login.check, "other"),
       "for another world"},
  };
  for (const Case& c : cases) {
    RawLink world(test, test.world_port("demo"));
    LoginResult forged = login;
    forged.session = static_cast<std::uint16_t>(c.session);
    forged.login_number = c.login_number;
    ASSERT_TRUE(world.send_first(messages::world_login(world_login_of(forged, c.world, c.hash))));
    Bytes message;
    ASSERT_TRUE(world.next(&message)) << c.reason;
    EXPECT_EQ(message, Bytes{14}) << c.reason;  // not welcome, plain
    EXPECT_TRUE(world.closed()) << c.reason;
    EXPECT_EQ(test.logged(c.reason), 1) << c.reason;
  }
  // A first message that is not this world's login is dropped at once.
  RawLink world(test, test.world_port("demo"));
  ASSERT_TRUE(world.send_first(older_login(30, login)));
  EXPECT_TRUE(world.closed());
}

TEST(ServerWorld, BotsSeeEachOtherArriveMoveAndLeaveInBrackets) {
  TestServer test;
  Bot ball(test, "Ball");
  Bot kicker(test, "Kicker");
  ASSERT_TRUE(ball.entered && kicker.entered);

  // The first state is an arrival for the others, and not for oneself.
  ASSERT_TRUE(send_state(ball.world, 1000, 0, -2000, 900, 3, 0));
  Bytes message;
  ASSERT_TRUE(kicker.world.next(&message));
  EXPECT_EQ(message, avatar_add(ball.login, "[Ball]", 1000, 0, -2000, 900, 3, 0));
  EXPECT_TRUE(ball.world.quiet());

  // Later states are changes.
  ASSERT_TRUE(send_state(ball.world, 1500, 10, -2500, 1800, 3, 1));
  ASSERT_TRUE(kicker.world.next(&message));
  EXPECT_EQ(message,
            messages::avatar_change({ball.login.session, "", 1500, 10, -2500, 1800, 3, 1}));

  // A bot entering later learns of those already there from its event mask.
  Bot late(test, "Late");
  ASSERT_TRUE(late.entered);
  ASSERT_TRUE(late.world.next(&message));
  EXPECT_EQ(message, avatar_add(ball.login, "[Ball]", 1500, 10, -2500, 1800, 3, 1));

  // Leaving: the world link closes and the others get the delete.
  ball.world.close();
  ASSERT_TRUE(kicker.world.next(&message));
  EXPECT_EQ(message, messages::avatar_delete(ball.login.session));
  ASSERT_TRUE(late.world.next(&message));
  EXPECT_EQ(message, messages::avatar_delete(ball.login.session));
  EXPECT_EQ(test.logged("departure: [Ball] from demo"), 1);
}

TEST(ServerWorld, WhispersReachTheirTargetAsChatAndTheEventMaskIsRespected) {
  TestServer test;
  Bot ball(test, "Ball");
  Bot talker(test, "Talker");
  Bot deaf(test, "Deaf", 3);    // avatars and changes, no chat
  Bot blind(test, "Blind", 0);  // nothing at all
  ASSERT_TRUE(ball.entered && talker.entered && deaf.entered && blind.entered);

  ASSERT_TRUE(talker.world.send(messages::whisper(ball.login.session, "Ball owner")));
  Bytes message;
  ASSERT_TRUE(ball.world.next(&message));
  EXPECT_EQ(message, messages::chat(talker.login.session, "Ball owner", 18));
  EXPECT_TRUE(talker.world.quiet());

  ASSERT_TRUE(talker.world.send(messages::whisper(deaf.login.session, "hi")));
  EXPECT_TRUE(deaf.world.quiet());

  // Without the changes bit a client gets the arrival and not the moves.
  Bot mover(test, "Mover");
  ASSERT_TRUE(mover.entered);
  ASSERT_TRUE(deaf.world.send(messages::event_mask(1)));
  test.pump();
  ASSERT_TRUE(send_state(mover.world, 0, 0, 0, 0, 1, 0));
  ASSERT_TRUE(deaf.world.next(&message));
  EXPECT_EQ(message[0], 2);
  ASSERT_TRUE(send_state(mover.world, 5, 0, 0, 0, 1, 0));
  ASSERT_TRUE(ball.world.next_starting({4}, &message));  // the others see the change
  EXPECT_TRUE(deaf.world.quiet());
  EXPECT_TRUE(blind.world.quiet());

  // Asking for avatars later brings the ones already there.
  ASSERT_TRUE(blind.world.send(messages::event_mask(1)));
  ASSERT_TRUE(blind.world.next(&message));
  EXPECT_EQ(message, avatar_add(mover.login, "[Mover]", 5, 0, 0, 0, 1, 0));
}

TEST(ServerWorld, OlderWorldBuildsTakeTheirOwnLoginAndAvatarForms) {
  for (int build : {27, 30}) {
    TestServer test([build](ServerConfig* config) { config->worlds[0].build = build; });
    RawLink universe(test, test.universe_port());
    LoginResult login = universe_login(universe, "Old", 1, "demo");
    ASSERT_EQ(login.result, 0);
    RawLink world(test, test.world_port("demo"));
    ASSERT_TRUE(world.send_first(older_login(build, login)));
    Bytes keys, attributes;
    ASSERT_TRUE(world.next(&keys)) << build;
    ASSERT_EQ(keys[0], 17);
    world.key((keys[1] << 8) | keys[2], (keys[3] << 8) | keys[4]);
    ASSERT_TRUE(world.next(&attributes));
    EXPECT_EQ(attributes, messages::world_attributes({{21, std::to_string(build)}}));
    ASSERT_TRUE(world.send(messages::event_mask(7)));

    RawLink other_universe(test, test.universe_port());
    LoginResult other = universe_login(other_universe, "New", 1, "demo");
    RawLink other_world(test, test.world_port("demo"));
    ASSERT_TRUE(other_world.send_first(older_login(build, other)));
    ASSERT_TRUE(other_world.next(&keys));
    other_world.key((keys[1] << 8) | keys[2], (keys[3] << 8) | keys[4]);
    ASSERT_TRUE(other_world.next(&attributes));
    ASSERT_TRUE(send_state(other_world, 1, 2, 3, 4, 5, 0));
    Bytes message;
    ASSERT_TRUE(world.next(&message));
    if (build == 27) {
      EXPECT_EQ(message, messages::avatar_add_before_28({other.session, "[New]", 1, 2, 3, 4, 5}));
    } else {
      EXPECT_EQ(message, avatar_add(other, "[New]", 1, 2, 3, 4, 5, 0));
    }
  }
}

TEST(ServerWorld, ANewSessionNumberMakesTheBotLogInAgain) {
  TestServer test;
  Bot ball(test, "Ball");
  Bot watcher(test, "Watcher");
  ASSERT_TRUE(ball.entered && watcher.entered);
  ASSERT_TRUE(send_state(ball.world, 0, 0, 0, 0, 0, 0));
  Bytes message;
  ASSERT_TRUE(watcher.world.next_starting({2}, &message));

  ASSERT_EQ(server_admin(test.server, "renumber " + std::to_string(ball.login.session) + " 900"),
            "session " + std::to_string(ball.login.session) + " is now 900");
  ASSERT_TRUE(ball.universe.next(&message));
  ASSERT_EQ(message, messages::renumber(900));

  // The old number no longer logs in; the new one does, on the same link.
  LoginResult renumbered = ball.login;
  renumbered.session = 900;
  messages::WorldLogin again =
      world_login_of(renumbered, "demo", world_login_hash(renumbered.check, "demo"));
  again.machine = 1;
  ASSERT_TRUE(ball.world.send(messages::world_login(again)));
  ASSERT_TRUE(ball.world.next(&message));
  EXPECT_EQ(message[0], 1);  // the world attributes again
  ASSERT_TRUE(watcher.world.next(&message));
  EXPECT_EQ(message, messages::avatar_delete(ball.login.session));
  ASSERT_TRUE(send_state(ball.world, 0, 0, 0, 0, 0, 0));
  ASSERT_TRUE(watcher.world.next(&message));
  EXPECT_EQ(message, avatar_add(renumbered, "[Ball]", 0, 0, 0, 0, 0, 0));
}
