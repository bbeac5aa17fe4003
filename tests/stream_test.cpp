#include "sdk/stream.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <thread>

#include "net/clock.h"
#include "net/memory.h"
#include "support/loopback.h"
#include "support/scripted_peer.h"
#include "support/steady_clock.h"

using namespace orbilo;

namespace {

using loopback::Bytes;

// The tests' own RC4, so that the wire checks do not lean on the library's
// cipher, keyed with the tests' own copy of the session key.
using Rc4 = scripted::Rc4;

// stream_read_message until it stops answering "not yet", waiting on the
// stream's socket in between (at most seconds).
int read_within(Stream* stream, int seconds = 2) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  int rc = stream_read_message(stream);
  while (rc == RC_NOT_YET && std::chrono::steady_clock::now() < deadline) {
    pollfd entry{stream_socket(stream), POLLIN, 0};
    poll(&entry, 1, 20);
    rc = stream_read_message(stream);
  }
  return rc;
}

// A stream to a loopback peer; the fixture checks that nothing leaks.
class StreamTest : public testing::Test {
 protected:
  steady_clock::Hold clock_;
  void SetUp() override {
    clock_init();
    held_ = mem_blocks_held();
    ASSERT_EQ(stream_create(loopback::address(), listener_.port(), &stream_), 0);
    peer_ = listener_.accept();
    ASSERT_TRUE(peer_.valid());
  }
  void TearDown() override {
    stream_destroy(stream_);
    EXPECT_EQ(mem_blocks_held(), held_);
  }
  int read_message(int seconds = 2) { return read_within(stream_, seconds); }
  // Bytes waiting in the library's socket, not yet asked for by the stream.
  int unread_in_socket() {
    int count = -1;
    ioctl(stream_socket(stream_), FIONREAD, &count);
    return count;
  }

  loopback::Listener listener_{16, 4096};
  Stream* stream_ = nullptr;
  loopback::Peer peer_;
  long held_ = 0;
};

TEST_F(StreamTest, FieldsGoOutByteExact) {
  const std::uint16_t words[] = {0x0102, 0xA0B0};
  const std::uint8_t raw[] = {9, 8, 7};
  struct Case {
    const char* name;
    std::function<int(Stream*)> send;
    Bytes wire;
  };
  const Case cases[] = {
      {"string",
       [](Stream* s) { return stream_send(s, FIELD_BEGIN, 24, FIELD_STRING, "abc", FIELD_END); },
       {0x00, 0x05, 0x18, 0x03, 'a', 'b', 'c'}},
      {"long, raw4, word_le",
       [](Stream* s) {
         return stream_send(s, FIELD_BEGIN, 1, FIELD_LONG, 0x01020304, FIELD_RAW4, 0x01020304u,
                            FIELD_WORD_LE, 0x0102, FIELD_END);
       },
       {0x00, 0x0B, 0x01, 0x01, 0x02, 0x03, 0x04, 0x04, 0x03, 0x02, 0x01, 0x02, 0x01}},
      {"byte, word, words, bytes",
       [&](Stream* s) {
         return stream_send(s, FIELD_BEGIN, 2, FIELD_BYTE, 0x1FF, FIELD_WORD, 0xBEEF, FIELD_WORDS,
                            2, words, FIELD_BYTES, 3, raw, FIELD_END);
       },
       {0x00, 0x0B, 0x02, 0xFF, 0xBE, 0xEF, 0x01, 0x02, 0xA0, 0xB0, 9, 8, 7}},
      {"byte string, long string, data, null texts",
       [&](Stream* s) {
         return stream_send(s, FIELD_BEGIN, 3, FIELD_BYTE_STRING, 5, "hi", FIELD_LONG_STRING, "xy",
                            FIELD_DATA, 3, raw, FIELD_STRING, nullptr, FIELD_LONG_STRING, nullptr,
                            FIELD_REMAINING, FIELD_SKIP, FIELD_END);
       },
       {0x00, 0x10, 0x03, 5, 2, 'h', 'i', 0, 2, 'x', 'y', 3, 9, 8, 7, 0, 0, 0}},
      {"a message made across two lists",
       [](Stream* s) {
         EXPECT_EQ(stream_send(s, FIELD_BEGIN, 9, FIELD_BYTE, 1, FIELD_STATUS), 0);  // not yet
         return stream_send(s, FIELD_BYTE, 2, FIELD_END);
       },
       {0, 3, 9, 1, 2}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.send(stream_), 0);
    EXPECT_EQ(peer_.receive(c.wire.size()), c.wire);
  }
  EXPECT_TRUE(peer_.quiet());
  EXPECT_EQ(stream_send(nullptr, FIELD_BEGIN, 1, FIELD_END), RC_NO_STREAM);
}

// Each refused field fails the whole message, which never reaches the peer.
TEST(StreamRefusals, AFailedMessageIsTakenBackOut) {
  const std::string long_text(256, 'x');
  const std::string longer_text(1025, 'y');
  static std::uint8_t big[32766];
  struct Case {
    const char* name;
    std::function<int(Stream*)> send;
    int rc;
  };
  const Case cases[] = {
      {"string of 256",
       [&](Stream* s) {
         return stream_send(s, FIELD_BEGIN, 1, FIELD_STRING, long_text.c_str(), FIELD_END);
       },
       RC_STRING_TOO_LONG},
      {"byte string of 256",
       [&](Stream* s) {
         return stream_send(s, FIELD_BEGIN, 1, FIELD_BYTE_STRING, 1, long_text.c_str(), FIELD_END);
       },
       RC_STRING_TOO_LONG},
      {"long string of 1025",
       [&](Stream* s) {
         return stream_send(s, FIELD_BEGIN, 1, FIELD_LONG_STRING, longer_text.c_str(), FIELD_END);
       },
       RC_STRING_TOO_LONG},
      {"data of 256",
       [&](Stream* s) { return stream_send(s, FIELD_BEGIN, 1, FIELD_DATA, 256, big, FIELD_END); },
       RC_STRING_TOO_LONG},
      {"null bytes",
       [&](Stream* s) {
         return stream_send(s, FIELD_BEGIN, 1, FIELD_BYTES, 4, nullptr, FIELD_END);
       },
       RC_NULL_POINTER},
      {"out buffer full",
       [&](Stream* s) {
         return stream_send(s, FIELD_BEGIN, 1, FIELD_BYTES, 32766, big, FIELD_END);
       },
       RC_OUT_BUFFER_FULL},
      {"failed at status",
       [&](Stream* s) {
         return stream_send(s, FIELD_BEGIN, 1, FIELD_STRING, long_text.c_str(), FIELD_STATUS);
       },
       RC_STRING_TOO_LONG},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Stream* stream = nullptr;
    ASSERT_EQ(stream_create_unconnected(&stream), 0);
    ASSERT_EQ(stream_send(stream, FIELD_BEGIN, 5, FIELD_END), 0);  // stays: no connection
    EXPECT_EQ(c.send(stream), c.rc);
    EXPECT_EQ(stream_status(stream), c.rc);  // sticky
    EXPECT_EQ(stream_send(stream, FIELD_BEGIN, 6, FIELD_END), c.rc);
    EXPECT_EQ(stream_pending_send(stream), 3);  // only the message before it
    stream_destroy_attached(stream);
  }
  // The largest message the send buffer holds is built.
  Stream* stream = nullptr;
  ASSERT_EQ(stream_create_unconnected(&stream), 0);
  EXPECT_EQ(stream_send(stream, FIELD_BEGIN, 1, FIELD_BYTES, 32765, big, FIELD_END), 0);
  EXPECT_EQ(stream_pending_send(stream), 32768);
  stream_destroy_attached(stream);
}

// The fixed-width fields and FIELD_BEGIN near the send buffer's end: a field
// that just fits is written, one byte more fails the message with 446 and
// takes it back out, and a message still open from a list that ended with
// FIELD_STATUS is dropped by the next FIELD_BEGIN.
TEST(StreamBuffers, FieldsAtTheSendBufferEnd) {
  static const std::uint8_t filler[32768] = {};
  struct Case {
    const char* name;
    int width;
    bool begins;  // the list starts the message itself
    std::function<int(Stream*)> send;
  };
  const Case cases[] = {
      {"begin", 3, true, [](Stream* s) { return stream_send(s, FIELD_BEGIN, 9, FIELD_STATUS); }},
      {"byte", 1, false, [](Stream* s) { return stream_send(s, FIELD_BYTE, 1, FIELD_END); }},
      {"word", 2, false, [](Stream* s) { return stream_send(s, FIELD_WORD, 1, FIELD_END); }},
      {"long", 4, false, [](Stream* s) { return stream_send(s, FIELD_LONG, 1, FIELD_END); }},
      {"raw4", 4, false, [](Stream* s) { return stream_send(s, FIELD_RAW4, 1u, FIELD_END); }},
      {"word_le", 2, false, [](Stream* s) { return stream_send(s, FIELD_WORD_LE, 1, FIELD_END); }},
  };
  for (const Case& c : cases) {
    for (int room : {c.width, c.width - 1}) {
      SCOPED_TRACE(std::string(c.name) + " with room for " + std::to_string(room));
      Stream* stream = nullptr;
      ASSERT_EQ(stream_create_unconnected(&stream), 0);
      // One finished message, then (except for FIELD_BEGIN) an open one, up
      // to room bytes before the end.
      const int open = c.begins ? 0 : 3;
      const int first = kStreamBufferSize - room - open - 3;
      ASSERT_EQ(stream_send(stream, FIELD_BEGIN, 1, FIELD_BYTES, first, filler, FIELD_END), 0);
      if (open != 0) {
        ASSERT_EQ(stream_send(stream, FIELD_BEGIN, 2, FIELD_STATUS), 0);
      }
      const int rc = room == c.width ? 0 : RC_OUT_BUFFER_FULL;
      EXPECT_EQ(c.send(stream), rc);
      EXPECT_EQ(stream_status(stream), rc);
      EXPECT_EQ(stream_pending_send(stream), rc == 0 ? kStreamBufferSize : first + 3);
      stream_destroy_attached(stream);
    }
  }
  Stream* stream = nullptr;
  ASSERT_EQ(stream_create_unconnected(&stream), 0);
  ASSERT_EQ(stream_send(stream, FIELD_BEGIN, 9, FIELD_LONG, 1, FIELD_STATUS), 0);
  ASSERT_EQ(stream_send(stream, FIELD_BEGIN, 8, FIELD_BYTE, 2, FIELD_END), 0);
  EXPECT_EQ(stream_pending_send(stream), 4);  // the open message is gone
  stream_destroy_attached(stream);
}

// Each fixed-width field read where fewer bytes than its width are left:
// the bytes that are there, then zeros, and 421 for it and every later field.
TEST(StreamBuffers, FixedWidthFieldsAtTheMessageEnd) {
  std::uint8_t byte = 7, raw[4] = {7, 7, 7, 7};
  std::uint16_t word = 7;
  std::uint32_t value = 7, raw_value = 7;
  std::int32_t signed_value = 7;
  struct Case {
    const char* name;
    int length;  // of the message, whose bytes are A1 B2 C3 D4
    std::function<int(Stream*)> receive;
    std::function<void()> check;
  };
  const Case cases[] = {
      {"long", 3, [&](Stream* s) { return stream_receive(s, FIELD_LONG, &value, FIELD_END); },
       [&] { EXPECT_EQ(value, 0xA1B2C300u); }},
      {"signed long", 3,
       [&](Stream* s) { return stream_receive(s, FIELD_LONG, &signed_value, FIELD_END); },
       [&] { EXPECT_EQ(signed_value, static_cast<std::int32_t>(0xA1B2C300u)); }},
      {"raw4 bytes", 3, [&](Stream* s) { return stream_receive(s, FIELD_RAW4, raw, FIELD_END); },
       [&] {
         EXPECT_EQ(Bytes(raw, raw + 4), (Bytes{0xA1, 0xB2, 0xC3, 0}));
       }},
      {"raw4 value", 4,
       [&](Stream* s) {
         return stream_receive(s, FIELD_BYTE, &byte, FIELD_RAW4, &raw_value, FIELD_END);
       },
       [&] {
         const std::uint8_t arrived[4] = {0xB2, 0xC3, 0xD4, 0};  // in arrival order
         EXPECT_EQ(std::memcmp(&raw_value, arrived, 4), 0);
       }},
      {"word after a byte", 2,
       [&](Stream* s) {
         return stream_receive(s, FIELD_BYTE, &byte, FIELD_WORD, &word, FIELD_END);
       },
       [&] {
         EXPECT_EQ(byte, 0xA1);
         EXPECT_EQ(word, 0xB200);
       }},
      {"byte after the end", 4,
       [&](Stream* s) {
         return stream_receive(s, FIELD_WORD, &word, FIELD_WORD, &word, FIELD_BYTE, &byte,
                               FIELD_WORD, &word, FIELD_END);
       },
       [&] {
         EXPECT_EQ(byte, 0);
         EXPECT_EQ(word, 0);  // and every later field yields 0
       }},
  };
  const std::uint8_t body[] = {0xA1, 0xB2, 0xC3, 0xD4};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Stream* from = nullptr;
    Stream* to = nullptr;
    ASSERT_EQ(stream_create_unconnected(&from), 0);
    ASSERT_EQ(stream_create_unconnected(&to), 0);
    ASSERT_EQ(
        stream_send(from, FIELD_BEGIN, body[0], FIELD_BYTES, c.length - 1, body + 1, FIELD_END), 0);
    ASSERT_EQ(stream_deliver(from, to), 0);
    ASSERT_EQ(stream_read_message(to), 0);
    EXPECT_EQ(c.receive(to), RC_STREAM_EMPTY);
    EXPECT_EQ(stream_status(to), RC_STREAM_EMPTY);
    c.check();
    stream_destroy_attached(from);
    stream_destroy_attached(to);
  }
}

TEST_F(StreamTest, FieldsAreReadBackAndLongTextsAreCapped) {
  Bytes message = {0x07, 0xAB, 0x12, 0x34, 0xDE, 0xAD, 0xBE, 0xEF, 0x00, 0x01, 0x00,
                   0x02, 0x0A, 0x0B, 0x0C, 0x0D, 3,    'a',  'b',  'c',  0x00, 0x14};
  for (char k = 0; k < 20; ++k) message.push_back(static_cast<std::uint8_t>('A' + k));
  message.insert(message.end(), {2, 0xF0, 0xF1, 0x01, 0x02, 0x03, 0x55, 0x66});
  Bytes framed = {0, static_cast<std::uint8_t>(message.size())};
  framed.insert(framed.end(), message.begin(), message.end());
  ASSERT_TRUE(peer_.send(framed));
  ASSERT_EQ(read_message(), 0);

  std::uint8_t id = 0, byte = 0;
  std::uint16_t word = 0, words[2] = {};
  std::uint32_t value = 0;
  std::uint8_t raw[4] = {};
  char text[256] = {}, capped[8] = {};
  std::uint8_t data[255] = {};
  std::uint8_t bytes[3] = {};
  int length = -1, remaining = -1;
  EXPECT_EQ(
      stream_receive(stream_, FIELD_BEGIN, FIELD_BYTE, &id, FIELD_BYTE, &byte, FIELD_WORD, &word,
                     FIELD_LONG, &value, FIELD_WORDS, 2, words, FIELD_RAW4, raw, FIELD_STRING, text,
                     FIELD_LONG_STRING, capped, FIELD_DATA, &length, data, FIELD_BYTES, 3, bytes,
                     FIELD_REMAINING, &remaining, FIELD_SKIP, 2, FIELD_END),
      0);
  EXPECT_EQ(id, 0x07);
  EXPECT_EQ(byte, 0xAB);
  EXPECT_EQ(word, 0x1234);
  EXPECT_EQ(value, 0xDEADBEEFu);
  EXPECT_EQ(words[0], 1);
  EXPECT_EQ(words[1], 2);
  EXPECT_EQ(Bytes(raw, raw + 4), (Bytes{0x0A, 0x0B, 0x0C, 0x0D}));  // arrival order
  EXPECT_STREQ(text, "abc");
  EXPECT_STREQ(capped, "ABCDEFG");  // 20 characters capped to the buffer
  EXPECT_EQ(length, 2);
  EXPECT_EQ(Bytes(data, data + 2), (Bytes{0xF0, 0xF1}));
  EXPECT_EQ(Bytes(bytes, bytes + 3), (Bytes{1, 2, 3}));
  EXPECT_EQ(remaining, 2);
}

TEST_F(StreamTest, ShortAndUnfinishedReadsFailTheStream) {
  ASSERT_TRUE(peer_.send({0, 2, 0x01, 0x02, 0, 3, 0x04, 0x05, 0x06}));
  ASSERT_EQ(read_message(), 0);
  std::uint32_t value = 7;
  std::uint8_t after = 7;
  EXPECT_EQ(stream_receive(stream_, FIELD_LONG, &value, FIELD_BYTE, &after, FIELD_END),
            RC_STREAM_EMPTY);
  EXPECT_EQ(value, 0x01020000u);  // the bytes that were there, then zeros
  EXPECT_EQ(after, 0);            // every later field yields 0
  EXPECT_EQ(stream_send(stream_, FIELD_BEGIN, 1, FIELD_END), RC_STREAM_EMPTY);  // sticky
  EXPECT_TRUE(peer_.quiet());
  // A successful fill clears the status; a message left half read gives 443,
  // and the next one is still framed.
  ASSERT_EQ(read_message(), 0);
  EXPECT_EQ(stream_status(stream_), 0);
  std::uint8_t byte = 0;
  EXPECT_EQ(stream_receive(stream_, FIELD_BYTE, &byte, FIELD_END), RC_INCORRECT_MESSAGE_LENGTH);
  ASSERT_TRUE(peer_.send({0, 1, 0x09}));
  ASSERT_EQ(read_message(), 0);
  EXPECT_EQ(stream_receive(stream_, FIELD_BYTE, &byte, FIELD_END), 0);
  EXPECT_EQ(byte, 0x09);
  EXPECT_EQ(stream_receive(nullptr, FIELD_END), RC_NO_STREAM);
  EXPECT_EQ(stream_read_message(nullptr), RC_NO_STREAM);
}

TEST_F(StreamTest, EmptyMessagesArePassedOverAndLaterMessagesWaitTheirTurn) {
  ASSERT_TRUE(peer_.send({0, 0, 0, 2, 0x11, 0x22, 0, 3, 0x33, 0x44, 0x55}));
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (unread_in_socket() < 11 && std::chrono::steady_clock::now() < deadline) stream_wait(20);
  EXPECT_EQ(stream_read_message(stream_), RC_NOT_YET);  // the empty message
  EXPECT_EQ(unread_in_socket(), 0);                     // one receive took all three
  EXPECT_EQ(stream_read_message(stream_), 0);
  // Only the current message is read: a field past its end is empty, not
  // the next message's bytes.
  std::uint16_t word = 0;
  std::uint8_t past = 7;
  int remaining = -1;
  EXPECT_EQ(stream_receive(stream_, FIELD_WORD, &word, FIELD_REMAINING, &remaining, FIELD_STATUS),
            0);
  EXPECT_EQ(word, 0x1122);
  EXPECT_EQ(remaining, 0);
  EXPECT_EQ(stream_receive(stream_, FIELD_END), 0);
  EXPECT_EQ(stream_receive(stream_, FIELD_BYTE, &past, FIELD_STATUS), RC_STREAM_EMPTY);
  EXPECT_EQ(past, 0);
  // The next message becomes current with the next call, whole and in order.
  EXPECT_EQ(stream_read_message(stream_), 0);
  std::uint8_t body[3] = {};
  EXPECT_EQ(stream_receive(stream_, FIELD_BYTES, 3, body, FIELD_END), 0);
  EXPECT_EQ(Bytes(body, body + 3), (Bytes{0x33, 0x44, 0x55}));
  // Many empty messages never walk the buffer to its end.
  Bytes empties(40003, 0);
  empties[40001] = 1;  // then a message of one byte
  empties[40002] = 0x42;
  ASSERT_TRUE(peer_.send(empties));
  ASSERT_EQ(read_message(10), 0);
  std::uint8_t byte = 0;
  EXPECT_EQ(stream_receive(stream_, FIELD_BYTE, &byte, FIELD_END), 0);
  EXPECT_EQ(byte, 0x42);
}

// A large message grows a buffer for itself and gives the memory back once
// it has gone; a buffer that cannot grow fails its stream with 400 alone.
TEST_F(StreamTest, BuffersGrowForALargeMessageAndGiveTheMemoryBack) {
  Bytes big(5000);
  for (std::size_t k = 0; k < big.size(); ++k) big[k] = static_cast<std::uint8_t>(k * 7);
  // Sending: 3 + 5000 bytes leave whole, and the buffer goes back.
  ASSERT_EQ(stream_send(stream_, FIELD_BEGIN, 30, FIELD_BYTES, 5000, big.data(), FIELD_END), 0);
  Bytes wire = peer_.receive(5003);
  ASSERT_EQ(wire.size(), 5003u);
  EXPECT_EQ(Bytes(wire.begin(), wire.begin() + 3), (Bytes{0x13, 0x89, 30}));
  EXPECT_EQ(Bytes(wire.begin() + 3, wire.end()), big);
  EXPECT_EQ(mem_blocks_held(), held_ + 3);  // the stream, its channel and connection
  // Receiving: a large message behind a small one, both whole and in order.
  Bytes frames(5 + big.size());
  const std::uint8_t heads[] = {0, 1, 0x44, 0x13, 0x88};  // 1 byte, then 5000
  std::memcpy(frames.data(), heads, sizeof heads);
  std::memcpy(frames.data() + 5, big.data(), big.size());
  ASSERT_TRUE(peer_.send(frames));
  ASSERT_EQ(read_message(), 0);
  std::uint8_t small = 0;
  EXPECT_EQ(stream_receive(stream_, FIELD_BYTE, &small, FIELD_END), 0);
  EXPECT_EQ(small, 0x44);
  ASSERT_EQ(read_message(), 0);
  Bytes got(5000);
  EXPECT_EQ(stream_receive(stream_, FIELD_BYTES, 5000, got.data(), FIELD_END), 0);
  EXPECT_EQ(got, big);
  EXPECT_EQ(mem_blocks_held(), held_ + 3);

  // Memory that is not there: the send fails with 400 and nothing goes out.
  mem_fail_from_size(kStreamSendStart + 1);
  EXPECT_EQ(stream_send(stream_, FIELD_BEGIN, 30, FIELD_BYTES, 5000, big.data(), FIELD_END),
            RC_OUT_OF_MEMORY);
  EXPECT_EQ(stream_pending_send(stream_), 0);
  EXPECT_TRUE(peer_.quiet());
  mem_fail_from_size(0);
}

// A held stream (a server's) gathers its messages for its owner's flush, so
// that they share one write, until half its limit is taken.
TEST_F(StreamTest, AHeldStreamGathersItsMessagesForOneFlush) {
  stream_set_held(stream_, true);
  ASSERT_EQ(stream_send(stream_, FIELD_BEGIN, 1, FIELD_BYTE, 7, FIELD_END), 0);
  ASSERT_EQ(stream_send(stream_, FIELD_BEGIN, 2, FIELD_END), 0);
  EXPECT_TRUE(peer_.quiet());
  EXPECT_EQ(stream_pending_send(stream_), 7);
  ASSERT_EQ(stream_flush(stream_), 0);
  EXPECT_EQ(peer_.receive(7), (Bytes{0, 2, 1, 7, 0, 1, 2}));
  Bytes half(kStreamBufferSize / 2);
  ASSERT_EQ(stream_send(stream_, FIELD_BEGIN, 3, FIELD_BYTES, kStreamBufferSize / 2, half.data(),
                        FIELD_END),
            0);
  EXPECT_EQ(stream_pending_send(stream_), 0);
  EXPECT_EQ(peer_.receive(kStreamBufferSize / 2 + 3).size(), kStreamBufferSize / 2 + 3u);
}

TEST_F(StreamTest, AReceiveBufferThatCannotGrowFailsItsStream) {
  Bytes frame(2 + 3000, 0x5A);
  frame[0] = 0x0B;  // a length of 3000
  frame[1] = 0xB8;
  ASSERT_TRUE(peer_.send(frame));
  mem_fail_from_size(kStreamReceiveStart + 1);
  EXPECT_EQ(read_message(), RC_OUT_OF_MEMORY);
  EXPECT_EQ(stream_status(stream_), RC_OUT_OF_MEMORY);
  mem_fail_from_size(0);
}

TEST(StreamLengths, OverlongLengthsAreRefused) {
  struct Case {
    std::uint16_t length;
    int rc;
  };
  const Case cases[] = {{32765, 0},
                        {32766, RC_IN_BUFFER_FULL},
                        {32767, RC_IN_BUFFER_FULL},
                        {32768, RC_IN_BUFFER_FULL},
                        {32769, RC_STREAM_MESSAGE_TOO_LONG},
                        {0xFFFF, RC_STREAM_MESSAGE_TOO_LONG}};
  loopback::Listener listener;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.length);
    Stream* stream = nullptr;
    ASSERT_EQ(stream_create(loopback::address(), listener.port(), &stream), 0);
    loopback::Peer peer = listener.accept();
    // The refused lengths are refused before their bodies are asked for.
    Bytes message(c.rc == 0 ? 2 + c.length : 2, 0x5A);
    message[0] = static_cast<std::uint8_t>(c.length >> 8);
    message[1] = static_cast<std::uint8_t>(c.length);
    ASSERT_TRUE(peer.send(message));
    EXPECT_EQ(read_within(stream), c.rc);
    EXPECT_EQ(stream_status(stream), c.rc);
    if (c.rc == 0) {
      EXPECT_EQ(stream_receive(stream, FIELD_SKIP, c.length, FIELD_END), 0);
    }
    stream_destroy(stream);
  }
}

TEST_F(StreamTest, FirstMessageThenFullEncipherment) {
  EXPECT_EQ(stream_is_enciphered(stream_), 0);
  EXPECT_EQ(stream_send(stream_, FIELD_CIPHER, kSessionKey, 16, FIELD_STATUS), 0);
  EXPECT_EQ(stream_is_enciphered(stream_), 1);
  EXPECT_TRUE(peer_.quiet());  // keying sends nothing
  Rc4 first(0);
  // Until the keys arrive, every message keeps its length and id plain.
  EXPECT_EQ(stream_send(stream_, FIELD_BEGIN, 47, FIELD_STRING, "abc", FIELD_LONG, 5, FIELD_END),
            0);
  EXPECT_EQ(first.apply(peer_.receive(11), 3), (Bytes{0, 9, 47, 3, 'a', 'b', 'c', 0, 0, 0, 5}));
  EXPECT_EQ(stream_send(stream_, FIELD_BEGIN, 32, FIELD_BYTE, 1, FIELD_END), 0);
  EXPECT_EQ(first.apply(peer_.receive(4), 3), (Bytes{0, 2, 32, 1}));

  // The peer's keys: receive discard 1000, send discard 70000 (65536 + 4464).
  stream_set_ciphers(stream_, kSessionKey, 16, 1000, 70000);
  Rc4 to_peer(4464);
  Rc4 from_peer(1000);
  EXPECT_EQ(stream_send(stream_, FIELD_BEGIN, 6, FIELD_WORD, 0x0102, FIELD_END), 0);
  EXPECT_EQ(to_peer.apply(peer_.receive(5)), (Bytes{0, 3, 6, 1, 2}));
  // Received messages decipher from the length on, and a half-read message
  // leaves the cipher in step for the next.
  ASSERT_TRUE(peer_.send(from_peer.apply({0, 3, 9, 0xAA, 0xBB, 0, 2, 8, 0xCC})));
  ASSERT_EQ(read_message(), 0);
  std::uint8_t id = 0, byte = 0;
  EXPECT_EQ(stream_receive(stream_, FIELD_BYTE, &id, FIELD_END), RC_INCORRECT_MESSAGE_LENGTH);
  EXPECT_EQ(id, 9);
  ASSERT_EQ(read_message(), 0);
  EXPECT_EQ(stream_receive(stream_, FIELD_BYTE, &id, FIELD_BYTE, &byte, FIELD_END), 0);
  EXPECT_EQ(id, 8);
  EXPECT_EQ(byte, 0xCC);

  // Keys again with discards 0 and 0: the next length is enciphered with the
  // first bytes of a freshly keyed keystream.
  stream_set_ciphers(stream_, kSessionKey, 16, 0, 0);
  Rc4 fresh(0);
  EXPECT_EQ(stream_send(stream_, FIELD_BEGIN, 6, FIELD_END), 0);
  EXPECT_EQ(fresh.apply(peer_.receive(3)), (Bytes{0, 1, 6}));
  EXPECT_TRUE(peer_.quiet());
}

// Many messages of many sizes each way, every byte checked against an
// independent cipher: no keystream byte is lost or used twice where one
// message ends and the next begins, whatever the sizes.
TEST_F(StreamTest, EnciphersManyMessagesOfEverySizeInStep) {
  stream_set_ciphers(stream_, kSessionKey, 16, 77, 300);
  Rc4 to_peer(300);
  Rc4 from_peer(77);
  static std::uint8_t filler[700];
  for (std::size_t k = 0; k < sizeof filler; ++k) filler[k] = static_cast<std::uint8_t>(k * 13);
  std::uint32_t seed = 99;
  for (int message = 0; message < 300; ++message) {
    SCOPED_TRACE(message);
    seed = seed * 1103515245u + 12345u;
    const int size = static_cast<int>((seed >> 8) % (message % 10 == 0 ? 700 : 40));
    ASSERT_EQ(stream_send(stream_, FIELD_BEGIN, message & 0xff, FIELD_BYTES, size, filler,
                          FIELD_WORD, message, FIELD_END),
              0);
    Bytes plain = {static_cast<std::uint8_t>((size + 3) >> 8), static_cast<std::uint8_t>(size + 3),
                   static_cast<std::uint8_t>(message)};
    plain.insert(plain.end(), filler, filler + size);
    plain.push_back(static_cast<std::uint8_t>(message >> 8));
    plain.push_back(static_cast<std::uint8_t>(message));
    ASSERT_EQ(to_peer.apply(peer_.receive(plain.size())), plain);

    ASSERT_TRUE(peer_.send(from_peer.apply(plain)));
    ASSERT_EQ(read_message(), 0);
    std::uint8_t id = 0;
    std::uint8_t got[700] = {};
    std::uint16_t number = 0;
    ASSERT_EQ(stream_receive(stream_, FIELD_BYTE, &id, FIELD_BYTES, size, got, FIELD_WORD, &number,
                             FIELD_END),
              0);
    EXPECT_EQ(id, message & 0xff);
    EXPECT_EQ(number, message);
    EXPECT_EQ(Bytes(got, got + size), Bytes(filler, filler + size));
  }
}

// Sends numbered 100-byte messages until the socket holds back more than
// backlog bytes; returns how many were sent.
int send_until_backed_up(Stream* stream, int backlog) {
  static const std::uint8_t filler[93] = {};
  int count = 0;
  while (stream_pending_send(stream) <= backlog && count < 1000000) {
    EXPECT_EQ(
        stream_send(stream, FIELD_BEGIN, 7, FIELD_LONG, count, FIELD_BYTES, 93, filler, FIELD_END),
        0);
    ++count;
  }
  return count;
}

TEST_F(StreamTest, APeerThatDoesNotReadKeepsTheFramingIntact) {
  int count = send_until_backed_up(stream_, 20000);
  EXPECT_EQ(stream_status(stream_), 0);
  std::uint32_t last_send = stream_last_send(stream_);
  clock_advance(1000);
  // The peer reads again; the flushes hand over the kept tail.
  Bytes arrived;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < deadline) {
    Bytes more = peer_.drain(20);
    arrived.insert(arrived.end(), more.begin(), more.end());
    ASSERT_EQ(stream_flush(stream_), 0);
    if (stream_pending_send(stream_) == 0 && arrived.size() == 100u * count) break;
  }
  ASSERT_EQ(arrived.size(), 100u * count);
  for (int k = 0; k < count; ++k) {
    const std::uint8_t* message = arrived.data() + 100 * k;
    ASSERT_EQ(
        Bytes(message, message + 7),
        (Bytes{0, 98, 7, static_cast<std::uint8_t>(k >> 24), static_cast<std::uint8_t>(k >> 16),
               static_cast<std::uint8_t>(k >> 8), static_cast<std::uint8_t>(k)}))
        << k;
  }
  EXPECT_GE(stream_last_send(stream_) - last_send, 1000u);  // a complete flush
}

TEST_F(StreamTest, AFlushThatTakesNothingFor20SecondsTimesOut) {
  send_until_backed_up(stream_, 20000);
  // The kernel may still take bytes now and then as its buffers grow; each
  // time it does, the 20 s start over. Move the clock to a second short of them
  // until a whole stretch passes without progress.
  int pending = stream_pending_send(stream_);
  for (int round = 0; round < 100; ++round) {
    clock_advance(19000);
    ASSERT_EQ(stream_flush(stream_), 0);  // 401 from the socket: the bytes are kept
    ASSERT_EQ(stream_status(stream_), 0);
    if (stream_pending_send(stream_) == pending) break;
    pending = stream_pending_send(stream_);
  }
  EXPECT_EQ(stream_pending_send(stream_), pending);
  clock_advance(1100);
  EXPECT_EQ(stream_flush(stream_), RC_TIMEOUT);
  EXPECT_EQ(stream_status(stream_), RC_TIMEOUT);
  EXPECT_EQ(stream_send(stream_, FIELD_BEGIN, 1, FIELD_END), RC_TIMEOUT);
}

TEST(StreamLifecycle, CreateFailuresKeepNothingAndWaitFindsTheNewest) {
  long held = mem_blocks_held();
  Stream* stream = nullptr;
  EXPECT_EQ(stream_create(loopback::address(), loopback::closed_port(), &stream),
            RC_UNABLE_TO_CONNECT);
  loopback::Listener listener;
  mem_fail_at(1);
  EXPECT_EQ(stream_create(loopback::address(), listener.port(), &stream), RC_OUT_OF_MEMORY);
  mem_fail_at(0);
  EXPECT_EQ(stream, nullptr);
  EXPECT_EQ(mem_blocks_held(), held);

  auto [older, older_peer] = listener.open(stream_create);
  auto [newer, newer_peer] = listener.open(stream_create);
  ASSERT_TRUE(older_peer.valid() && newer_peer.valid());
  EXPECT_EQ(stream_wait(20), nullptr);
  ASSERT_TRUE(older_peer.send({0}));
  EXPECT_EQ(stream_wait(2000), older);
  ASSERT_TRUE(newer_peer.send({0}));
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (stream_wait(10) != newer && std::chrono::steady_clock::now() < deadline) {
  }
  EXPECT_EQ(stream_wait(10), newer);
  EXPECT_EQ(stream_fill(older, 32768), RC_IN_BUFFER_FULL);
  stream_destroy(newer);
  stream_destroy(newer);  // gone already: left alone
  stream_destroy(older);
  EXPECT_EQ(mem_blocks_held(), held);
}

// The servers' side: a stream over an accepted socket reads a client's first
// message and keys both directions as the client does.
TEST(StreamAttach, AServerStreamSpeaksToAClientStream) {
  loopback::Listener listener;
  Stream* client = nullptr;
  ASSERT_EQ(stream_create(loopback::address(), listener.port(), &client), 0);
  loopback::Peer accepted = listener.accept();
  Stream* server = nullptr;
  ASSERT_EQ(stream_attach(accepted.fd(), &server), 0);
  accepted.release();                   // the stream owns the socket now
  EXPECT_EQ(stream_wait(20), nullptr);  // only the client's stream is watched

  ASSERT_EQ(stream_send(client, FIELD_CIPHER, kSessionKey, 16, FIELD_BEGIN, 47, FIELD_STRING, "bot",
                        FIELD_END),
            0);
  ASSERT_EQ(read_within(server), 0);
  std::uint8_t id = 0;
  char name[256] = {};
  EXPECT_EQ(stream_receive(server, FIELD_BYTE, &id, FIELD_STATUS), 0);
  stream_set_receive_cipher(server, kSessionKey, 16, 0);
  EXPECT_EQ(stream_receive(server, FIELD_STRING, name, FIELD_END), 0);
  EXPECT_EQ(id, 47);
  EXPECT_STREQ(name, "bot");

  ASSERT_EQ(stream_send(server, FIELD_BEGIN, 22, FIELD_WORD, 300, FIELD_WORD, 500, FIELD_END), 0);
  stream_set_ciphers(server, kSessionKey, 16, 500, 300);
  std::uint16_t receive_discard = 0, send_discard = 0;
  ASSERT_EQ(read_within(client), 0);
  EXPECT_EQ(stream_receive(client, FIELD_BYTE, &id, FIELD_WORD, &receive_discard, FIELD_WORD,
                           &send_discard, FIELD_END),
            0);
  stream_set_ciphers(client, kSessionKey, 16, receive_discard, send_discard);
  ASSERT_EQ(stream_send(client, FIELD_BEGIN, 6, FIELD_LONG, 12345, FIELD_END), 0);
  ASSERT_EQ(read_within(server), 0);
  std::uint32_t value = 0;
  EXPECT_EQ(stream_receive(server, FIELD_BYTE, &id, FIELD_LONG, &value, FIELD_END), 0);
  EXPECT_EQ(id, 6);
  EXPECT_EQ(value, 12345u);
  EXPECT_GE(stream_socket(server), 0);
  stream_destroy(server);  // not listed: left alone
  stream_destroy_attached(server);
  stream_destroy(client);
  EXPECT_EQ(stream_attach(-1, &server), RC_NO_SOCKET);
}

TEST(StreamMemory, TheCodecRunsWithoutASocket) {
  Stream* from = nullptr;
  Stream* to = nullptr;
  ASSERT_EQ(stream_create_unconnected(&from), 0);
  ASSERT_EQ(stream_create_unconnected(&to), 0);
  stream_set_ciphers(from, kSessionKey, 16, 0, 5);
  stream_set_ciphers(to, kSessionKey, 16, 5, 0);
  for (int k = 0; k < 3; ++k) {
    ASSERT_EQ(stream_send(from, FIELD_BEGIN, 4, FIELD_WORD, k, FIELD_LONG, -1, FIELD_END), 0);
    ASSERT_EQ(stream_deliver(from, to), 0);
    ASSERT_EQ(stream_read_message(to), 0);
    std::uint8_t id = 0;
    std::uint16_t word = 0;
    std::int32_t value = 0;
    ASSERT_EQ(stream_receive(to, FIELD_BYTE, &id, FIELD_WORD, &word, FIELD_LONG, &value, FIELD_END),
              0);
    EXPECT_EQ(id, 4);
    EXPECT_EQ(word, k);
    EXPECT_EQ(value, -1);
  }
  EXPECT_EQ(stream_read_message(to), RC_NO_CONNECTION);  // nothing more to fill from
  EXPECT_EQ(stream_deliver(nullptr, to), RC_NO_STREAM);

  // Keys that cannot be made leave no half pair behind.
  long held = mem_blocks_held();
  mem_fail_at(2);  // the send cipher
  stream_set_ciphers(from, kSessionKey, 16, 0, 0);
  mem_fail_at(0);
  EXPECT_EQ(stream_is_enciphered(from), 0);
  EXPECT_EQ(stream_status(from), RC_OUT_OF_MEMORY);
  EXPECT_EQ(mem_blocks_held(), held - 2);  // the old pair is gone too
  stream_destroy_attached(from);
  stream_destroy_attached(to);
  stream_set_ciphers(nullptr, kSessionKey, 16, 0, 0);
  EXPECT_EQ(stream_is_enciphered(nullptr), 0);
  EXPECT_EQ(stream_last_send(nullptr), 0u);
  EXPECT_EQ(stream_status(nullptr), RC_NO_STREAM);
  EXPECT_EQ(stream_flush(nullptr), RC_NO_STREAM);
}

}  // namespace
