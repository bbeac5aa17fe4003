// A program's own event loop: its pointer on each instance, the descriptor
// that is readable whenever the pump has work, and the time until the pump's
// next timed work, with the library clock held still and moved by the test.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>

#include <chrono>
#include <thread>

#include "sdk/sdk.h"
#include "sdk/stream.h"
#include "support/messages.h"
#include "support/session.h"
#include "support/steady_clock.h"

using namespace orbilo;

namespace {

using session::calls;

// Whether the descriptor is readable within wait_ms.
bool readable(int descriptor, int wait_ms) {
  pollfd entry{descriptor, POLLIN, 0};
  return poll(&entry, 1, wait_ms) == 1 && (entry.revents & POLLIN) != 0;
}

class EventLoop : public session::SessionTest {
 protected:
  void SetUp() override {
    SessionTest::SetUp();
    clock_advance(1000);  // a receive at 0 would read as "nothing yet"
  }
  // Logs in, enters and lets the pump finish what the entry left.
  void enter_world() {
    create();
    login();
    enter();
    api_wait(0);
  }
  steady_clock::Hold clock_;
};

TEST_F(EventLoop, EachInstanceKeepsItsOwnPointer) {
  int first = 1, second = 2;
  EXPECT_EQ(api_user_data_set(&first), RC_NO_INSTANCE);
  create();
  void* one = api_instance();
  ASSERT_EQ(api_user_data_set(&first), 0);
  void* two = nullptr;
  ASSERT_EQ(api_create("127.0.0.1", universe_.host_port(), &two), 0);
  EXPECT_EQ(api_user_data(), nullptr);  // a new instance starts without one
  ASSERT_EQ(api_user_data_set(&second), 0);
  ASSERT_EQ(api_instance_set(one), 0);
  EXPECT_EQ(api_user_data(), &first);
  ASSERT_EQ(api_instance_set(two), 0);
  EXPECT_EQ(api_user_data(), &second);

  // Destroyed, the instances take their pointers with them.
  ASSERT_EQ(api_destroy(), 0);
  EXPECT_EQ(api_user_data(), &first);
  ASSERT_EQ(api_destroy(), 0);
  EXPECT_EQ(api_user_data(), nullptr);
  EXPECT_EQ(api_user_data_set(&second), RC_NO_INSTANCE);
  api_term();
  EXPECT_EQ(api_user_data_set(&second), RC_NOT_INITIALIZED);
  EXPECT_EQ(api_user_data(), nullptr);
}

TEST_F(EventLoop, TheDescriptorIsReadableWhileThePumpHasWork) {
  enter_world();
  int descriptor = api_descriptor();
  ASSERT_GE(descriptor, 0);
  EXPECT_FALSE(readable(descriptor, 0));
  session::install_event(EVENT_AVATAR_CHANGE);
  api_wait(0);
  world_link_.receive_id(14);  // the new event mask
  ASSERT_TRUE(world_link_.send(messages::avatar_change({.session = 5, .x = 10})));
  ASSERT_TRUE(readable(descriptor, 5000));
  EXPECT_EQ(api_descriptor(), descriptor);  // one descriptor for the whole run
  ASSERT_EQ(api_wait(0), 0);
  EXPECT_EQ(calls.count_event(EVENT_AVATAR_CHANGE), 1);
  EXPECT_FALSE(readable(descriptor, 0));

  // Ended, the library closes it and has none.
  api_term();
  EXPECT_EQ(api_descriptor(), -1);
  EXPECT_EQ(fcntl(descriptor, F_GETFD), -1);
}

// Messages that one receive brought ahead wait in the library, not in the
// socket: the descriptor and the next time-out still say there is work.
TEST_F(EventLoop, MessagesReceivedAheadKeepTheDescriptorReadable) {
  enter_world();
  int descriptor = api_descriptor();
  session::install_event(EVENT_AVATAR_CHANGE);
  api_wait(0);  // the new event mask goes out
  int socket = stream_socket(instance()->world_stream);
  int sent = 0;
  for (int x : {10, 20, 30}) {
    messages::Bytes change = messages::avatar_change({.session = 5, .x = x});
    sent += static_cast<int>(change.size()) + 2;
    ASSERT_TRUE(world_link_.send(change));
  }
  int arrived = 0;  // all three in the socket (the peer may hold small writes back a while)
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (ioctl(socket, FIONREAD, &arrived) == 0 && arrived < sent &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ASSERT_EQ(arrived, sent);
  ASSERT_EQ(pump_pass(0), 1);  // one receive takes all three, one is handled
  EXPECT_EQ(calls.count_event(EVENT_AVATAR_CHANGE), 1);
  EXPECT_FALSE(readable(socket, 0));
  EXPECT_TRUE(readable(descriptor, 0));
  EXPECT_EQ(api_next_timeout(), 0);
  ASSERT_EQ(api_wait(0), 0);
  EXPECT_EQ(calls.count_event(EVENT_AVATAR_CHANGE), 3);
  EXPECT_EQ(api_int(ATTR_AVATAR_X), 30);
  EXPECT_FALSE(readable(descriptor, 0));
  EXPECT_GT(api_next_timeout(), 0);
}

TEST_F(EventLoop, TheNextTimeoutIsTheFirstKeepAliveOrTimeOut) {
  EXPECT_EQ(api_next_timeout(), -1);  // no instance
  enter_world();
  // The world was just spoken to and heard from: its keep-alive after 45 s
  // comes first, before the universe's after 60 s and the idle time-outs.
  EXPECT_EQ(api_next_timeout(), 45001);
  clock_advance(45000);
  EXPECT_EQ(api_next_timeout(), 1);
  clock_advance(1);
  EXPECT_EQ(api_next_timeout(), 0);
  ASSERT_EQ(api_wait(0), 0);
  auto keep_alive = world_link_.receive_id(6);
  ASSERT_TRUE(keep_alive.has_value());
  EXPECT_EQ(keep_alive->bytes(), messages::keep_alive_to_world());
  // The universe has sent nothing since the login: its keep-alive is next.
  EXPECT_EQ(api_next_timeout(), 60001 - 45001);

  // A handler installed changes the event mask: work now.
  session::install_event(EVENT_CHAT);
  EXPECT_EQ(api_next_timeout(), 0);
}

// A program that watches the descriptor but calls api_wait late loses
// nothing: the silent world is found by its idle time-out at the next call.
TEST_F(EventLoop, APumpCalledLateStillFindsTheTimeOut) {
  enter_world();
  session::install_event(EVENT_WORLD_DISCONNECT);
  api_wait(0);
  clock_advance(90001);
  EXPECT_EQ(api_next_timeout(), 0);
  ASSERT_EQ(api_wait(0), 0);
  EXPECT_EQ(calls.count_event(EVENT_WORLD_DISCONNECT), 1);
  EXPECT_EQ(api_int(ATTR_DISCONNECT_REASON), RC_CONNECTION_LOST);
}

}  // namespace
