// The universe server against scripted clients on loopback: the login with
// its keys, attributes and reply; refusals; world and citizen lookups;
// keep-alives; redirect and renumbering by the administrator.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include "server/testing/raw_link.h"

using namespace orbilo;

using namespace server_testing;

TEST(ServerUniverse, ALoginGetsKeysTheBuildAndAReplyWithSessionLoginNumberAndCheckBytes) {
  TestServer test;
  ASSERT_EQ(test.create_error, 0) << test.error;
  RawLink link(test, test.universe_port());
  ASSERT_EQ(link.connect_rc, 0);
  ASSERT_EQ(
      link.send(FIELD_CIPHER, kSessionKey, 16, FIELD_BEGIN, 47, FIELD_LONG, 24, FIELD_STRING,
                "Ball", FIELD_LONG, 1, FIELD_STRING, "demo", FIELD_STRING, "tests", FIELD_END),
      0);
  // The keys come plain: result 0, id 22, two skips.
  Bytes keys;
  ASSERT_TRUE(link.next(&keys));
  ASSERT_EQ(keys.size(), 6u);
  EXPECT_EQ(keys[0], 0);
  EXPECT_EQ(keys[1], 22);
  stream_set_ciphers(link.stream, kSessionKey, 16, (keys[2] << 8) | keys[3],
                     (keys[4] << 8) | keys[5]);
  Bytes attributes;
  ASSERT_TRUE(link.next(&attributes));
  EXPECT_EQ(attributes, Build().byte(0).byte(21).byte(6).string("35").bytes());
  Bytes reply;
  ASSERT_TRUE(link.next(&reply));
  Read read(reply);
  read.byte();
  read.byte();
  int session = read.word();
  read.string();
  std::uint32_t login_number = read.long32();
  std::uint8_t check[4];
  read.raw(check, 4);
  EXPECT_NE(session, 0);
  EXPECT_NE(login_number, 0u);
  EXPECT_EQ(reply, Build()
                       .byte(0)
                       .byte(20)
                       .word(session)
                       .string("[Ball]")
                       .long32(login_number)
                       .raw(check, 4)
                       .bytes());
  EXPECT_EQ(test.logged("login: [Ball] for citizen 1"), 1);

  // A second bot gets another session and login number.
  RawLink other(test, test.universe_port());
  LoginResult second = universe_login(other, "Ball", 1, "demo");
  EXPECT_EQ(second.result, 0);
  EXPECT_NE(second.session, session);
  EXPECT_NE(second.login_number, login_number);

  // Keep-alives need no answer, and the link stays.
  ASSERT_EQ(link.send(FIELD_BEGIN, 32, FIELD_END), 0);
  EXPECT_TRUE(link.quiet());
}

TEST(ServerUniverse, LoginsAreRefusedWithAFittingCodeAndClosed) {
  TestServer test;
  struct Case {
    const char* name;
    std::uint32_t citizen;
    const char* password;
    int result;
  } cases[] = {
      {"Ball", 99, "demo", 3},                // no such citizen
      {"Ball", 1, "wrong", 13},               // invalid password
      {"", 1, "demo", 113},                   // name too short
      {"A name of 17 char", 1, "demo", 112},  // name too long
  };
  for (const Case& c : cases) {
    RawLink link(test, test.universe_port());
    bool ok = false;
    LoginResult login = universe_login(link, c.name, c.citizen, c.password, &ok);
    EXPECT_TRUE(ok) << c.result;
    EXPECT_EQ(login.result, c.result);
    EXPECT_EQ(login.session, 0);
    EXPECT_TRUE(link.closed()) << c.result;
  }
  EXPECT_EQ(test.logged("login refused"), 4);
  EXPECT_EQ(test.logged("no such citizen (3)"), 1);
  EXPECT_EQ(test.logged("invalid password (13)"), 1);
}

TEST(ServerUniverse, OlderUniverseBuildsLeaveOutTheLaterFields) {
  TestServer test([](ServerConfig* config) { config->universe_build = 22; });
  RawLink link(test, test.universe_port());
  ASSERT_EQ(link.send(FIELD_CIPHER, kSessionKey, 16, FIELD_BEGIN, 47, FIELD_LONG, 24, FIELD_STRING,
                      "Ball", FIELD_LONG, 1, FIELD_STRING, "demo", FIELD_STRING, "", FIELD_END),
            0);
  Bytes keys, attributes, reply;
  ASSERT_TRUE(link.next(&keys));
  stream_set_ciphers(link.stream, kSessionKey, 16, (keys[2] << 8) | keys[3],
                     (keys[4] << 8) | keys[5]);
  ASSERT_TRUE(link.next(&attributes));
  EXPECT_EQ(attributes, Build().byte(0).byte(21).byte(6).string("22").bytes());
  ASSERT_TRUE(link.next(&reply));
  Read read(reply);
  read.byte();
  read.byte();
  int session = read.word();
  EXPECT_EQ(reply, Build().byte(0).byte(20).word(session).string("[Ball]").bytes());
  // World replies of builds below 32 carry no lookup value or cell bound.
  ASSERT_EQ(link.send(FIELD_BEGIN, 24, FIELD_STRING, "demo", FIELD_END), 0);
  ASSERT_TRUE(link.next(&reply));
  EXPECT_EQ(reply, Build()
                       .byte(0)
                       .byte(0)
                       .string("demo")
                       .long32(0x7f000001)
                       .word(test.world_port("demo"))
                       .word(39)
                       .bytes());
}

TEST(ServerUniverse, WorldAndCitizenLookupsAreAnswered) {
  TestServer test([](ServerConfig* config) {
    config->worlds[0].lookup_value = 5;
    config->worlds[0].cell_bound = 10;
  });
  RawLink link(test, test.universe_port());
  ASSERT_EQ(universe_login(link, "Ball", 1, "demo").result, 0);

  // The world's address and port as numbers, its build, lookup value and cell bound.
  Bytes reply;
  ASSERT_EQ(link.send(FIELD_BEGIN, 24, FIELD_STRING, "DeMo", FIELD_END), 0);
  ASSERT_TRUE(link.next(&reply));
  EXPECT_EQ(reply, Build()
                       .byte(0)
                       .byte(0)
                       .string("DeMo")
                       .long32(0x7f000001)
                       .word(test.world_port("demo"))
                       .word(39)
                       .word(5)
                       .word(10)
                       .bytes());
  ASSERT_EQ(link.send(FIELD_BEGIN, 24, FIELD_STRING, "nowhere", FIELD_END), 0);
  ASSERT_TRUE(link.next(&reply));
  EXPECT_EQ(reply, Build().byte(27).byte(0).string("nowhere").bytes());

  ASSERT_EQ(link.send(FIELD_BEGIN, 55, FIELD_LONG, 7, FIELD_END), 0);
  ASSERT_TRUE(link.next(&reply));
  EXPECT_EQ(reply, Build().byte(0).byte(25).long32(7).byte(0).string("Owner Seven").bytes());
  ASSERT_EQ(link.send(FIELD_BEGIN, 55, FIELD_LONG, 8, FIELD_END), 0);
  ASSERT_TRUE(link.next(&reply));
  EXPECT_EQ(reply, Build().byte(3).byte(25).long32(8).bytes());
}

TEST(ServerUniverse, TheAdministratorRedirectsAndRenumbers) {
  TestServer test;
  RawLink link(test, test.universe_port());
  LoginResult login = universe_login(link, "Ball", 1, "demo");
  ASSERT_EQ(login.result, 0);
  std::string session = std::to_string(login.session);

  EXPECT_EQ(server_admin(test.server, "renumber " + session + " 4242"),
            "session " + session + " is now 4242");
  Bytes message;
  ASSERT_TRUE(link.next(&message));
  EXPECT_EQ(message, Build().byte(0).byte(27).word(4242).bytes());
  EXPECT_EQ(server_admin(test.server, "renumber " + session), "no session " + session);

  EXPECT_EQ(server_admin(test.server, "redirect 4242 127.0.0.1 5999"),
            "redirect sent to 1 session");
  ASSERT_TRUE(link.next(&message));
  EXPECT_EQ(message, Build().byte(0).byte(18).byte(127).byte(0).byte(0).byte(1).word(5999).bytes());

  EXPECT_EQ(server_admin(test.server, "redirect 4242 127.0.0.1 0"), "bad port \"0\"");
  EXPECT_EQ(server_admin(test.server, "renumber"), "usage: renumber SESSION [NEW]");
  EXPECT_NE(server_admin(test.server, "list").find("session 4242 [Ball] citizen 1"),
            std::string::npos);
  EXPECT_EQ(server_admin(test.server, "frobnicate"), "unknown command \"frobnicate\" (try help)");
  EXPECT_EQ(server_admin(test.server, "quit"), "stopping");
  EXPECT_EQ(server_step(test.server, 0), -1);
}
