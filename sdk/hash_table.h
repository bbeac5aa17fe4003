// A chained hash table keyed by byte strings, with a fixed bucket count, and
// the table hash: a 32-bit table-driven hash whose 256 values the world servers
// share (the world login carries the table hash of its check bytes).
#pragma once

#include <cstdint>

namespace orbilo {

// The table hash of bytes[0..length): h = 0; for each byte b,
// h = (h >> 8) ^ T[(h ^ b) & 0xff].
std::uint32_t table_hash(const void* bytes, int length);

struct HashTable;
struct HashEntry;

// A new empty table with bucket_count buckets; nullptr when memory runs out.
HashTable* hash_table_create(int bucket_count);

// The entry with an equal key (*found = 1), or a new entry with a copy of the
// key and an uninitialised payload of payload_size bytes, first in its chain
// (*found = 0); nullptr when the entry cannot be allocated.
HashEntry* hash_table_insert(HashTable* table, int key_length, const void* key, int payload_size,
                             int* found);

// The entry with an equal key, or nullptr.
HashEntry* hash_table_find(const HashTable* table, int key_length, const void* key);

// The entry's payload, on a 4-byte boundary.
void* hash_table_payload(HashEntry* entry);

// 1 when an entry with an equal key was unlinked and freed, 0 when none was.
int hash_table_remove(HashTable* table, int key_length, const void* key);

// The number of entries.
int hash_table_count(const HashTable* table);

// Frees every entry, the buckets and the table; nullptr is ignored.
void hash_table_destroy(HashTable* table);

}  // namespace orbilo
