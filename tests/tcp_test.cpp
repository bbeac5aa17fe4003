#include "net/tcp.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "net/clock.h"
#include "sdk/sdk.h"
#include "support/loopback.h"
#include "support/socket_pair.h"
#include "support/steady_clock.h"

using namespace orbilo;

namespace {

using loopback::Bytes;

// A library connection and the loopback peer at its other end.
class TcpTest : public testing::Test {
 protected:
  steady_clock::Hold clock_;
  void SetUp() override {
    clock_init();
    ASSERT_EQ(net_startup(), 0);
    connect_pair(listener_, &connection_, &peer_);
  }
  void TearDown() override {
    tcp_destroy(connection_);
    EXPECT_EQ(net_cleanup(), 0);
  }
  static void connect_pair(loopback::Listener& listener, TcpConnection** connection,
                           loopback::Peer* peer) {
    ASSERT_TRUE(listener.ok());
    ASSERT_EQ(tcp_create(loopback::address(), listener.port(), connection), 0);
    *peer = listener.accept();
    ASSERT_TRUE(peer->valid());
  }
  // Receives until count bytes came, waiting with tcp_wait in between.
  Bytes receive_all(std::size_t count) {
    Bytes bytes;
    while (bytes.size() < count && tcp_wait(1, &connection_, 2000) == connection_) {
      std::uint8_t chunk[4096];
      int got = 0;
      if (tcp_receive(connection_, chunk, sizeof(chunk), &got) != 0) break;
      bytes.insert(bytes.end(), chunk, chunk + got);
    }
    return bytes;
  }

  loopback::Listener listener_{16, 4096};
  TcpConnection* connection_ = nullptr;
  loopback::Peer peer_;
};

TEST(TcpLookup, DottedAddressesResolverNamesAndUnknownNames) {
  std::uint32_t address = 0;
  EXPECT_EQ(host_lookup("127.0.0.1", &address), 0);
  EXPECT_EQ(address, htonl(0x7f000001));
  address = 0;
  EXPECT_EQ(host_lookup("localhost", &address), 0);  // from the hosts file
  EXPECT_EQ(address, htonl(0x7f000001));
  // A label longer than 63 characters is refused before any query is made.
  EXPECT_EQ(host_lookup((std::string(64, 'a') + ".invalid").c_str(), &address), RC_HOST_NOT_FOUND);
  EXPECT_EQ(host_lookup(nullptr, &address), RC_HOST_NOT_FOUND);
  EXPECT_EQ(host_lookup("127.0.0.1", nullptr), RC_NULL_POINTER);
}

TEST(TcpCreate, RefusedAndUnansweredConnectsGive429) {
  TcpConnection* connection = nullptr;
  EXPECT_EQ(tcp_create(loopback::address(), loopback::closed_port(), &connection),
            RC_UNABLE_TO_CONNECT);
  EXPECT_EQ(connection, nullptr);

  // A listener that never accepts and whose accept queue is full drops the
  // handshake, so the connect never completes: the deadline ends it.
  loopback::Listener full(0);
  std::vector<loopback::Peer> queued;
  for (int k = 0; k < 4; ++k) queued.push_back(loopback::connect_started(full.port()));
  tcp_set_connect_deadline(300);
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(tcp_create(loopback::address(), full.port(), &connection), RC_UNABLE_TO_CONNECT);
  auto took = std::chrono::steady_clock::now() - start;
  tcp_set_connect_deadline(0);  // back to the default
  EXPECT_GE(took, std::chrono::milliseconds(250));
  EXPECT_LT(took, std::chrono::seconds(5));
  EXPECT_EQ(connection, nullptr);
}

TEST(TcpCreate, NullArgumentsAreRefused) {
  int count = -1;
  std::uint8_t byte = 0;
  EXPECT_EQ(tcp_create(loopback::address(), 1, nullptr), RC_NULL_POINTER);
  EXPECT_EQ(tcp_send(nullptr, "x", 1, &count), RC_NULL_POINTER);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(tcp_receive(nullptr, &byte, 1, &count), RC_NULL_POINTER);
  EXPECT_EQ(tcp_destroy(nullptr), 0);
  EXPECT_EQ(tcp_wait(0, nullptr, 0), nullptr);  // nothing to watch: at once
}

TEST(TcpAttach, WrapsAConnectedSocketAndOwnsIt) {
  SocketPair pair;
  TcpConnection* connection = nullptr;
  ASSERT_EQ(tcp_attach(pair.ours, &connection), 0);
  EXPECT_EQ(tcp_socket(connection), pair.ours);
  EXPECT_NE(fcntl(pair.ours, F_GETFL) & O_NONBLOCK, 0);  // non-blocking from now on
  int count = -1;
  char byte = 0;
  EXPECT_EQ(tcp_receive(connection, &byte, 1, &count), 0);
  EXPECT_EQ(count, 0);
  int sent = 0;
  EXPECT_EQ(tcp_send(connection, "q", 1, &sent), 0);
  EXPECT_EQ(read(pair.peer, &byte, 1), 1);
  EXPECT_EQ(byte, 'q');
  EXPECT_EQ(tcp_destroy(connection), 0);  // closes the socket
  EXPECT_EQ(read(pair.peer, &byte, 1), 0);
  EXPECT_EQ(tcp_attach(-1, &connection), RC_NO_SOCKET);
  EXPECT_EQ(tcp_attach(0, nullptr), RC_NULL_POINTER);
  EXPECT_EQ(tcp_socket(nullptr), -1);
}

TEST_F(TcpTest, BytesTravelExactlyBothWays) {
  int sent = -1;
  EXPECT_EQ(tcp_send(connection_, "hello", 5, &sent), 0);
  EXPECT_EQ(sent, 5);
  EXPECT_EQ(peer_.receive(5), (Bytes{'h', 'e', 'l', 'l', 'o'}));

  int count = -1;
  std::uint8_t buffer[8192];
  EXPECT_EQ(tcp_receive(connection_, buffer, sizeof(buffer), &count), 0);
  EXPECT_EQ(count, 0);  // nothing there yet

  Bytes block(10000);
  for (std::size_t k = 0; k < block.size(); ++k) block[k] = static_cast<std::uint8_t>(k * 7);
  ASSERT_TRUE(peer_.send(block));
  ASSERT_EQ(tcp_wait(1, &connection_, 2000), connection_);
  EXPECT_EQ(tcp_receive(connection_, buffer, sizeof(buffer), &count), 0);
  EXPECT_GT(count, 0);
  EXPECT_LE(count, 4096);  // never more than 4096 at once
  Bytes got(buffer, buffer + count);
  Bytes rest = receive_all(block.size() - got.size());
  got.insert(got.end(), rest.begin(), rest.end());
  EXPECT_EQ(got, block);
}

TEST_F(TcpTest, PeerCloseAndResetAreReported) {
  peer_.close();
  ASSERT_EQ(tcp_wait(1, &connection_, 2000), connection_);
  std::uint8_t byte;
  int count = -1;
  EXPECT_EQ(tcp_receive(connection_, &byte, 1, &count), RC_RECEIVE_FAILED);

  // A send to a reset peer fails with the socket layer's code; the program
  // is not killed by a signal.
  TcpConnection* second = nullptr;
  loopback::Peer other;
  connect_pair(listener_, &second, &other);
  other.reset();
  ASSERT_EQ(tcp_wait(1, &second, 2000), second);
  EXPECT_EQ(tcp_receive(second, &byte, 1, &count), RC_SOCKET_ERROR_BASE + ECONNRESET);
  int sent = 0;
  int rc = tcp_send(second, "x", 1, &sent);
  EXPECT_TRUE(rc == RC_SOCKET_ERROR_BASE + EPIPE || rc == RC_SOCKET_ERROR_BASE + ECONNRESET) << rc;
  tcp_destroy(second);
}

TEST_F(TcpTest, FullSocketTakesPartOfABlockThenTimesOutAfter20Seconds) {
  Bytes block(8 << 20);
  for (std::size_t k = 0; k < block.size(); ++k) block[k] = static_cast<std::uint8_t>(k % 251);
  int sent = 0;
  ASSERT_EQ(tcp_send(connection_, block.data(), static_cast<int>(block.size()), &sent), RC_NOT_YET);
  ASSERT_GT(sent, 0);
  ASSERT_LT(sent, static_cast<int>(block.size()));
  std::size_t offered = static_cast<std::size_t>(sent);
  // Offer the tail until the socket takes nothing at all.
  int rc = RC_NOT_YET;
  do {
    rc = tcp_send(connection_, block.data() + offered, static_cast<int>(block.size() - offered),
                  &sent);
    offered += static_cast<std::size_t>(sent);
  } while (rc == RC_NOT_YET && sent > 0);
  ASSERT_EQ(rc, RC_NOT_YET);
  // The clock stands still but for the test's moves: a second short of 20 s.
  clock_advance(19000);
  EXPECT_EQ(tcp_send(connection_, block.data() + offered, 1, &sent), RC_NOT_YET);
  clock_advance(1001);
  EXPECT_EQ(tcp_send(connection_, block.data() + offered, 1, &sent), RC_TIMEOUT);
  EXPECT_EQ(sent, 0);
  // What the socket took arrives intact and in order.
  Bytes arrived = peer_.drain(200, offered);
  ASSERT_EQ(arrived.size(), offered);
  EXPECT_TRUE(std::equal(arrived.begin(), arrived.end(), block.begin()));
}

TEST_F(TcpTest, WaitReturnsTheFirstReadableInArrayOrderOverAnyCount) {
  EXPECT_EQ(tcp_wait(1, &connection_, 20), nullptr);  // time-out
  TcpConnection* second = nullptr;
  loopback::Peer other;
  connect_pair(listener_, &second, &other);
  ASSERT_TRUE(peer_.send({1}));
  ASSERT_TRUE(other.send({2}));
  TcpConnection* both[] = {nullptr, second, connection_};
  // Let both bytes arrive, then the array order decides.
  ASSERT_NE(tcp_wait(1, &connection_, 2000), nullptr);
  ASSERT_NE(tcp_wait(1, &second, 2000), nullptr);
  EXPECT_EQ(tcp_wait(3, both, 0), second);
  std::swap(both[1], both[2]);
  EXPECT_EQ(tcp_wait(3, both, 0), connection_);

  // Beyond 64 connections: only the last one is readable.
  std::vector<TcpConnection*> many(70, nullptr);
  std::vector<loopback::Peer> peers(70);
  for (int k = 0; k < 70; ++k) connect_pair(listener_, &many[k], &peers[k]);
  ASSERT_TRUE(peers[69].send({3}));
  EXPECT_EQ(tcp_wait(70, many.data(), 2000), many[69]);
  for (TcpConnection* connection : many) tcp_destroy(connection);
  tcp_destroy(second);
}

}  // namespace
