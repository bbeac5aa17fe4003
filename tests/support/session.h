// A library instance driven through a whole session against scripted
// universe and world peers on loopback: the shared steps of the session
// tests (log in, enter, pump until something holds).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "sdk/instance.h"
#include "sdk/sdk.h"
#include "support/scripted_peer.h"

namespace orbilo {

namespace session {

using scripted::Body;
using scripted::Bytes;

// The login that the tests send, and the bytes the universe must see.
inline constexpr const char* kBotName = "Ball";
inline constexpr int kOwner = 1234;
inline constexpr const char* kPassword = "secret";
inline constexpr std::uint8_t kCheck[4] = {1, 2, 3, 4};
inline constexpr const char* kWorld = "myworld";
// The table hash of the check bytes 01 02 03 04 and "myworld" padded to 8.
inline constexpr std::uint32_t kLoginHash = 0x6c5e3138;
// The machine identity the tests give the library: 00-0A-0B-0C-0D-0E.
inline constexpr std::uint8_t kAdapter[6] = {0x00, 0x0a, 0x0b, 0x0c, 0x0d, 0x0e};

// The session's messages, as the builders of messages.h give them: what the
// library must send and what the scripted peers answer.
// Universe login 47 for the test's login attributes.
Bytes universe_login();
// Universe attributes 21 that name the universe build.
Bytes universe_attributes(int build);
// Login reply 20 as a universe of the build sends it, login number 9.
Bytes login_reply(int build, int session = 77);
// World reply 0 for name, at the world peer's port (network order), of the
// given world build.
Bytes world_reply(const std::string& name, std::uint16_t port, int world_build, int universe_build);
// Avatar add 2 of "Kicker", session 12, at 100 0 -200 with yaw 1800, type 1,
// gesture 0, and its remaining fields 5, 6 and 7.
Bytes kicker_add();
// The world login the library must send for a world build (20, 27 or 53).
Bytes world_login(int world_build, std::uint16_t port, std::uint32_t session = 77);

// Records which handlers ran, with their result codes.
struct Calls {
  std::vector<std::pair<int, int>> callbacks;  // (callback, rc)
  std::vector<int> events;
  int count_event(int event) const;
  int count_callback(int callback) const;
  int last_rc(int callback) const;  // -1 when it never ran
};
extern Calls calls;
// Installs recorders for the callbacks login, enter and citizen lookup.
void install_callbacks();
// Installs recorders for every event and callback.
void install_everything();
// Installs a recorder for an event.
void install_event(int event);

class SessionTest : public testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Creates the instance and accepts its universe link.
  void create();
  // Logs in through callback mode and answers as a universe of build.
  void login(int build = 35);
  // Enters kWorld through callback mode, with a world of world_build.
  void enter(int world_build = 39, int universe_build = 35);
  // After the world link was lost: accepts the link the instance reopens,
  // checks its login to a world of build 39, answers with keys of no discard
  // and no attributes, and pumps until the instance is in the world again.
  void reenter();
  // Runs pump passes until done() holds or timeout_ms of real time pass. A
  // pass that finds nothing waits on the links for up to kPumpWaitMs; unlike
  // api_wait, the loop does not count on the library clock to end it, so it
  // serves a test that holds that clock still.
  bool pump_until(const std::function<bool()>& done, int timeout_ms = 5000);
  static constexpr int kPumpWaitMs = 10;

  Instance* instance() { return static_cast<Instance*>(instance_); }

  scripted::Server universe_;
  scripted::Server world_;
  scripted::Link universe_link_;
  scripted::Link world_link_;
  void* instance_ = nullptr;
  Bytes entry_mask_;  // the body of the event mask sent on entering
};

}  // namespace session

}  // namespace orbilo
