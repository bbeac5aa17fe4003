// Every allocation of the library goes through here, so that a test build can
// make the allocations fail one after another and prove that each failure
// surfaces as RC_OUT_OF_MEMORY or a lost link, never as a crash or a leak.
#pragma once

#include <cstddef>

namespace orbilo {

// Allocates size bytes (uninitialised); nullptr when memory runs out or when
// the failure hook says this allocation fails.
void* mem_alloc(std::size_t size);

// Allocates count * size zeroed bytes; nullptr on failure or overflow.
void* mem_calloc(std::size_t count, std::size_t size);

// Frees what mem_alloc or mem_calloc returned; nullptr is ignored.
void mem_free(void* block);

// Copies text (NUL-terminated) into a new block; nullptr on failure.
char* mem_strdup(const char* text, std::size_t length);

// Test hook: the nth allocation from now fails (1 is the next one); when
// persistent is true, every allocation from the nth on fails. 0 switches the
// hook off.
void mem_fail_at(long nth, bool persistent = false);

// Test hook: every allocation of size bytes or more fails, until the hook is
// given 0.
void mem_fail_from_size(std::size_t size);

// Test hook: allocations made since the process started, and blocks still
// held by the library (allocations minus frees).
long mem_allocation_count();
long mem_blocks_held();

}  // namespace orbilo
