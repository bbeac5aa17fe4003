// The table hash and a chained hash table keyed by byte strings. An entry is
// one block: its header, a copy of the key, and the payload after the key on
// an aligned boundary.
#include "sdk/hash_table.h"

#include <cstddef>
#include <cstring>

#include "net/memory.h"

namespace orbilo {

namespace {

// The 256 values of the table hash; the world servers hold the same.
constexpr std::uint32_t kTableHash[256] = {
    0xf73dae57, 0xed758e1c, 0x77868f0a, 0xafa6739b, 0x05a5f896, 0x1fe83366, 0x5ad95ee2, 0x773ab00d,
    0x97850933, 0x4eaa9c36, 0x6b4d255d, 0xd1d266c2, 0x17064f87, 0x7869c2e2, 0xdca800c1, 0x4489f270,
    0x08087259, 0x1dd0882e, 0x4bc6cb38, 0x8a638114, 0x8bce9478, 0x825f89d5, 0x56fbf7c9, 0x3435a294,
    0x948a5376, 0xabab8b28, 0x947ab560, 0x951d0340, 0x62e2d5e0, 0x174254f1, 0x2d9726b9, 0xe82e0166,
    0xb309bdf4, 0xe8091961, 0xb0036924, 0x184e43fd, 0x89cab98e, 0x15ab371d, 0x34f735b1, 0x22f2e83b,
    0xbe70d3f7, 0x06df6011, 0x0c3332f3, 0xabe70e73, 0x50ec06d5, 0xe7a5ae3b, 0x9f4475d2, 0x452e8a67,
    0xf26bee26, 0x294f3cad, 0xfeecebb2, 0x8da131db, 0xe6e12778, 0xef01d7db, 0x3890460a, 0xb28b071e,
    0xa5f453ca, 0x4ded039a, 0x80d718bb, 0xc7f0a3d5, 0xb9204123, 0x946f0124, 0x243a3a0e, 0x45ec2d51,
    0x00b64dd6, 0x4a1e8ce7, 0x96865797, 0x87bf2b52, 0xd6fa917e, 0x9792db7e, 0xf5e7996d, 0xe5c5895e,
    0x5fc42350, 0x0a3c1cb1, 0x250693c2, 0x60aa942c, 0xae664dfc, 0x54a884db, 0x0fb81a12, 0x4905debf,
    0x8fa6b1c5, 0x3da392a4, 0x0c37910c, 0x47f32ff1, 0x53a13a7d, 0xa71e8a60, 0x8efd7fb7, 0x086723e8,
    0x5cffa8ed, 0x810eb61d, 0xd2008bcd, 0x8f39a3c8, 0x4101c236, 0x91f2589f, 0x44ce9e69, 0x768a5ae7,
    0x3bdd3bb0, 0x8bf27100, 0xdeb39cd6, 0x8dea1ae8, 0x54ff3ac7, 0x4df3dc90, 0xaefb02aa, 0x8370621e,
    0x1468ad56, 0x276a2096, 0xf53152ed, 0x54c7c96a, 0x9e82caa4, 0xb389aebf, 0x0ad7628f, 0xfa66c44f,
    0x6b211801, 0x4776bc0e, 0x26bcc579, 0x08885734, 0x3120bd42, 0x6caef74d, 0xd2f560db, 0x6d075d65,
    0x72fa1c07, 0x09319443, 0x1bd8fd39, 0x42608dbb, 0xae6b6d8f, 0x5e3067cb, 0x56715cb0, 0xe0ddb271,
    0xf6971696, 0x2d2a3e85, 0x45ae4a16, 0xb466b609, 0x1bb642ac, 0x72329af3, 0xc3f4201a, 0x175844fe,
    0xb4bfc208, 0xc7e94fb1, 0xc2f5f5d2, 0x15291fd6, 0x395ea2b9, 0x4afefa89, 0x3c749a76, 0x9cdfed4b,
    0xc6c147d1, 0x30861874, 0xea34c20f, 0x4c364662, 0x265b07df, 0x0f2518cb, 0x82ffd431, 0xe41ec976,
    0xc363bf22, 0x577b2dda, 0x9d78c0d2, 0xd23e3c63, 0x1a5a66ac, 0xac46a73a, 0x762726dc, 0x8a65381c,
    0x8fe81edc, 0x1e4ae61b, 0xbad50f15, 0xc66422de, 0xe5d8b247, 0x89f9185d, 0xad2f0994, 0x90447e9b,
    0x6f971657, 0x156d91bc, 0x42dae910, 0x9abb6ee4, 0x7b7f3fb2, 0xad3be2ce, 0x80121f5a, 0x480cc6cd,
    0x25adc976, 0x224c6211, 0xfdee3f9b, 0x39616bf4, 0xb7e5918d, 0x5b4dc9b9, 0x6b55d104, 0x4256e762,
    0x93a3ab20, 0x46e0c627, 0x6f28d532, 0x92fb5351, 0x85c9d32b, 0x71f5e903, 0xd7a1ea71, 0x3fcb5279,
    0x729009d3, 0x1c5b27a5, 0xa3ba1f69, 0x8ea2bb5c, 0x30c3712b, 0x46c6a842, 0x83642e24, 0x0f3598a3,
    0x62ea2caa, 0xe9c3bb26, 0xe10b1aee, 0x7a88dda8, 0xfadd6904, 0xd1fa83b8, 0xb549eae5, 0x8a25585b,
    0xe9c28a0b, 0x5c3ed011, 0x42843fb7, 0xac59bd1a, 0x590d5827, 0xaefa7327, 0xc194d134, 0xc7ef1c6e,
    0x5c03c4ac, 0x56712721, 0x161c2fe9, 0xe7b31143, 0x5196a128, 0xd85b3801, 0x0a8e2084, 0xf8fbda65,
    0xe7d8d3a9, 0x187697ad, 0x7629cfc3, 0x3961cafc, 0xe3f179a7, 0xc856ad3a, 0x039d4618, 0xcdc523f7,
    0x92066218, 0xfb11670c, 0x4a30c615, 0x264c742b, 0x235e6e12, 0x4c01d897, 0x85b2e732, 0xbb0d028d,
    0xbe3c69e3, 0x54267051, 0xfecf2e33, 0x958fade4, 0xb966d9b4, 0x283ae9cb, 0x133d5bc5, 0xe01f1554,
    0x1010da23, 0xe52d90db, 0x98f7331f, 0x6631eb01, 0x6a1ee55b, 0xa4011bd1, 0x44798a65, 0x6c08a569,
};

}  // namespace

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
