#include "net/tunnel.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>

#include "net/memory.h"
#include "net/readiness.h"
#include "sdk/sdk.h"
#include "support/loopback.h"
#include "support/socket_pair.h"

using namespace orbilo;

namespace {

// Waits (bounded) until tunnel_wait reports want.
bool wait_reports(TunnelChannel* want) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (std::chrono::steady_clock::now() < deadline) {
    if (tunnel_wait(10) == want) return true;
  }
  return false;
}

TEST(Tunnel, WaitPrefersTheNewestReadableChannel) {
  EXPECT_EQ(tunnel_wait(0), nullptr);  // no channel: at once, even without a limit
  loopback::Listener listener;
  auto [first, first_peer] = listener.open(tunnel_connect);
  auto [second, second_peer] = listener.open(tunnel_connect);
  ASSERT_TRUE(first_peer.valid() && second_peer.valid());
  EXPECT_EQ(tunnel_count(), 2);
  EXPECT_EQ(tunnel_wait(20), nullptr);

  ASSERT_TRUE(first_peer.send({0xAB}));
  EXPECT_EQ(tunnel_wait(2000), first);
  ASSERT_TRUE(second_peer.send({0xCD}));
  EXPECT_TRUE(wait_reports(second));  // both readable: the newest wins

  std::uint8_t byte = 0;
  int count = 0;
  EXPECT_EQ(tunnel_receive(first, &byte, 1, &count), 0);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(byte, 0xAB);
  int sent = 0;
  EXPECT_EQ(tunnel_send(second, "\x01\x02", 2, &sent), 0);
  EXPECT_EQ(second_peer.receive(2), (loopback::Bytes{1, 2}));

  tunnel_destroy(second);
  EXPECT_EQ(tunnel_count(), 1);
  first_peer.close();
  EXPECT_TRUE(wait_reports(first));                         // the peer's close reads as readable
  tunnel_destroy(second);                                   // already gone: nothing changes
  tunnel_destroy(reinterpret_cast<TunnelChannel*>(&byte));  // never made
  tunnel_destroy(nullptr);
  EXPECT_EQ(tunnel_count(), 1);
  tunnel_destroy(first);
  EXPECT_EQ(tunnel_count(), 0);
}

TEST(Tunnel, FailedConnectsKeepNothing) {
  TunnelChannel* channel = nullptr;
  long held = mem_blocks_held();
  EXPECT_EQ(tunnel_connect(loopback::address(), loopback::closed_port(), &channel),
            RC_UNABLE_TO_CONNECT);
  loopback::Listener listener;
  mem_fail_at(1);  // the channel's record
  EXPECT_EQ(tunnel_connect(loopback::address(), listener.port(), &channel), RC_OUT_OF_MEMORY);
  mem_fail_at(2);  // the connection's record
  EXPECT_EQ(tunnel_connect(loopback::address(), listener.port(), &channel), RC_OUT_OF_MEMORY);
  mem_fail_at(0);
  EXPECT_EQ(channel, nullptr);
  EXPECT_EQ(tunnel_count(), 0);
  EXPECT_EQ(mem_blocks_held(), held);
  EXPECT_EQ(tunnel_send(nullptr, "x", 1, nullptr), RC_NULL_POINTER);
  EXPECT_EQ(tunnel_connect(loopback::address(), listener.port(), nullptr), RC_NULL_POINTER);
}

TEST(Tunnel, AttachedChannelsStayOutOfTheList) {
  SocketPair pair;
  TunnelChannel* channel = nullptr;
  ASSERT_EQ(tunnel_attach(pair.ours, &channel), 0);
  EXPECT_EQ(tunnel_socket(channel), pair.ours);
  EXPECT_EQ(tunnel_count(), 0);
  ASSERT_EQ(write(pair.peer, "z", 1), 1);
  EXPECT_EQ(tunnel_wait(20), nullptr);  // never watched by the library's wait
  char byte = 0;
  int count = 0;
  EXPECT_EQ(tunnel_receive(channel, &byte, 1, &count), 0);
  EXPECT_EQ(byte, 'z');
  tunnel_destroy(channel);  // not listed: left alone
  int sent = 0;
  EXPECT_EQ(tunnel_send(channel, "y", 1, &sent), 0);
  tunnel_destroy_attached(channel);  // closes the socket
  EXPECT_EQ(read(pair.peer, &byte, 1), 1);
  EXPECT_EQ(read(pair.peer, &byte, 1), 0);  // end of stream

  EXPECT_EQ(tunnel_attach(-1, &channel), RC_NO_SOCKET);
  EXPECT_EQ(tunnel_attach(0, nullptr), RC_NULL_POINTER);
  EXPECT_EQ(tunnel_socket(nullptr), -1);
  tunnel_destroy_attached(nullptr);
}

}  // namespace

namespace {

// A sweep marks the channels with nothing to read; their receives answer
// nothing without the socket until the sweep ends or a wait reports them.
// The same with every channel in the readiness set (the library's own way)
// and without it (each socket polled).
class TunnelSweep : public testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    if (GetParam()) {
      ASSERT_GE(readiness_open(), 0);
    }
  }
  void TearDown() override { readiness_close(); }
};

TEST_P(TunnelSweep, PassesOverQuietChannels) {
  loopback::Listener listener;
  auto [quiet, quiet_peer] = listener.open(tunnel_connect);
  auto [talking, talking_peer] = listener.open(tunnel_connect);
  ASSERT_TRUE(quiet_peer.valid() && talking_peer.valid());
  ASSERT_TRUE(talking_peer.send({7}));
  ASSERT_TRUE(wait_reports(talking));

  EXPECT_EQ(tunnel_sweep(), 1);
  ASSERT_TRUE(quiet_peer.send({9}));  // arrives after the sweep looked
  std::uint8_t byte = 0;
  int count = -1;
  EXPECT_EQ(tunnel_receive(talking, &byte, 1, &count), 0);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(tunnel_receive(quiet, &byte, 1, &count), 0);
  EXPECT_EQ(count, 0);  // passed over until the sweep ends
  // A channel opened while the sweep is open was never looked at: not quiet.
  auto [late, late_peer] = listener.open(tunnel_connect);
  ASSERT_TRUE(late_peer.send({5}) && late_peer.valid());
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  do {
    EXPECT_EQ(tunnel_receive(late, &byte, 1, &count), 0);
  } while (count == 0 && std::chrono::steady_clock::now() < deadline);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(byte, 5);
  tunnel_sweep_end();
  ASSERT_TRUE(wait_reports(quiet));
  EXPECT_EQ(tunnel_receive(quiet, &byte, 1, &count), 0);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(byte, 9);

  // A closed peer is never quiet: its receive reports the close.
  quiet_peer.close();
  ASSERT_TRUE(wait_reports(quiet));
  tunnel_sweep();
  EXPECT_EQ(tunnel_receive(quiet, &byte, 1, &count), RC_RECEIVE_FAILED);
  tunnel_sweep_end();
  tunnel_destroy(late);
  tunnel_destroy(quiet);
  tunnel_destroy(talking);
}

INSTANTIATE_TEST_SUITE_P(Ways, TunnelSweep, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& info) {
                           return info.param ? "ReadinessSet" : "Polled";
                         });

}  // namespace
