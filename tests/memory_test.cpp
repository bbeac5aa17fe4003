#include "net/memory.h"

#include <gtest/gtest.h>

using namespace orbilo;

TEST(Memory, FailureHookFailsTheNthAllocationOnly) {
  mem_fail_at(2);
  void* first = mem_alloc(8);
  void* second = mem_alloc(8);
  void* third = mem_alloc(8);
  mem_fail_at(0);
  EXPECT_NE(first, nullptr);
  EXPECT_EQ(second, nullptr);
  EXPECT_NE(third, nullptr);
  mem_free(first);
  mem_free(third);
}

TEST(Memory, PersistentFailureAndBlockCount) {
  long held = mem_blocks_held();
  mem_fail_at(1, true);
  EXPECT_EQ(mem_alloc(1), nullptr);
  EXPECT_EQ(mem_calloc(2, 4), nullptr);
  mem_fail_at(0);
  char* copy = mem_strdup("abc", 3);
  ASSERT_NE(copy, nullptr);
  EXPECT_STREQ(copy, "abc");
  EXPECT_EQ(mem_blocks_held(), held + 1);
  mem_free(copy);
  EXPECT_EQ(mem_blocks_held(), held);
  EXPECT_EQ(mem_calloc(static_cast<std::size_t>(-1), 16), nullptr);
}
