// The version server at fault: it accepts and never answers, answers short,
// sends a length of 0, a negative or a huge one, resets the connection, or
// trickles its answer a byte at a time. The query ends with its own text
// within the time-out, and the session core shows that text and ends the
// program as for any failed check, without logging in.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "app/client_socket.h"
#include "app/session.h"
#include "app/version_check.h"
#include "sdk/sdk.h"
#include "support/loopback.h"
#include "support/recording_view.h"
#include "support/scratch_directory.h"
#include "support/test_server.h"

using namespace orbilo;

namespace {

using namespace std::string_literals;
using Answer = std::function<void(loopback::Peer&)>;
using Clock = std::chrono::steady_clock;

constexpr int kTimeoutMs = 300;  // the client's time-out in these tests

// A version server that reads one query line and answers it as told, on a
// thread of its own.
class ScriptedVersionServer {
 public:
  explicit ScriptedVersionServer(Answer answer) {
    thread_ = std::thread([this, answer] {
      loopback::Peer peer = listener_.accept();
      if (!peer.valid()) return;
      query_ = peer.receive(9);
      answer(peer);
    });
  }
  ~ScriptedVersionServer() { thread_.join(); }
  int port() const { return ntohs(listener_.port()); }
  std::string query() const { return std::string(query_.begin(), query_.end()); }

 private:
  loopback::Listener listener_;
  loopback::Bytes query_;
  std::thread thread_;
};

// Sends bytes, then waits until the client has closed (bounded).
Answer Send(const std::string& bytes) {
  return [bytes](loopback::Peer& peer) {
    peer.send(bytes.data(), bytes.size());
    peer.closed(5000);
  };
}
// Sends bytes, then closes at once.
Answer SendAndClose(const std::string& bytes) {
  return [bytes](loopback::Peer& peer) {
    peer.send(bytes.data(), bytes.size());
    peer.close();
  };
}
// Sends a length of 40 and then the body one byte every 30 ms: 1.2 s in all,
// four times the client's time-out.
Answer Trickle() {
  return [](loopback::Peer& peer) {
    peer.send("00040", 5);
    for (int k = 0; k < 40; ++k) {
      if (!peer.send("+", 1, 100)) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(30));
    }
  };
}

struct Fault {
  const char* name;
  Answer answer;
  std::string error;
};

void PrintTo(const Fault& fault, std::ostream* out) {
  *out << fault.name;
}

std::vector<Fault> Faults() {
  return {
      {"NeverAnswers", Send(""), "Error while waiting for Server. Code 10110"},
      {"ClosesAtOnce", SendAndClose(""), "Error while waiting for Server. Code 10104"},
      {"ResetsAtOnce", [](loopback::Peer& peer) { peer.reset(); },
       "Error while waiting for Server. Code 10104"},
      {"ShortLength", SendAndClose("000"), "Error while waiting for Server. Code 10104"},
      {"ShortLengthThenSilence", Send("00"), "Error while waiting for Server. Code 10110"},
      {"ShortBody", SendAndClose("00010+short"), "Error while receiving data. Code 10104"},
      {"ShortBodyThenSilence", Send("00010+sho"), "Error while receiving data. Code 10110"},
      {"ZeroLength", Send("00000+"), "Error while waiting for Server. Code 10071"},
      {"BlankZeroLength", Send("    0+"), "Error while waiting for Server. Code 10071"},
      {"NegativeLength", Send("-0001+"), "Error while waiting for Server. Code 10071"},
      {"BlankNegativeLength", Send("  -12+"), "Error while waiting for Server. Code 10071"},
      {"NulLength", Send("\0\0\0\0\0+"s), "Error while waiting for Server. Code 10071"},
      {"BlankLength", Send("     +"), "Error while waiting for Server. Code 10071"},
      {"HugeLengthThenClose", SendAndClose("99999+not all of it"),
       "Error while receiving data. Code 10104"},
      {"HugeLengthThenSilence", Send("99999+not all of it"),
       "Error while receiving data. Code 10110"},
      {"Trickles", Trickle(), "Error while receiving data. Code 10110"},
  };
}

class VersionFaults : public testing::TestWithParam<Fault> {
 protected:
  void SetUp() override { ClientSocket::SetTimeoutForTests(kTimeoutMs); }
  void TearDown() override { ClientSocket::SetTimeoutForTests(0); }
};

// The query alone: -1 with the fault's text, in about the time-out.
TEST_P(VersionFaults, TheQueryEndsWithItsText) {
  ScriptedVersionServer server(GetParam().answer);
  CVersionCheck check;
  check.SetPort(server.port());
  std::string message = "unchanged";
  auto start = Clock::now();
  EXPECT_EQ(check.Query("127.0.0.1", "Orbilo", 4, message), -1);
  auto took = Clock::now() - start;
  EXPECT_EQ(check.ErrorText(), GetParam().error);
  EXPECT_EQ(message, "unchanged");
  EXPECT_LT(took, std::chrono::milliseconds(kTimeoutMs * 2));
  EXPECT_EQ(server.query(), "4:Orbilo\n");
}

// The session core at Login: the text in a box, the program asked to end
// with status 1, no login sent; the settings are written as at any end.
TEST_P(VersionFaults, TheBotShowsItAndEnds) {
  ScratchDirectory scratch;
  IniPath = scratch.path("orbilo.ini");
  ASSERT_EQ(api_init(ORBILO_SDK_BUILD), 0);
  auto universe = std::make_unique<server_testing::TestServer>();
  ASSERT_EQ(universe->create_error, 0) << universe->error;
  auto serving = std::make_unique<server_testing::Serving>(*universe);
  ScriptedVersionServer version(GetParam().answer);
  std::ofstream(IniPath) << "[Main]\nName=Ball\nCitizen=1\nPassword=demo\nWorld=demo\n"
                         << "[universe]\nhost=127.0.0.1\nport=" << universe->universe_port()
                         << "\n[version]\nhost=127.0.0.1\nport=" << version.port() << "\n";

  RecordingView view;
  LoginPage page(&view);
  page.Init();
  page.OnLogin();
  EXPECT_TRUE(view.quit);
  EXPECT_EQ(page.exit_status(), 1);
  ASSERT_EQ(view.boxes.size(), 1u);
  EXPECT_EQ(
      view.boxes[0].text,
      "Sorry, a network error occured while talking to the version server: " + GetParam().error);
  EXPECT_EQ(view.boxes[0].caption, "orbilo-test");
  EXPECT_EQ(view.boxes[0].icon, BoxIcon::kNone);
  EXPECT_EQ(view.status, "Connecting to version server...");
  EXPECT_TRUE(view.log.empty());
  EXPECT_FALSE(view.login_enabled);  // the program ends: nothing more to press

  // The pump goes on until the front end ends the program: still nothing.
  for (int tick = 0; tick < 10; ++tick) page.OnTimer(kPumpTimer);
  EXPECT_TRUE(view.log.empty());
  EXPECT_EQ(Running, 0);
  page.Destroy();
  EXPECT_TRUE(page.settings_saved());
  serving.reset();
  EXPECT_EQ(universe->logged("login: "), 0);
  universe.reset();
  std::string text = scratch.read("orbilo.ini");
  EXPECT_NE(text.find("World=demo\n"), std::string::npos);
  EXPECT_NE(text.find("ReturnHome=0\n"), std::string::npos);
  IniPath.clear();
}

INSTANTIATE_TEST_SUITE_P(Each, VersionFaults, testing::ValuesIn(Faults()),
                         [](const testing::TestParamInfo<Fault>& info) { return info.param.name; });

// A second Login after an answer that came too late queries afresh, on a
// connection of its own, and an answer in time lets the bot go on.
TEST(VersionFaultsThenRecovery, ASlowAnswerThenAGoodOne) {
  ClientSocket::SetTimeoutForTests(kTimeoutMs);
  {
    ScriptedVersionServer late([](loopback::Peer& peer) {
      std::this_thread::sleep_for(std::chrono::milliseconds(kTimeoutMs * 2));
      peer.send("00001+", 6);
    });
    CVersionCheck check;
    check.SetPort(late.port());
    std::string message;
    EXPECT_EQ(check.Query("127.0.0.1", "Orbilo", 4, message), -1);
    EXPECT_EQ(check.ErrorText(), "Error while waiting for Server. Code 10110");
  }
  // Split at every byte, each in time: the answer is whole.
  ScriptedVersionServer split([](loopback::Peer& peer) {
    for (char c : std::string("00006+Hello")) {
      peer.send(&c, 1);
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    peer.closed(5000);
  });
  CVersionCheck check;
  check.SetPort(split.port());
  std::string message;
  EXPECT_EQ(check.Query("127.0.0.1", "Orbilo", 4, message), 0);
  EXPECT_EQ(message, "Hello");
  EXPECT_EQ(check.ErrorText(), "");
  ClientSocket::SetTimeoutForTests(0);
}

}  // namespace
