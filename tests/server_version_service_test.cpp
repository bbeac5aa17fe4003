// The version service: one query line, one answer of a five-character length
// and a body (verdict, then message), then the connection closes.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "server/internal.h"
#include "support/test_server.h"

using namespace orbilo;

using namespace server_testing;

namespace {

// Sends text to the version service and returns all it answers until it
// closes; *closed tells whether it did.
std::string ask(TestServer& test, const std::string& text, bool* closed = nullptr) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in where{};
  where.sin_family = AF_INET;
  where.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  where.sin_port = htons(test.version_port());
  if (connect(fd, reinterpret_cast<sockaddr*>(&where), sizeof where) != 0) {
    close(fd);
    return "<no connection>";
  }
  send(fd, text.data(), text.size(), MSG_NOSIGNAL);
  std::string answer;
  bool ended = false;
  for (int k = 0; k < 300 && !ended; ++k) {
    test.pump();
    pollfd p{fd, POLLIN, 0};
    while (poll(&p, 1, 0) > 0) {
      char buffer[512];
      ssize_t count = recv(fd, buffer, sizeof buffer, 0);
      if (count <= 0) {
        ended = true;
        break;
      }
      answer.append(buffer, static_cast<std::size_t>(count));
    }
  }
  close(fd);
  if (closed != nullptr) *closed = ended;
  return answer;
}

}  // namespace

TEST(ServerVersionService, EachBuildIsAnsweredByThePolicy) {
  TestServer test([](ServerConfig* config) {
    config->version_policy.accepted = {4, 5};
    config->version_policy.accept_message = "Please upgrade soon";
    config->version_policy.refused[3] = {'=', "Build 3 is retired."};
  });
  bool closed = false;
  EXPECT_EQ(ask(test, "4:Orbilo\n", &closed), "   20+Please upgrade soon");
  EXPECT_TRUE(closed);
  EXPECT_EQ(ask(test, "3:Orbilo\n"), "   20=Build 3 is retired.");
  EXPECT_EQ(ask(test, "9:Orbilo\r\n"), "   44-This build is not supported by this server.");
  EXPECT_EQ(ask(test, "4:Other\n"), "   44-This build is not supported by this server.");
  EXPECT_EQ(test.logged("version query \"4:Orbilo\" from 127.0.0.1"), 1);

  // Malformed queries and overlong lines get no answer, only a close.
  EXPECT_EQ(ask(test, "Orbilo\n", &closed), "");
  EXPECT_TRUE(closed);
  EXPECT_EQ(ask(test, std::string(300, '4'), &closed), "");
  EXPECT_TRUE(closed);
}

TEST(ServerVersionService, TheDefaultPolicyAcceptsBuildFourSilently) {
  VersionPolicy policy;
  bool valid = false;
  EXPECT_EQ(version_answer(policy, "4:Orbilo", &valid), "+");
  EXPECT_TRUE(valid);
  EXPECT_EQ(version_answer(policy, "4:orbilo", &valid), "+");
  EXPECT_EQ(version_answer(policy, ":Orbilo", &valid), "");
  EXPECT_FALSE(valid);
  EXPECT_EQ(version_answer(policy, "4Orbilo", &valid), "");
  EXPECT_FALSE(valid);
  EXPECT_EQ(version_answer(policy, "99999999999:Orbilo", &valid), "");
  EXPECT_FALSE(valid);
}
