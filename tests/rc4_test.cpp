#include "net/rc4.h"

#include <gtest/gtest.h>

#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "net/memory.h"
#include "support/scripted_peer.h"

using namespace orbilo;

namespace {

using Cipher = std::unique_ptr<Rc4State, decltype(&rc4_destroy)>;

Cipher make_cipher(const std::vector<std::uint8_t>& key) {
  return Cipher(rc4_create(key.data(), static_cast<int>(key.size())), &rc4_destroy);
}

std::vector<std::uint8_t> from_hex(const std::string& hex) {
  std::vector<std::uint8_t> bytes;
  for (std::size_t k = 0; k + 1 < hex.size(); k += 2) {
    bytes.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(k, 2), nullptr, 16)));
  }
  return bytes;
}

// The first count keystream bytes, made by rc4_byte one at a time.
std::vector<std::uint8_t> keystream_by_byte(Rc4State* cipher, std::size_t count) {
  std::vector<std::uint8_t> bytes(count);
  for (auto& byte : bytes) byte = rc4_byte(cipher, 0);
  return bytes;
}

struct KeystreamRow {
  const char* key;
  std::size_t offset;
  const char* bytes;
};

// Keystream rows of RFC 6229 (40- and 128-bit keys), offsets up to 4096.
const KeystreamRow kRfc6229[] = {
    {"0102030405", 0, "b2396305f03dc027ccc3524a0a1118a8"},
    {"0102030405", 240, "28cb1132c96ce286421dcaadb8b69eae"},
    {"0102030405", 256, "1cfcf62b03eddb641d77dfcf7f8d8c93"},
    {"0102030405", 1536, "d8729db41882259bee4f825325f5a130"},
    {"0102030405", 4096, "ff25b58995996707e51fbdf08b34d875"},
    {"0102030405060708090a0b0c0d0e0f10", 0, "9ac7cc9a609d1ef7b2932899cde41b97"},
    {"0102030405060708090a0b0c0d0e0f10", 240, "065902e4b620f6cc36c8589f66432f2b"},
    {"0102030405060708090a0b0c0d0e0f10", 1536, "ffa0b514647ec04f6306b892ae661181"},
    {"0102030405060708090a0b0c0d0e0f10", 4096, "a36a4c301ae8ac13610ccbc12256cacc"},
    {"833222772a", 0, "80ad97bdc973df8a2e879e92a497efda"},
    {"833222772a", 1536, "6251d87fd4aaae9a7e4ad5c217d3f300"},
    {"833222772a", 4096, "bf42c3018c2f7c66bfde524975768115"},
};

TEST(Rc4, PublishedKeystreamThroughCryptAndByte) {
  for (const KeystreamRow& row : kRfc6229) {
    SCOPED_TRACE(std::string(row.key) + " at " + std::to_string(row.offset));
    const std::vector<std::uint8_t> expected = from_hex(row.bytes);

    Cipher by_buffer = make_cipher(from_hex(row.key));
    std::vector<std::uint8_t> zeros(row.offset + expected.size(), 0);
    rc4_crypt(by_buffer.get(), zeros.data(), zeros.size());
    EXPECT_EQ(std::vector<std::uint8_t>(zeros.begin() + row.offset, zeros.end()), expected);

    Cipher by_byte = make_cipher(from_hex(row.key));
    rc4_skip(by_byte.get(), static_cast<std::uint32_t>(row.offset));
    EXPECT_EQ(keystream_by_byte(by_byte.get(), expected.size()), expected);
  }
}

// Pieces of every length from 0 to 70 at every alignment of the generator,
// each against the byte-at-a-time keystream, so that the single steps, the
// 16-byte runs and the tail all meet each other (and the repair of a swap
// that lands on the next i happens many times over).
TEST(Rc4, CryptInPiecesMatchesByteAtATime) {
  const std::vector<std::uint8_t> key = from_hex("9f2b394aa9965d82c57bd51f6416415d");
  Cipher reference = make_cipher(key);
  Cipher pieces = make_cipher(key);
  std::size_t total = 0;
  for (int round = 0; round < 40; ++round) {
    for (std::size_t length = 0; length <= 70; ++length) {
      std::vector<std::uint8_t> buffer(length, 0x5a);
      rc4_crypt(pieces.get(), buffer.data(), length);
      for (std::size_t k = 0; k < length; ++k) {
        ASSERT_EQ(buffer[k], rc4_byte(reference.get(), 0x5a)) << "byte " << total + k;
      }
      total += length;
    }
  }
}

// Single bytes, skips and buffers of every size, from a few bytes to many
// blocks, in a scrambled order: the keystream taken ahead is used up in order
// whatever call takes it, and no byte is lost or repeated where a block or a
// run ends.
TEST(Rc4, MixedCallsFollowTheKeystreamInOrder) {
  const std::vector<std::uint8_t> key = from_hex("9f2b394aa9965d82c57bd51f6416415d");
  Cipher cipher = make_cipher(key);
  scripted::Rc4 reference(key);  // the tests' own, a byte at a time
  std::uint32_t seed = 12345;
  auto random = [&seed](std::uint32_t bound) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 8) % bound;
  };
  const std::size_t sizes[] = {1, 2, 3, 15, 16, 17, 19, 21, 255, 256, 257, 300, 1000, 8192, 9001};
  std::size_t position = 0;
  for (int call = 0; call < 3000; ++call) {
    SCOPED_TRACE("call " + std::to_string(call) + " at keystream byte " + std::to_string(position));
    switch (random(4)) {
      case 0: {
        std::uint8_t plain = static_cast<std::uint8_t>(random(256));
        ASSERT_EQ(rc4_byte(cipher.get(), plain), plain ^ reference.next());
        position += 1;
        break;
      }
      case 1: {
        std::uint32_t count = random(600) + (random(8) == 0 ? 65536u : 0u);
        rc4_skip(cipher.get(), count);
        for (std::uint32_t k = 0; k < (count & 0xffff); ++k) reference.next();
        position += count & 0xffff;
        break;
      }
      default: {
        std::size_t length = sizes[random(std::size(sizes))];
        if (random(2) == 0) length = random(80);
        std::vector<std::uint8_t> buffer(length);
        for (auto& byte : buffer) byte = static_cast<std::uint8_t>(random(256));
        std::vector<std::uint8_t> expected = buffer;
        for (auto& byte : expected) byte ^= reference.next();
        rc4_crypt(cipher.get(), buffer.data(), length);
        ASSERT_EQ(buffer, expected) << "length " << length;
        position += length;
        break;
      }
    }
  }
}

TEST(Rc4, SkipEqualsDroppingOneByOneAndUsesLow16Bits) {
  const std::vector<std::uint8_t> key = from_hex("0102030405");
  const struct {
    std::uint32_t skip;
    std::size_t dropped;
  } cases[] = {{0, 0},     {1, 1},     {300, 300},       {65535, 65535},
               {65536, 0}, {65537, 1}, {0x12345, 0x2345}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.skip);
    Cipher skipped = make_cipher(key);
    rc4_skip(skipped.get(), c.skip);
    Cipher dropped = make_cipher(key);
    keystream_by_byte(dropped.get(), c.dropped);
    EXPECT_EQ(keystream_by_byte(skipped.get(), 64), keystream_by_byte(dropped.get(), 64));
  }
}

TEST(Rc4, DecipherWithLikeStateRestoresThePlainBytes) {
  const std::vector<std::uint8_t> key = from_hex("9f2b394aa9965d82c57bd51f6416415d");
  const std::vector<std::uint8_t> plain(100, 'p');
  std::vector<std::uint8_t> message = plain;
  Cipher sender = make_cipher(key);
  Cipher receiver = make_cipher(key);
  rc4_skip(sender.get(), 7);
  rc4_skip(receiver.get(), 7);
  rc4_crypt(sender.get(), message.data(), message.size());
  EXPECT_NE(message, plain);
  rc4_crypt(receiver.get(), message.data(), message.size());
  EXPECT_EQ(message, plain);
}

TEST(Rc4, CreateRefusesNoKeyAndReportsNoMemory) {
  const std::uint8_t key[1] = {1};
  EXPECT_EQ(rc4_create(nullptr, 5), nullptr);
  EXPECT_EQ(rc4_create(key, 0), nullptr);
  EXPECT_EQ(rc4_create(key, -1), nullptr);
  mem_fail_at(1);
  EXPECT_EQ(rc4_create(key, 1), nullptr);
  mem_fail_at(0);
  rc4_destroy(nullptr);
}

}  // namespace
