// The session driver end to end: the application core with a recording view,
// against the service's servers running on a thread of their own, from the
// Login button to a running bot and the user's later changes.
#include "app/session.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <arpa/inet.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "sdk/sdk.h"
#include "support/loopback.h"
#include "support/recording_view.h"
#include "support/scratch_directory.h"
#include "support/test_server.h"

using namespace orbilo;

namespace {

using server_testing::TestServer;

const std::vector<std::string> kRunningLog = {
    "Orbilo has verified your Orbilo version is up to date.", "Orbilo has successfully logged in.",
    "Orbilo has successfully entered the world.", "Orbilo is now running."};

class SessionDriver : public testing::Test {
 protected:
  void SetUp() override {
    IniPath = scratch_.path("orbilo.ini");
    ASSERT_EQ(api_init(ORBILO_SDK_BUILD), 0);  // first: it restarts the clock the servers share
  }
  void TearDown() override {
    page_.Destroy();  // api_destroy, the settings written, api_term
    stop_server();
    IniPath.clear();
    Running = 0;
  }

  // The servers, with the citizen 1 "Demo" (password "demo") and the worlds
  // "demo" and "other", stepped on their own thread.
  template <typename Adjust>
  void start_server(Adjust adjust) {
    server_ = std::make_unique<TestServer>([&](ServerConfig* config) {
      WorldConfig other;
      other.name = "other";
      config->worlds.push_back(other);
      adjust(config);
    });
    ASSERT_EQ(server_->create_error, 0) << server_->error;
    serving_ = std::make_unique<server_testing::Serving>(*server_);
  }
  void start_server() {
    start_server([](ServerConfig*) {});
  }
  void stop_server() {
    serving_.reset();
    server_.reset();
  }

  // Writes orbilo.ini for the servers and loads it into the page.
  void init_page(const std::string& world = "demo", const std::string& password = "demo",
                 int version_port = 0) {
    std::ofstream ini(IniPath);
    ini << "[Main]\nName=Ball\nCitizen=1\nPassword=" << password << "\nWorld=" << world
        << "\nCenterCoords=2n 3w\n[universe]\nhost=127.0.0.1\nport=" << server_->universe_port()
        << "\n[version]\nhost=127.0.0.1\nport="
        << (version_port != 0 ? version_port : server_->version_port()) << "\n";
    ini.close();
    page_.Init();
  }

  // Runs the pump timer until done() holds (bounded).
  bool pump_until(const std::function<bool()>& done) {
    for (int tick = 0; tick < 400; ++tick) {
      if (done()) return true;
      page_.OnTimer(kPumpTimer);
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return done();
  }

  bool run_bot() {
    page_.OnLogin();
    return pump_until([&] { return Running == 1 || view_.login_enabled; });
  }

  ScratchDirectory scratch_;
  RecordingView view_;
  LoginPage page_{&view_};
  std::unique_ptr<TestServer> server_;
  std::unique_ptr<server_testing::Serving> serving_;
};

TEST_F(SessionDriver, TheSuccessfulRoad) {
  start_server();
  init_page();
  ASSERT_TRUE(run_bot());
  EXPECT_EQ(view_.log, kRunningLog);
  EXPECT_EQ(view_.status, "Orbilo is now running.");
  EXPECT_EQ(Running, 1);
  EXPECT_TRUE(view_.running_enabled);
  EXPECT_FALSE(view_.login_enabled);
  EXPECT_TRUE(view_.boxes.empty());
  EXPECT_EQ(api_int(ATTR_MY_Z), 2000);  // placed at the login location
  EXPECT_EQ(api_int(ATTR_MY_X), 3000);
  EXPECT_TRUE(pump_until([] { return OwnerName == "Demo"; }));
}

TEST_F(SessionDriver, AnEmptyWorldStopsBeforeAnythingIsSent) {
  start_server();
  init_page("");
  page_.OnLogin();
  ASSERT_EQ(view_.boxes.size(), 1u);
  EXPECT_EQ(view_.boxes[0].text, "You must input a world.");
  EXPECT_EQ(view_.boxes[0].caption, "Orbilo");
  EXPECT_TRUE(view_.login_enabled);
  EXPECT_EQ(api_instance(), nullptr);
}

TEST_F(SessionDriver, AHostThatCannotBeResolved) {
  start_server();
  init_page();
  UniverseHost = "";  // a name the resolver refuses at once, without the network
  page_.OnLogin();
  ASSERT_EQ(view_.log.size(), 1u);
  EXPECT_EQ(view_.log[0].rfind("Unable to create bot instance (reason: ", 0), 0u);
  EXPECT_EQ(view_.boxes.at(0).caption, "orbilo-test");
}

// The version server decides whether the bot may run at all.
TEST_F(SessionDriver, TheVersionServersAnswers) {
  start_server([](ServerConfig* config) {
    config->version_policy.accepted = {};
    config->version_policy.refused[4] = {'-', "Build 4 is withdrawn."};
  });
  init_page();
  page_.OnLogin();
  EXPECT_TRUE(view_.quit);
  EXPECT_EQ(page_.exit_status(), 1);
  ASSERT_EQ(view_.boxes.size(), 1u);
  EXPECT_EQ(view_.boxes[0].text, "Sorry, you cannot start this build: Build 4 is withdrawn.");
  EXPECT_EQ(view_.boxes[0].caption, "Simple Orbilo");
}

TEST_F(SessionDriver, AnUnreachableVersionServer) {
  start_server();
  init_page("demo", "demo", ntohs(loopback::closed_port()));
  page_.OnLogin();
  EXPECT_TRUE(view_.quit);
  ASSERT_EQ(view_.boxes.size(), 1u);
  EXPECT_EQ(view_.boxes[0].text,
            "Sorry, a network error occured while talking to the version server: Unable to "
            "connect to host. Error 10111");
}

TEST_F(SessionDriver, AVersionMessageIsShownAndLogged) {
  start_server([](ServerConfig* config) { config->version_policy.accept_message = "Hello!"; });
  init_page();
  ASSERT_TRUE(run_bot());
  EXPECT_EQ(view_.log.at(0), "Hello!");
  EXPECT_EQ(view_.boxes.at(0).icon, BoxIcon::kInformation);
}

TEST_F(SessionDriver, AWrongPassword) {
  start_server();
  init_page("demo", "wrong");
  ASSERT_TRUE(run_bot());
  std::string text = "Unable to login (reason: invalid password).";
  EXPECT_EQ(view_.log.back(), text);
  EXPECT_EQ(view_.status, text);
  ASSERT_EQ(view_.boxes.size(), 1u);
  EXPECT_FALSE(view_.boxes[0].owned);
  EXPECT_TRUE(view_.login_enabled);
}

// Apply moves the bot within its world (the name in any letter case), or
// takes it to another world; Return home uses the location as last read.
TEST_F(SessionDriver, ApplyReturnHomeAndTheHomeTimer) {
  start_server();
  init_page();
  ASSERT_TRUE(run_bot());
  view_.controls.world = "DEMO";
  view_.controls.location = "1n 1e";
  page_.OnSettingChanged();
  EXPECT_TRUE(view_.modified);
  page_.OnApply();
  EXPECT_EQ(view_.log.back(), "Change successful.");
  EXPECT_EQ(api_int(ATTR_MY_Z), 1000);
  EXPECT_FALSE(view_.modified);

  view_.controls.location = "5n";  // typed, not applied
  api_int_set(ATTR_MY_Z, 0);
  page_.OnReturnHome();
  EXPECT_EQ(api_int(ATTR_MY_Z), 1000);

  api_int_set(ATTR_MY_Z, 0);
  page_.OnTimer(kHomeTimer);  // ReturnHome clear: nothing
  EXPECT_EQ(api_int(ATTR_MY_Z), 0);
  page_.fields().ReturnHome = 1;
  page_.OnTimer(kHomeTimer);
  EXPECT_EQ(api_int(ATTR_MY_Z), 1000);

  view_.controls.world = "other";
  view_.controls.location = "1n 1e";
  page_.OnApply();
  ASSERT_TRUE(pump_until([] { return std::string(api_string(ATTR_WORLD_NAME)) == "other"; }));
  ASSERT_TRUE(pump_until([&] { return view_.log.back() == "Change successful."; }));
  EXPECT_EQ(Running, 1);
}

// Editing while the bot does not run leaves Apply disabled.
TEST_F(SessionDriver, EditsBeforeRunningDoNotEnableApply) {
  start_server();
  init_page();
  page_.OnSettingChanged();
  EXPECT_FALSE(view_.modified);
}

}  // namespace
