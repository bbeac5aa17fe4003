#include "sdk/hash_table.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "net/memory.h"

using namespace orbilo;

namespace {

// The check values that the world servers hold as well.
TEST(TableHash, CheckValues) {
  const std::uint8_t login_check[] = {0x01, 0x02, 0x03, 0x04, 'm', 'y', 'w', 'o', 'r', 'l', 'd', 0};
  const std::uint8_t one[] = {0, 0, 0, 1};
  EXPECT_EQ(table_hash("", 0), 0x00000000u);
  EXPECT_EQ(table_hash("a", 1), 0x8bf27100u);
  EXPECT_EQ(table_hash(one, 4), 0x26492a70u);
  EXPECT_EQ(table_hash(login_check, sizeof login_check), 0x6c5e3138u);
  EXPECT_EQ(table_hash(nullptr, 4), 0u);
  EXPECT_EQ(table_hash("a", -1), 0u);
}

class HashTableTest : public ::testing::Test {
 protected:
  void TearDown() override {
    hash_table_destroy(table_);
    EXPECT_EQ(mem_blocks_held(), held_) << "an entry or the table leaked";
  }

  HashEntry* insert(const std::string& key, int payload_size, int* found) {
    return hash_table_insert(table_, static_cast<int>(key.size()), key.data(), payload_size, found);
  }

  long held_ = mem_blocks_held();
  HashTable* table_ = hash_table_create(7);
};

TEST_F(HashTableTest, InsertFindRemove) {
  int found = -1;
  HashEntry* alice = insert("alice", 16, &found);
  ASSERT_NE(alice, nullptr);
  EXPECT_EQ(found, 0);
  std::memcpy(hash_table_payload(alice), "payload of alice", 16);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(hash_table_payload(alice)) % 4, 0u);

  EXPECT_EQ(insert("alice", 16, &found), alice);
  EXPECT_EQ(found, 1);
  EXPECT_EQ(hash_table_count(table_), 1);

  // Keys differing only in length, and the empty key, are all distinct.
  ASSERT_NE(insert("alic", 4, &found), nullptr);
  ASSERT_NE(insert("", 4, &found), nullptr);
  EXPECT_EQ(found, 0);
  EXPECT_EQ(hash_table_count(table_), 3);

  EXPECT_EQ(hash_table_find(table_, 5, "alice"), alice);
  EXPECT_EQ(std::memcmp(hash_table_payload(alice), "payload of alice", 16), 0);
  EXPECT_EQ(hash_table_find(table_, 6, "alice!"), nullptr);

  EXPECT_EQ(hash_table_remove(table_, 3, "bob"), 0);
  EXPECT_EQ(hash_table_count(table_), 3);
  EXPECT_EQ(hash_table_remove(table_, 5, "alice"), 1);
  EXPECT_EQ(hash_table_find(table_, 5, "alice"), nullptr);
  EXPECT_NE(hash_table_find(table_, 4, "alic"), nullptr);
  EXPECT_EQ(hash_table_count(table_), 2);
}

// Many keys share each of the 7 chains; every one stays reachable, and keys
// whose hash has its top bit set land inside the table.
TEST_F(HashTableTest, ChainsHoldManyKeys) {
  std::vector<std::uint32_t> keys;
  for (std::uint32_t session = 0; session < 500; ++session) keys.push_back(session * 2654435761u);
  bool top_bit_seen = false;
  for (std::uint32_t key : keys) {
    top_bit_seen |= (table_hash(&key, 4) & 0x80000000u) != 0;
    HashEntry* entry = hash_table_insert(table_, 4, &key, 4, nullptr);
    ASSERT_NE(entry, nullptr);
    std::memcpy(hash_table_payload(entry), &key, 4);
  }
  EXPECT_TRUE(top_bit_seen);
  EXPECT_EQ(hash_table_count(table_), 500);
  for (std::size_t k = 0; k < keys.size(); k += 2) {
    EXPECT_EQ(hash_table_remove(table_, 4, &keys[k]), 1);
  }
  for (std::size_t k = 0; k < keys.size(); ++k) {
    HashEntry* entry = hash_table_find(table_, 4, &keys[k]);
    if (k % 2 == 0) {
      EXPECT_EQ(entry, nullptr);
    } else {
      ASSERT_NE(entry, nullptr);
      EXPECT_EQ(std::memcmp(hash_table_payload(entry), &keys[k], 4), 0);
    }
  }
  EXPECT_EQ(hash_table_count(table_), 250);
}

TEST_F(HashTableTest, RefusalsAndNoMemory) {
  int found = -1;
  EXPECT_EQ(hash_table_insert(table_, -1, "x", 4, &found), nullptr);
  EXPECT_EQ(hash_table_insert(table_, 3, nullptr, 4, &found), nullptr);
  EXPECT_EQ(hash_table_insert(table_, 1, "x", -4, &found), nullptr);
  EXPECT_EQ(hash_table_insert(nullptr, 1, "x", 4, &found), nullptr);
  EXPECT_EQ(hash_table_find(table_, -1, "x"), nullptr);
  EXPECT_EQ(hash_table_remove(table_, -1, "x"), 0);

  mem_fail_at(1);
  EXPECT_EQ(insert("carol", 8, &found), nullptr);
  mem_fail_at(0);
  EXPECT_EQ(found, 0);
  EXPECT_EQ(hash_table_count(table_), 0);
  EXPECT_EQ(hash_table_find(table_, 5, "carol"), nullptr);
}

TEST(HashTableCreate, RefusesNoBucketsAndKeepsNothingWithoutMemory) {
  const long held = mem_blocks_held();
  EXPECT_EQ(hash_table_create(0), nullptr);
  EXPECT_EQ(hash_table_create(-3), nullptr);
  for (long nth : {1, 2}) {
    mem_fail_at(nth);
    EXPECT_EQ(hash_table_create(16), nullptr) << nth;
    mem_fail_at(0);
    EXPECT_EQ(mem_blocks_held(), held) << nth;
  }
  hash_table_destroy(nullptr);
}

}  // namespace
