// The universe server against scripted clients on loopback: the login with
// its keys, attributes and reply; refusals; world and citizen lookups;
// keep-alives; redirect and renumbering by the administrator.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include "support/raw_link.h"

using namespace orbilo;

using namespace server_testing;

TEST(ServerUniverse, ALoginGetsKeysTheBuildAndAReplyWithSessionLoginNumberAndCheckBytes) {
  TestServer test;
  ASSERT_EQ(test.create_error, 0) << test.error;
  RawLink link(test, test.universe_port());
  ASSERT_TRUE(link.connected());
  ASSERT_TRUE(link.send_first(messages::universe_login("Ball", 1, "demo", "tests")));
  // The keys come plain: result 0, id 22, two skips.
  Bytes keys;
  ASSERT_TRUE(link.next(&keys));
  ASSERT_EQ(keys.size(), 6u);
  EXPECT_EQ(keys[0], 0);
  EXPECT_EQ(keys[1], 22);
  link.key((keys[2] << 8) | keys[3], (keys[4] << 8) | keys[5]);
  Bytes attributes;
  ASSERT_TRUE(link.next(&attributes));
  EXPECT_EQ(attributes, messages::universe_attributes({{6, "35"}}));
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
  EXPECT_EQ(reply, messages::login_reply(35, session, "[Ball]", login_number, check));
  EXPECT_EQ(test.logged("login: [Ball] for citizen 1"), 1);

  // A second bot gets another session and login number.
  RawLink other(test, test.universe_port());
  LoginResult second = universe_login(other, "Ball", 1, "demo");
  EXPECT_EQ(second.result, 0);
  EXPECT_NE(second.session, session);
  EXPECT_NE(second.login_number, login_number);

  // Keep-alives need no answer, and the link stays.
  ASSERT_TRUE(link.send(messages::keep_alive_to_universe()));
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
  ASSERT_TRUE(link.send_first(messages::universe_login("Ball", 1, "demo")));
  Bytes keys, attributes, reply;
  ASSERT_TRUE(link.next(&keys));
  link.key((keys[2] << 8) | keys[3], (keys[4] << 8) | keys[5]);
  ASSERT_TRUE(link.next(&attributes));
  EXPECT_EQ(attributes, messages::universe_attributes({{6, "22"}}));
  ASSERT_TRUE(link.next(&reply));
  Read read(reply);
  read.byte();
  read.byte();
  int session = read.word();
  EXPECT_EQ(reply, messages::login_reply(22, session, "[Ball]"));
  // World replies of builds below 32 carry no lookup value or cell bound.
  ASSERT_TRUE(link.send(messages::world_lookup("demo")));
  ASSERT_TRUE(link.next(&reply));
  EXPECT_EQ(reply, messages::world_reply("demo", test.world_port("demo"), 39, 22));
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
  ASSERT_TRUE(link.send(messages::world_lookup("DeMo")));
  ASSERT_TRUE(link.next(&reply));
  EXPECT_EQ(reply, messages::world_reply("DeMo", test.world_port("demo"), 39, 35, 5, 10));
  ASSERT_TRUE(link.send(messages::world_lookup("nowhere")));
  ASSERT_TRUE(link.next(&reply));
  EXPECT_EQ(reply, messages::Body().byte(27).byte(0).string("nowhere").bytes_);

  ASSERT_TRUE(link.send(messages::citizen_lookup(7)));
  ASSERT_TRUE(link.next(&reply));
  EXPECT_EQ(reply, messages::citizen_reply(7, "Owner Seven"));
  ASSERT_TRUE(link.send(messages::citizen_lookup(8)));
  ASSERT_TRUE(link.next(&reply));
  EXPECT_EQ(reply, messages::Body().byte(3).byte(25).long_(8).bytes_);
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
  EXPECT_EQ(message, messages::renumber(4242));
  EXPECT_EQ(server_admin(test.server, "renumber " + session), "no session " + session);

  EXPECT_EQ(server_admin(test.server, "redirect 4242 127.0.0.1 5999"),
            "redirect sent to 1 session");
  ASSERT_TRUE(link.next(&message));
  EXPECT_EQ(message, messages::redirect(5999));

  EXPECT_EQ(server_admin(test.server, "redirect 4242 127.0.0.1 0"), "bad port \"0\"");
  EXPECT_EQ(server_admin(test.server, "renumber"), "usage: renumber SESSION [NEW]");
  EXPECT_NE(server_admin(test.server, "list").find("session 4242 [Ball] citizen 1"),
            std::string::npos);
  EXPECT_EQ(server_admin(test.server, "frobnicate"), "unknown command \"frobnicate\" (try help)");
  EXPECT_EQ(server_admin(test.server, "quit"), "stopping");
  EXPECT_EQ(server_step(test.server, 0), -1);
}
