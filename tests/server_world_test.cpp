// The world server against scripted clients on loopback: the world login and
// its checks, the world attributes, avatars arriving, moving and leaving with
// bots' names in brackets, whispers, the event mask, logins of older builds
// and the login again after a new session number.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include "server/testing/raw_link.h"

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

Bytes avatar_add(const LoginResult& login, const std::string& name, int x, int y, int z, int yaw,
                 int type, int gesture) {
  return Build()
      .byte(2)
      .long32(login.session)
      .string(name)
      .long32(x)
      .long32(y)
      .long32(z)
      .word(yaw)
      .byte(type)
      .byte(gesture)
      .word(0)
      .long32(-1)
      .long32(-1);
}

}  // namespace

TEST(ServerWorld, AWorldLoginGetsKeysAndTheWorldAttributes) {
  TestServer test([](ServerConfig* config) {
    config->worlds[0].settings[3] = "http://localhost/objects";
    config->worlds[0].settings[62] = "50";
  });
  Bot bot(test, "Ball");
  ASSERT_TRUE(bot.entered);
  EXPECT_EQ(bot.attributes, Build()
                                .byte(1)
                                .byte(21)
                                .string("39")
                                .byte(3)
                                .string("http://localhost/objects")
                                .byte(62)
                                .string("50")
                                .bytes());
  EXPECT_EQ(test.logged("entry: [Ball] into demo, session " + std::to_string(bot.login.session)),
            1);
  ASSERT_EQ(bot.world.send(FIELD_BEGIN, 6, FIELD_END), 0);  // keep-alive: no answer
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
    ASSERT_EQ(world_send_login(world, forged, c.world, c.hash), 0);
    Bytes message;
    ASSERT_TRUE(world.next(&message)) << c.reason;
    EXPECT_EQ(message, Bytes{14}) << c.reason;  // not welcome, plain
    EXPECT_TRUE(world.closed()) << c.reason;
    EXPECT_EQ(test.logged(c.reason), 1) << c.reason;
  }
  // A first message that is not this world's login is dropped at once.
  RawLink world(test, test.world_port("demo"));
  ASSERT_EQ(
      world.send(FIELD_CIPHER, kSessionKey, 16, FIELD_BEGIN, 27, FIELD_STRING, "demo", FIELD_LONG,
                 login.session, FIELD_LONG, login.login_number, FIELD_WORD, 24, FIELD_END),
      0);
  EXPECT_TRUE(world.closed());
}

TEST(ServerWorld, BotsSeeEachOtherArriveMoveAndLeaveInBrackets) {
  TestServer test;
  Bot ball(test, "Ball");
  Bot kicker(test, "Kicker");
  ASSERT_TRUE(ball.entered && kicker.entered);

  // The first state is an arrival for the others, and not for oneself.
  ASSERT_EQ(send_state(ball.world, 1000, 0, -2000, 900, 3, 0), 0);
  Bytes message;
  ASSERT_TRUE(kicker.world.next(&message));
  EXPECT_EQ(message, avatar_add(ball.login, "[Ball]", 1000, 0, -2000, 900, 3, 0));
  EXPECT_TRUE(ball.world.quiet());

  // Later states are changes.
  ASSERT_EQ(send_state(ball.world, 1500, 10, -2500, 1800, 3, 1), 0);
  ASSERT_TRUE(kicker.world.next(&message));
  EXPECT_EQ(message, Build()
                         .byte(4)
                         .word(ball.login.session)
                         .long32(1500)
                         .long32(10)
                         .long32(-2500)
                         .word(1800)
                         .byte(3)
                         .byte(1)
                         .bytes());

  // A bot entering later learns of those already there from its event mask.
  Bot late(test, "Late");
  ASSERT_TRUE(late.entered);
  ASSERT_TRUE(late.world.next(&message));
  EXPECT_EQ(message, avatar_add(ball.login, "[Ball]", 1500, 10, -2500, 1800, 3, 1));

  // Leaving: the world link closes and the others get the delete.
  stream_destroy(ball.world.stream);
  ball.world.stream = nullptr;
  ASSERT_TRUE(kicker.world.next(&message));
  EXPECT_EQ(message, Build().byte(3).word(ball.login.session).bytes());
  ASSERT_TRUE(late.world.next(&message));
  EXPECT_EQ(message, Build().byte(3).word(ball.login.session).bytes());
  EXPECT_EQ(test.logged("departure: [Ball] from demo"), 1);
}

TEST(ServerWorld, WhispersReachTheirTargetAsChatAndTheEventMaskIsRespected) {
  TestServer test;
  Bot ball(test, "Ball");
  Bot talker(test, "Talker");
  Bot deaf(test, "Deaf", 3);    // avatars and changes, no chat
  Bot blind(test, "Blind", 0);  // nothing at all
  ASSERT_TRUE(ball.entered && talker.entered && deaf.entered && blind.entered);

  ASSERT_EQ(talker.world.send(FIELD_BEGIN, 11, FIELD_WORD, ball.login.session, FIELD_STRING,
                              "Ball owner", FIELD_END),
            0);
  Bytes message;
  ASSERT_TRUE(ball.world.next(&message));
  EXPECT_EQ(message, Build().byte(18).word(talker.login.session).string("Ball owner").bytes());
  EXPECT_TRUE(talker.world.quiet());

  ASSERT_EQ(talker.world.send(FIELD_BEGIN, 11, FIELD_WORD, deaf.login.session, FIELD_STRING, "hi",
                              FIELD_END),
            0);
  EXPECT_TRUE(deaf.world.quiet());

  // Without the changes bit a client gets the arrival and not the moves.
  Bot mover(test, "Mover");
  ASSERT_TRUE(mover.entered);
  ASSERT_EQ(deaf.world.send(FIELD_BEGIN, 14, FIELD_LONG, 1, FIELD_END), 0);
  test.pump();
  ASSERT_EQ(send_state(mover.world, 0, 0, 0, 0, 1, 0), 0);
  ASSERT_TRUE(deaf.world.next(&message));
  EXPECT_EQ(message[0], 2);
  ASSERT_EQ(send_state(mover.world, 5, 0, 0, 0, 1, 0), 0);
  ASSERT_TRUE(ball.world.next_starting({4}, &message));  // the others see the change
  EXPECT_TRUE(deaf.world.quiet());
  EXPECT_TRUE(blind.world.quiet());

  // Asking for avatars later brings the ones already there.
  ASSERT_EQ(blind.world.send(FIELD_BEGIN, 14, FIELD_LONG, 1, FIELD_END), 0);
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
    if (build == 27) {
      ASSERT_EQ(world.send(FIELD_CIPHER, kSessionKey, 16, FIELD_BEGIN, 20, FIELD_STRING, "demo",
                           FIELD_WORD, login.session, FIELD_BYTE, 50, FIELD_LONG,
                           login.login_number, FIELD_END),
                0);
    } else {
      ASSERT_EQ(world.send(FIELD_CIPHER, kSessionKey, 16, FIELD_BEGIN, 27, FIELD_STRING, "demo",
                           FIELD_LONG, login.session, FIELD_LONG, login.login_number, FIELD_WORD,
                           24, FIELD_END),
                0);
    }
    Bytes keys, attributes;
    ASSERT_TRUE(world.next(&keys)) << build;
    ASSERT_EQ(keys[0], 17);
    stream_set_ciphers(world.stream, kSessionKey, 16, (keys[1] << 8) | keys[2],
                       (keys[3] << 8) | keys[4]);
    ASSERT_TRUE(world.next(&attributes));
    EXPECT_EQ(attributes, Build().byte(1).byte(21).string(std::to_string(build)).bytes());
    ASSERT_EQ(world.send(FIELD_BEGIN, 14, FIELD_LONG, 7, FIELD_END), 0);

    RawLink other_universe(test, test.universe_port());
    LoginResult other = universe_login(other_universe, "New", 1, "demo");
    RawLink other_world(test, test.world_port("demo"));
    if (build == 27) {
      ASSERT_EQ(other_world.send(FIELD_CIPHER, kSessionKey, 16, FIELD_BEGIN, 20, FIELD_STRING,
                                 "demo", FIELD_WORD, other.session, FIELD_BYTE, 50, FIELD_LONG,
                                 other.login_number, FIELD_END),
                0);
    } else {
      ASSERT_EQ(other_world.send(FIELD_CIPHER, kSessionKey, 16, FIELD_BEGIN, 27, FIELD_STRING,
                                 "demo", FIELD_LONG, other.session, FIELD_LONG, other.login_number,
                                 FIELD_WORD, 24, FIELD_END),
                0);
    }
    ASSERT_TRUE(other_world.next(&keys));
    stream_set_ciphers(other_world.stream, kSessionKey, 16, (keys[1] << 8) | keys[2],
                       (keys[3] << 8) | keys[4]);
    ASSERT_TRUE(other_world.next(&attributes));
    ASSERT_EQ(send_state(other_world, 1, 2, 3, 4, 5, 0), 0);
    Bytes message;
    ASSERT_TRUE(world.next(&message));
    if (build == 27) {
      EXPECT_EQ(message, Build()
                             .byte(2)
                             .word(other.session)
                             .string("[New]")
                             .long32(1)
                             .long32(2)
                             .long32(3)
                             .word(4)
                             .byte(5)
                             .byte(0)
                             .bytes());
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
  ASSERT_EQ(send_state(ball.world, 0, 0, 0, 0, 0, 0), 0);
  Bytes message;
  ASSERT_TRUE(watcher.world.next_starting({2}, &message));

  ASSERT_EQ(server_admin(test.server, "renumber " + std::to_string(ball.login.session) + " 900"),
            "session " + std::to_string(ball.login.session) + " is now 900");
  ASSERT_TRUE(ball.universe.next(&message));
  ASSERT_EQ(message, Build().byte(0).byte(27).word(900).bytes());

  // The old number no longer logs in; the new one does, on the same link.
  LoginResult renumbered = ball.login;
  renumbered.session = 900;
  ASSERT_EQ(ball.world.send(FIELD_BEGIN, 53, FIELD_STRING, "demo", FIELD_LONG, 900, FIELD_LONG,
                            renumbered.login_number, FIELD_WORD, 24, FIELD_RAW4,
                            htonl(INADDR_LOOPBACK), FIELD_WORD_LE, 0, FIELD_LONG, 1, FIELD_BYTE, 0,
                            FIELD_LONG, world_login_hash(renumbered.check, "demo"), FIELD_END),
            0);
  ASSERT_TRUE(ball.world.next(&message));
  EXPECT_EQ(message[0], 1);  // the world attributes again
  ASSERT_TRUE(watcher.world.next(&message));
  EXPECT_EQ(message, Build().byte(3).word(ball.login.session).bytes());
  ASSERT_EQ(send_state(ball.world, 0, 0, 0, 0, 0, 0), 0);
  ASSERT_TRUE(watcher.world.next(&message));
  EXPECT_EQ(message, avatar_add(renumbered, "[Ball]", 0, 0, 0, 0, 0, 0));
}
