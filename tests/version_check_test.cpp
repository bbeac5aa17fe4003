// The version check against scripted version servers and against the
// service's own: each verdict, and every way the exchange can fail, each
// ending with its text and none hanging.
#include "app/version_check.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "app/client_socket.h"
#include "support/loopback.h"
#include "support/test_server.h"

using namespace orbilo;

namespace {

// A version server that answers one query with the given bytes, on its own
// thread; it hands the query line it read back to the test.
class ScriptedVersionServer {
 public:
  explicit ScriptedVersionServer(std::function<void(loopback::Peer&)> answer) {
    thread_ = std::thread([this, answer] {
      loopback::Peer peer = listener_.accept();
      if (!peer.valid()) return;
      query_ = peer.receive(9);  // "4:Orbilo\n"
      answer(peer);
    });
  }
  ~ScriptedVersionServer() { thread_.join(); }
  int port() const { return ntohs(listener_.port()); }
  const loopback::Bytes& query() const { return query_; }

 private:
  loopback::Listener listener_;
  loopback::Bytes query_;
  std::thread thread_;
};

std::function<void(loopback::Peer&)> answer(const std::string& bytes) {
  return [bytes](loopback::Peer& peer) { peer.send(bytes.data(), bytes.size()); };
}

struct Outcome {
  int result;
  std::string message;
  std::string error;
};

Outcome query(int port) {
  CVersionCheck check;
  check.SetPort(port);
  Outcome outcome;
  outcome.result = check.Query("127.0.0.1", "Orbilo", 4, outcome.message);
  outcome.error = check.ErrorText();
  return outcome;
}

TEST(VersionCheck, EachVerdictWithItsMessage) {
  struct Case {
    std::string bytes;
    int result;
    std::string message;
  } cases[] = {
      {"00001+", 0, ""},
      {"00020+Please upgrade soon", 0, "Please upgrade soon"},
      {"    6-Stop!", 1, "Stop!"},
      {"00004=old", 2, "old"},
      {"00001?", 3, ""},
      {std::string("00006+ab\0cd", 11), 0, "ab"},  // the message ends at a NUL byte
  };
  for (const Case& each : cases) {
    SCOPED_TRACE(each.bytes);
    ScriptedVersionServer server(answer(each.bytes));
    Outcome outcome = query(server.port());
    EXPECT_EQ(outcome.result, each.result);
    EXPECT_EQ(outcome.message, each.message);
    EXPECT_EQ(outcome.error, "");
    EXPECT_EQ(std::string(server.query().begin(), server.query().end()), "4:Orbilo\n");
  }
}

TEST(VersionCheck, FailuresEndWithTheirTexts) {
  ClientSocket::SetTimeoutForTests(200);
  struct Case {
    std::function<void(loopback::Peer&)> answer;
    std::string error;
  } cases[] = {
      {[](loopback::Peer&) {}, "Error while waiting for Server. Code 10104"},  // closes at once
      {answer("000"), "Error while waiting for Server. Code 10104"},           // short length
      {answer("abcde"), "Error while waiting for Server. Code 10071"},         // garbage length
      {answer("00000"), "Error while waiting for Server. Code 10071"},         // no body at all
      {answer("00010+short"), "Error while receiving data. Code 10104"},       // short body
      {[](loopback::Peer& peer) { peer.quiet(1000); },
       "Error while waiting for Server. Code 10110"},
  };
  for (const Case& each : cases) {
    SCOPED_TRACE(each.error);
    ScriptedVersionServer server(each.answer);
    Outcome outcome = query(server.port());
    EXPECT_EQ(outcome.result, -1);
    EXPECT_EQ(outcome.error, each.error);
  }
  Outcome closed = query(ntohs(loopback::closed_port()));
  EXPECT_EQ(closed.result, -1);
  EXPECT_EQ(closed.error, "Unable to connect to host. Error 10111");
  ClientSocket::SetTimeoutForTests(0);
}

// While the server takes its time, the query calls its wait hook again and
// again (the window paints there), and the answer still comes whole.
TEST(VersionCheck, TheWaitHookIsServedWhileTheServerThinks) {
  std::atomic<bool> answered{false};
  ScriptedVersionServer server([&answered](loopback::Peer& peer) {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    answered = true;
    peer.send("00003+Hi", 8);
  });
  CVersionCheck check;
  check.SetPort(server.port());
  int served = 0, served_before_answer = 0;
  check.SetWaitHook([&] {
    ++served;
    if (!answered) ++served_before_answer;
  });
  std::string message;
  EXPECT_EQ(check.Query("127.0.0.1", "Orbilo", 4, message), 0);
  EXPECT_EQ(message, "Hi");
  // 300 ms in slices of at most 25 ms: about 12 calls; a loaded machine may
  // run fewer slices, but never only one.
  EXPECT_GE(served_before_answer, 5);
  EXPECT_GE(served, served_before_answer);
}

// The client and the service's own version service agree on the exchange.
TEST(VersionCheck, TheServicesVersionServerAnswers) {
  server_testing::TestServer test([](ServerConfig* config) {
    config->version_policy.accept_message = "Welcome";
    config->version_policy.refused[3] = {'=', "Too old"};
  });
  ASSERT_EQ(test.create_error, 0) << test.error;
  server_testing::Serving serving(test);
  CVersionCheck check;
  check.SetPort(test.version_port());
  std::string message;
  EXPECT_EQ(check.Query("127.0.0.1", "Orbilo", 4, message), 0);
  EXPECT_EQ(message, "Welcome");
  EXPECT_EQ(check.Query("127.0.0.1", "Orbilo", 3, message), 2);  // a connection of its own
  EXPECT_EQ(message, "Too old");
}

}  // namespace
