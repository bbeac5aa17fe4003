// Every allocation of the library fails in turn, along a bot's whole life:
// api_init, api_create, the login, the entry into a world of orbilo-server
// (a child process, so that its own allocations are not counted), the events
// of the crowd there, api_destroy and api_term. Each failure must come out as
// RC_OUT_OF_MEMORY or as a lost link; none may crash, hang, leak a block, or
// leave the bot short of its world without saying why.
#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <string>

#include "net/clock.h"
#include "net/memory.h"
#include "sdk/instance.h"
#include "sdk/sdk.h"
#include "sdk/stream.h"
#include "support/child_process.h"
#include "support/session.h"

using namespace orbilo;

namespace {

constexpr int kCrowd = 2;
constexpr int kSecond = 1000;

// What one life of the bot saw.
struct Life {
  bool entered = false;
  std::set<int> avatars;  // sessions of the crowd announced to the bot
  bool surfaced = false;  // a 400, a refused callback or a lost link was seen
  std::string what;       // the first such sign, for the failure message
};
Life life;

void surface(const std::string& what) {
  if (!life.surfaced) life.what = what;
  life.surfaced = true;
}

// Results that a failed allocation may give: RC_OUT_OF_MEMORY where the call
// itself needed the memory.
void check_result(const char* call, int rc) {
  if (rc == 0) return;
  EXPECT_EQ(rc, RC_OUT_OF_MEMORY) << call;
  surface(call);
}

void on_login(int rc) {
  if (rc != 0) return surface("login callback " + std::to_string(rc));
  check_result("api_enter", api_enter("alloc"));
}

void on_enter(int rc) {
  if (rc != 0) return surface("enter callback " + std::to_string(rc));
  life.entered = true;
  api_int_set(ATTR_MY_X, 100);
  check_result("api_state_change", api_state_change());
}

void on_avatar_add() {
  life.avatars.insert(api_int(ATTR_AVATAR_SESSION));
}

void on_world_disconnect() {
  surface("world disconnect " + std::to_string(api_int(ATTR_DISCONNECT_REASON)));
}

bool there() {
  return life.entered && static_cast<int>(life.avatars.size()) >= kCrowd;
}

// A link lost and waiting to be reopened is a failure that surfaced; the
// library clock is moved on so that the reconnect comes at once.
void watch_links(void* handle) {
  auto* instance = static_cast<Instance*>(handle);
  bool lost = instance->universe_state == kUniverseReconnectPending ||
              instance->world_state == kWorldReconnectPending;
  if (!lost) return;
  surface("link lost");
  clock_advance(kSecond + 1);
}

class AllocationFailure : public testing::Test {
 protected:
  // One life with the nth allocation failing (0: none); returns how many
  // allocations it made.
  long live(long nth, bool persistent = false) {
    life = Life{};
    long blocks = mem_blocks_held();
    long start = mem_allocation_count();
    mem_fail_at(nth, persistent);
    run();
    mem_fail_at(0);
    EXPECT_EQ(mem_blocks_held(), blocks) << "blocks leaked with allocation " << nth << " failing";
    if (!there()) {
      EXPECT_TRUE(life.surfaced) << "allocation " << nth << " failed without a sign";
    }
    return mem_allocation_count() - start;
  }

  void run() {
    int rc = api_init(ORBILO_SDK_BUILD);
    if (rc != 0) return check_result("api_init", rc);
    check_result("api_callback_set", api_callback_set(CALLBACK_LOGIN, on_login));
    check_result("api_callback_set", api_callback_set(CALLBACK_ENTER, on_enter));
    check_result("api_event_set", api_event_set(EVENT_AVATAR_ADD, on_avatar_add));
    check_result("api_event_set", api_event_set(EVENT_WORLD_DISCONNECT, on_world_disconnect));
    void* instance = nullptr;
    rc = api_create("127.0.0.1", port_, &instance);
    if (rc == 0) {
      check_result("api_string_set", api_string_set(ATTR_LOGIN_NAME, "Ball"));
      check_result("api_int_set", api_int_set(ATTR_LOGIN_OWNER, 1));
      check_result("api_string_set", api_string_set(ATTR_LOGIN_PRIVILEGE_PASSWORD, "demo"));
      check_result("api_login", api_login());
      pump(instance);
      check_result("api_destroy", api_destroy());
    } else {
      check_result("api_create", rc);
    }
    api_term();
  }

  // Pumps until the bot is in the world with the crowd in view: a few
  // seconds of real time at most, and less once a failure has shown itself
  // (a refused login is not retried, so nothing more would come).
  void pump(void* instance) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    int after_sign = 0;
    while (!there() && std::chrono::steady_clock::now() < deadline) {
      int rc = api_wait(10);
      if (rc != 0 && rc != RC_NOT_YET) check_result("api_wait", rc);
      watch_links(instance);
      if (life.surfaced && ++after_sign > 50) break;
    }
  }

  ChildProcess server_{{program_beside("orbilo-server"), "--universe", "127.0.0.1:0",
                        "--version-server", "off", "--no-admin", "--world", "alloc=127.0.0.1:0",
                        "--crowd", std::to_string(kCrowd)}};
  int port_ = server_.port("universe");
};

TEST_F(AllocationFailure, EachAllocationInTurnFailsCleanly) {
  ASSERT_NE(port_, 0) << "orbilo-server did not start";
  long allocations = live(0);
  ASSERT_TRUE(there()) << "without failures the bot must reach its world: " << life.what;
  ASSERT_FALSE(life.surfaced) << life.what;
  ASSERT_GT(allocations, 10);
  int recovered = 0;
  // The count varies a little with what the crowd does meanwhile; failing
  // past the last allocation of a life ends the walk.
  for (long nth = 1;; ++nth) {
    SCOPED_TRACE("allocation " + std::to_string(nth) + " fails");
    long made = live(nth);
    if (testing::Test::HasFailure()) break;
    if (made < nth) break;
    if (there()) ++recovered;
    if (nth > 10 * allocations) {
      ADD_FAILURE() << "allocations do not settle";
      break;
    }
  }
  RecordProperty("allocations", static_cast<int>(allocations));
  RecordProperty("recovered", recovered);
}

// Memory that runs out for good from some point on: every later allocation
// fails too, reconnects included. The bot says so and gives its blocks back.
TEST_F(AllocationFailure, MemoryThatStaysExhaustedIsReportedAndNothingLeaks) {
  ASSERT_NE(port_, 0) << "orbilo-server did not start";
  long allocations = live(0);
  ASSERT_TRUE(there()) << life.what;
  for (long nth = 1; nth <= allocations; ++nth) {
    SCOPED_TRACE("allocations fail from number " + std::to_string(nth) + " on");
    live(nth, true);
    if (nth == 1) {
      EXPECT_FALSE(there());  // api_init itself needs memory
    }
    if (testing::Test::HasFailure()) break;
  }
}

// A receive buffer that cannot grow for a large message fails that link
// alone: its stream gives 400, the world link is lost and reopened as for
// any loss, and the universe link goes on. With memory again the same
// message is read and passed over.
class GrowthFailure : public session::SessionTest {};

TEST_F(GrowthFailure, ALargeMessageWithoutMemoryLosesItsLinkAlone) {
  create();
  login();
  enter();
  session::install_event(EVENT_WORLD_DISCONNECT);
  session::install_event(EVENT_AVATAR_ADD);
  messages::Bytes large(1 + 3000, 0x5A);
  large[0] = 200;  // an id the library passes over
  mem_fail_from_size(kStreamReceiveStart + 1);
  ASSERT_TRUE(world_link_.send(large));
  EXPECT_TRUE(pump_until([&] { return instance()->world_state == kWorldReconnectPending; }));
  mem_fail_from_size(0);
  EXPECT_EQ(instance()->universe_state, kUniverseLoggedIn);
  EXPECT_EQ(session::calls.count_event(EVENT_WORLD_DISCONNECT), 1);
  EXPECT_EQ(api_int(ATTR_DISCONNECT_REASON), RC_CONNECTION_LOST);

  clock_advance(kSecond);  // the reconnect falls due
  api_wait(0);
  ASSERT_NO_FATAL_FAILURE(reenter());
  ASSERT_TRUE(world_link_.send(large));
  ASSERT_TRUE(world_link_.send(session::kicker_add()));
  EXPECT_TRUE(pump_until([] { return session::calls.count_event(EVENT_AVATAR_ADD) == 1; }));
  EXPECT_EQ(instance()->world_state, kWorldEntered);
}

}  // namespace
