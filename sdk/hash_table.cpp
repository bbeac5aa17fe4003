// The table hash and a chained hash table keyed by byte strings. An entry is
// one block: its header, a copy of the key, and the payload after the key on
// an aligned boundary.
#include "sdk/hash_table.h"

#include <cstddef>
#include <cstring>

#include "net/memory.h"
#include "protocol/values.h"

namespace orbilo {

// The 256 values of kTableHash are the protocol's, shared with the world servers.
std::uint32_t table_hash(const void* bytes, int length) {
  std::uint32_t hash = 0;
  if (bytes == nullptr) return hash;
  const auto* byte = static_cast<const std::uint8_t*>(bytes);
  for (int k = 0; k < length; ++k) hash = (hash >> 8) ^ kTableHash[(hash ^ byte[k]) & 0xff];
  return hash;
}

struct HashEntry {
  HashEntry* next;
  std::int32_t key_length;
  // The key's bytes follow the header; the payload follows the key.
};

struct HashTable {
  HashEntry** buckets;
  std::int32_t count;
  std::int32_t bucket_count;
};

namespace {

// The payload starts on a boundary that suits any type (so also on a 4-byte
// one), which lets a caller keep pointers or doubles in it.
constexpr std::size_t kPayloadAlignment = alignof(std::max_align_t);

std::uint8_t* entry_key(HashEntry* entry) {
  return reinterpret_cast<std::uint8_t*>(entry) + sizeof(HashEntry);
}

std::size_t payload_offset(std::size_t key_length) {
  const std::size_t end_of_key = sizeof(HashEntry) + key_length;
  return (end_of_key + kPayloadAlignment - 1) / kPayloadAlignment * kPayloadAlignment;
}

// A key is usable when its length is not negative and its bytes exist.
bool key_valid(int key_length, const void* key) {
  return key_length >= 0 && (key != nullptr || key_length == 0);
}

bool key_equals(HashEntry* entry, int key_length, const void* key) {
  if (entry->key_length != key_length) return false;
  return key_length == 0 ||
         std::memcmp(entry_key(entry), key, static_cast<std::size_t>(key_length)) == 0;
}

HashEntry** bucket_of(const HashTable* table, int key_length, const void* key) {
  const std::uint32_t hash = table_hash(key, key_length);
  return &table->buckets[hash % static_cast<std::uint32_t>(table->bucket_count)];
}

}  // namespace

HashTable* hash_table_create(int bucket_count) {
  if (bucket_count <= 0) return nullptr;
  auto* table = static_cast<HashTable*>(mem_alloc(sizeof(HashTable)));
  if (table == nullptr) return nullptr;
  table->buckets = static_cast<HashEntry**>(
      mem_calloc(static_cast<std::size_t>(bucket_count), sizeof(HashEntry*)));
  if (table->buckets == nullptr) {
    mem_free(table);
    return nullptr;
  }
  table->count = 0;
  table->bucket_count = bucket_count;
  return table;
}

HashEntry* hash_table_insert(HashTable* table, int key_length, const void* key, int payload_size,
                             int* found) {
  if (found != nullptr) *found = 0;
  if (table == nullptr || !key_valid(key_length, key) || payload_size < 0) return nullptr;
  HashEntry** bucket = bucket_of(table, key_length, key);
  for (HashEntry* entry = *bucket; entry != nullptr; entry = entry->next) {
    if (key_equals(entry, key_length, key)) {
      if (found != nullptr) *found = 1;
      return entry;
    }
  }
  const std::size_t size =
      payload_offset(static_cast<std::size_t>(key_length)) + static_cast<std::size_t>(payload_size);
  auto* entry = static_cast<HashEntry*>(mem_alloc(size));
  if (entry == nullptr) return nullptr;
  entry->key_length = key_length;
  if (key_length > 0) std::memcpy(entry_key(entry), key, static_cast<std::size_t>(key_length));
  entry->next = *bucket;
  *bucket = entry;
  ++table->count;
  return entry;
}

HashEntry* hash_table_find(const HashTable* table, int key_length, const void* key) {
  if (table == nullptr || !key_valid(key_length, key)) return nullptr;
  for (HashEntry* entry = *bucket_of(table, key_length, key); entry != nullptr;
       entry = entry->next) {
    if (key_equals(entry, key_length, key)) return entry;
  }
  return nullptr;
}

void* hash_table_payload(HashEntry* entry) {
  if (entry == nullptr) return nullptr;
  return reinterpret_cast<std::uint8_t*>(entry) +
         payload_offset(static_cast<std::size_t>(entry->key_length));
}

int hash_table_remove(HashTable* table, int key_length, const void* key) {
  if (table == nullptr || !key_valid(key_length, key)) return 0;
  for (HashEntry** link = bucket_of(table, key_length, key); *link != nullptr;
       link = &(*link)->next) {
    HashEntry* entry = *link;
    if (key_equals(entry, key_length, key)) {
      *link = entry->next;
      mem_free(entry);
      --table->count;
      return 1;
    }
  }
  return 0;
}

int hash_table_count(const HashTable* table) {
  return table == nullptr ? 0 : table->count;
}

void hash_table_destroy(HashTable* table) {
  if (table == nullptr) return;
  for (int bucket = 0; bucket < table->bucket_count; ++bucket) {
    HashEntry* entry = table->buckets[bucket];
    while (entry != nullptr) {
      HashEntry* next = entry->next;
      mem_free(entry);
      entry = next;
    }
  }
  mem_free(table->buckets);
  mem_free(table);
}

}  // namespace orbilo
