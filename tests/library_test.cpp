#include <arpa/inet.h>
#include <gtest/gtest.h>

#include "net/clock.h"

#include "sdk/instance.h"
#include "sdk/sdk.h"
#include "support/loopback.h"

using namespace orbilo;

namespace {

int port_of(const loopback::Listener& listener) {
  return ntohs(listener.port());
}

// Every call but api_init and api_term answers 444 before the library starts,
// and a wrong build leaves it unstarted.
TEST(Library, CallsBeforeInitAndAWrongBuildAreRefused) {
  api_term();
  EXPECT_EQ(api_init(23), RC_VERSION_MISMATCH);
  void* instance = nullptr;
  EXPECT_EQ(api_create("127.0.0.1", 1, &instance), RC_NOT_INITIALIZED);
  EXPECT_EQ(instance, nullptr);
  EXPECT_EQ(api_destroy(), RC_NOT_INITIALIZED);
  EXPECT_EQ(api_wait(0), RC_NOT_INITIALIZED);
  EXPECT_EQ(api_login(), RC_NOT_INITIALIZED);
  EXPECT_EQ(api_enter("a"), RC_NOT_INITIALIZED);
  EXPECT_EQ(api_exit(), RC_NOT_INITIALIZED);
  EXPECT_EQ(api_state_change(), RC_NOT_INITIALIZED);
  EXPECT_EQ(api_whisper(1, "hi"), RC_NOT_INITIALIZED);
  EXPECT_EQ(api_citizen_lookup(1), RC_NOT_INITIALIZED);
  EXPECT_EQ(api_event_set(EVENT_CHAT, nullptr), RC_NOT_INITIALIZED);
  EXPECT_EQ(api_callback_set(CALLBACK_LOGIN, nullptr), RC_NOT_INITIALIZED);
  EXPECT_EQ(api_instance_set(nullptr), RC_NOT_INITIALIZED);
  EXPECT_EQ(api_instance(), nullptr);
  api_term();  // harmless when not started
}

class LibraryTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(api_init(ORBILO_SDK_BUILD), 0);
    ASSERT_EQ(api_init(ORBILO_SDK_BUILD), 0);  // a second start changes nothing
  }
  void TearDown() override { api_term(); }

  void* create() {
    void* instance = nullptr;
    EXPECT_EQ(api_create("127.0.0.1", port_of(listener_), &instance), 0);
    peers_.push_back(listener_.accept());
    EXPECT_TRUE(peers_.back().valid());
    return instance;
  }

  loopback::Listener listener_;
  std::vector<loopback::Peer> peers_;
};

TEST_F(LibraryTest, WithoutAnInstanceTheOperationsAnswer445) {
  EXPECT_EQ(api_destroy(), RC_NO_INSTANCE);
  EXPECT_EQ(api_wait(0), RC_NO_INSTANCE);
  EXPECT_EQ(api_login(), RC_NO_INSTANCE);
  EXPECT_EQ(api_enter("a"), RC_NO_INSTANCE);
  EXPECT_EQ(api_citizen_lookup(1), RC_NO_INSTANCE);
  EXPECT_EQ(api_int_set(ATTR_LOGIN_OWNER, 1), RC_NO_INSTANCE);
}

// The newest instance is current; destroying it makes the newest remaining
// one current, until none is left.
TEST_F(LibraryTest, CreateAndDestroyMoveTheCurrentInstance) {
  void* first = create();
  void* second = create();
  ASSERT_NE(first, nullptr);
  ASSERT_NE(first, second);
  EXPECT_EQ(api_instance(), second);
  EXPECT_EQ(library.instance_count, 2);

  // Each instance keeps its own attributes.
  EXPECT_EQ(api_int_set(ATTR_LOGIN_OWNER, 2), 0);
  EXPECT_EQ(api_instance_set(first), 0);
  EXPECT_EQ(api_int(ATTR_LOGIN_OWNER), 0);
  EXPECT_EQ(api_instance_set(second), 0);
  EXPECT_EQ(api_int(ATTR_LOGIN_OWNER), 2);

  EXPECT_EQ(api_destroy(), 0);
  EXPECT_EQ(api_instance(), first);
  EXPECT_TRUE(peers_[1].closed());
  EXPECT_EQ(api_instance_set(second), RC_INVALID_INSTANCE);  // gone
  EXPECT_EQ(api_instance(), first);
  EXPECT_EQ(api_destroy(), 0);
  EXPECT_EQ(api_instance(), nullptr);
  EXPECT_EQ(api_destroy(), RC_NO_INSTANCE);
  EXPECT_EQ(library.instance_count, 0);
}

// The new instance's universe link is open but not logged in: the pump
// neither reads it nor times it out.
TEST_F(LibraryTest, ANewInstanceIsConnectedAndLeftAlone) {
  create();
  auto* instance = static_cast<Instance*>(api_instance());
  EXPECT_EQ(instance->universe_state, kUniverseConnected);
  EXPECT_EQ(instance->world_state, kWorldNone);
  EXPECT_EQ(instance->universe_port, listener_.port());
  peers_[0].send({0x00, 0x03, 0x00, 0x20, 0x00});
  clock_advance(10 * 60 * 1000);
  EXPECT_EQ(api_wait(0), 0);
  EXPECT_EQ(instance->universe_state, kUniverseConnected);
  EXPECT_EQ(instance->last_universe_message_id, 0);
  EXPECT_TRUE(peers_[0].quiet());  // no keep-alive either
}

TEST_F(LibraryTest, AFailedCreateLeavesTheListAsItWas) {
  void* first = create();
  void* instance = first;
  EXPECT_EQ(api_create("127.0.0.1", ntohs(loopback::closed_port()), &instance),
            RC_UNABLE_TO_CONNECT);
  EXPECT_EQ(instance, first);
  EXPECT_EQ(api_create("127.0.0.1", 70000, &instance), RC_UNABLE_TO_CONNECT);
  EXPECT_EQ(api_instance(), first);
  EXPECT_EQ(library.instance_count, 1);
}

TEST_F(LibraryTest, TermDestroysEveryInstanceAndKeepsTheHandlers) {
  create();
  create();
  create();
  auto handler = +[] {};
  ASSERT_EQ(api_event_set(EVENT_CHAT, handler), 0);
  api_term();
  EXPECT_EQ(library.instance_count, 0);
  EXPECT_EQ(library.instances, nullptr);
  for (loopback::Peer& peer : peers_) EXPECT_TRUE(peer.closed());
  EXPECT_EQ(api_create("127.0.0.1", port_of(listener_), nullptr), RC_NOT_INITIALIZED);
  ASSERT_EQ(api_init(ORBILO_SDK_BUILD), 0);
  EXPECT_EQ(library.events[EVENT_CHAT], handler);
  EXPECT_EQ(api_event_set(EVENT_CHAT, nullptr), 0);
}

TEST_F(LibraryTest, HandlerNumbersOutOfRangeAnswer448) {
  EXPECT_EQ(api_event_set(-1, nullptr), RC_INVALID_ATTRIBUTE);
  EXPECT_EQ(api_event_set(29, nullptr), RC_INVALID_ATTRIBUTE);
  EXPECT_EQ(api_event_set(28, nullptr), 0);
  EXPECT_EQ(api_callback_set(32, nullptr), RC_INVALID_ATTRIBUTE);
  EXPECT_EQ(api_callback_set(31, nullptr), 0);
}

// The mask says which reports the client wants.
TEST_F(LibraryTest, TheEventMaskFollowsTheInstalledEvents) {
  auto handler = +[] {};
  struct Case {
    std::vector<int> events;
    std::uint32_t mask;
  } cases[] = {
      {{EVENT_AVATAR_CHANGE}, 3},
      {{EVENT_CHAT}, 5},
      {{EVENT_AVATAR_CHANGE, EVENT_CHAT}, 7},
      {{EVENT_AVATAR_ADD}, 1},
      {{EVENT_OBJECT_DELETE}, 8},
      {{EVENT_WORLD_19, EVENT_WORLD_20, EVENT_WORLD_21}, 1 | 16 | 32 | 64},
      {{EVENT_WORLD_43, EVENT_WORLD_44}, 128 | 256},
      {{EVENT_CELL_BEGIN, EVENT_UNIVERSE_ATTRIBUTES}, 0},
      {{}, 0},
  };
  for (const Case& each : cases) {
    for (int event = 0; event < kEventCount; ++event) api_event_set(event, nullptr);
    for (int event : each.events) api_event_set(event, handler);
    event_mask_update();
    EXPECT_EQ(library.event_mask, each.mask) << each.events.size();
  }
}

}  // namespace
