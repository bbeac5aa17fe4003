#include "net/identity.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using namespace orbilo;

namespace {

// The adapters the fake source lists, and what it returns (-1: cannot list).
std::vector<AdapterAddress> listed;
int listing_result = 0;

int fake_adapters(AdapterAddress* adapters, int capacity) {
  if (listing_result < 0) return listing_result;
  int count = 0;
  for (const AdapterAddress& adapter : listed) {
    if (count == capacity) break;
    adapters[count++] = adapter;
  }
  return listing_result > 0 ? listing_result : count;
}

class IdentityTest : public ::testing::Test {
 protected:
  void SetUp() override {
    identity_forget();
    listed.clear();
    listing_result = 0;
    identity_set_adapter_source(fake_adapters);
  }
  void TearDown() override {
    identity_set_adapter_source(nullptr);
    identity_forget();
  }

  static void list(unsigned int index, std::vector<std::uint8_t> address) {
    AdapterAddress adapter{index, {}};
    std::memcpy(adapter.address, address.data(), 6);
    listed.push_back(adapter);
  }

  static std::vector<std::uint8_t> identity() {
    return std::vector<std::uint8_t>(identity_address(), identity_address() + 6);
  }
};

TEST_F(IdentityTest, FirstQualifyingAdapterInIndexOrder) {
  list(5, {0x00, 0x11, 0x22, 0x33, 0x44, 0x55});
  list(2, {0x00, 0x00, 0x00, 0x00, 0x00, 0x00});  // all zero: skipped
  list(1, {0x44, 0x01, 0x02, 0x03, 0x04, 0x05});  // first byte 0x44: skipped
  list(3, {0x02, 0xfc, 0x00, 0x00, 0x00, 0x01});
  adapter_init();
  EXPECT_EQ(identity_valid(), 1);
  EXPECT_EQ(identity(), (std::vector<std::uint8_t>{0x02, 0xfc, 0x00, 0x00, 0x00, 0x01}));
}

// Nothing qualifies, nothing is listed, or the listing fails: no identity,
// and after one has been found, the earlier identity stays.
TEST_F(IdentityTest, SearchesThatFindNothing) {
  list(1, {0x44, 0x00, 0x00, 0x00, 0x00, 0x00});
  list(2, {0x00, 0x00, 0x00, 0x00, 0x00, 0x00});
  adapter_init();
  EXPECT_EQ(identity_valid(), 0);
  EXPECT_EQ(identity_machine_id(), 0u);

  list(3, {0x00, 0x0a, 0x0b, 0x0c, 0x0d, 0x0e});
  adapter_init();
  listed.clear();
  adapter_init();
  listing_result = -1;
  adapter_init();
  EXPECT_EQ(identity_valid(), 1);
  EXPECT_EQ(identity(), (std::vector<std::uint8_t>{0x00, 0x0a, 0x0b, 0x0c, 0x0d, 0x0e}));
}

TEST_F(IdentityTest, MachineIdIsBytesTwoToFiveInMemoryOrder) {
  list(1, {0x00, 0x0a, 0x0b, 0x0c, 0x0d, 0x0e});
  adapter_init();
  const std::uint32_t id = identity_machine_id();
  std::uint8_t bytes[4];
  std::memcpy(bytes, &id, 4);
  EXPECT_EQ(std::vector<std::uint8_t>(bytes, bytes + 4),
            (std::vector<std::uint8_t>{0x0b, 0x0c, 0x0d, 0x0e}));
}

// A source that claims more adapters than it wrote, or than it had room for,
// is held to the room, and the slots it did not write qualify for nothing.
TEST_F(IdentityTest, SourceClaimingTooManyAdaptersIsHeldToCapacity) {
  list(1, {0x00, 0x00, 0x00, 0x00, 0x00, 0x00});
  list(2, {0x00, 0x01, 0x02, 0x03, 0x04, 0x05});
  listing_result = 1000000;
  adapter_init();
  EXPECT_EQ(identity(), (std::vector<std::uint8_t>{0x00, 0x01, 0x02, 0x03, 0x04, 0x05}));
}

// On this machine's own interfaces the search either finds an address that
// keeps the skip rules or finds none.
TEST_F(IdentityTest, SystemAdapters) {
  identity_set_adapter_source(nullptr);
  adapter_init();
  if (identity_valid() == 1) {
    const std::vector<std::uint8_t> address = identity();
    EXPECT_NE(address[0], 0x44);
    EXPECT_NE(address, std::vector<std::uint8_t>(6, 0));
  } else {
    EXPECT_EQ(identity_machine_id(), 0u);
  }
}

}  // namespace
