#include "net/memory.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace orbilo {

namespace {

// Counters that a server running on another thread of the same process (as
// in the tests) may move at the same time; the library itself has one thread.
std::atomic<long> allocations{0};
std::atomic<long> blocks_held{0};
long fail_at = 0;  // allocation number (counted from the hook's arming) that fails
bool fail_persistent = false;
long armed_base = 0;
std::size_t fail_size = 0;  // allocations of this many bytes or more fail; 0: none

bool should_fail(std::size_t size) {
  long count = allocations.fetch_add(1, std::memory_order_relaxed) + 1;
  if (fail_size != 0 && size >= fail_size) return true;
  if (fail_at == 0) return false;
  long nth = count - armed_base;
  return fail_persistent ? nth >= fail_at : nth == fail_at;
}

}  // namespace

void* mem_alloc(std::size_t size) {
  if (should_fail(size)) return nullptr;
  void* block = std::malloc(size == 0 ? 1 : size);
  if (block != nullptr) blocks_held.fetch_add(1, std::memory_order_relaxed);
  return block;
}

void* mem_calloc(std::size_t count, std::size_t size) {
  if (size != 0 && count > static_cast<std::size_t>(-1) / size) return nullptr;
  void* block = mem_alloc(count * size);
  if (block != nullptr) std::memset(block, 0, count * size);
  return block;
}

void mem_free(void* block) {
  if (block == nullptr) return;
  blocks_held.fetch_sub(1, std::memory_order_relaxed);
  std::free(block);
}

char* mem_strdup(const char* text, std::size_t length) {
  char* copy = static_cast<char*>(mem_alloc(length + 1));
  if (copy == nullptr) return nullptr;
  std::memcpy(copy, text, length);
  copy[length] = '\0';
  return copy;
}

void mem_fail_at(long nth, bool persistent) {
  fail_at = nth < 0 ? 0 : nth;
  fail_persistent = persistent;
  armed_base = allocations.load(std::memory_order_relaxed);
}

void mem_fail_from_size(std::size_t size) {
  fail_size = size;
}

long mem_allocation_count() {
  return allocations.load(std::memory_order_relaxed);
}
long mem_blocks_held() {
  return blocks_held.load(std::memory_order_relaxed);
}

}  // namespace orbilo
