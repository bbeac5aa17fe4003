// The avatar name table of an instance: avatar session numbers (widened to 32
// bits) to names. Names are kept whole up to 255 characters, since chat and
// kicks are matched by name and a cut name would match the wrong avatar.
#include <cstring>

#include "sdk/hash_table.h"
#include "sdk/instance.h"

namespace orbilo {

namespace {

// The key is the session's four bytes in memory order.
struct SessionKey {
  std::uint8_t bytes[4];
  explicit SessionKey(std::uint32_t session) { std::memcpy(bytes, &session, 4); }
};

}  // namespace

int avatar_name_store(Instance* instance, std::uint32_t session, const char* name) {
  SessionKey key(session);
  std::size_t length = name != nullptr ? strnlen(name, kAvatarNameMax) : 0;
  // An existing entry whose payload is too small for the new name is made anew.
  HashEntry* entry = hash_table_find(instance->avatar_names, 4, key.bytes);
  if (entry != nullptr) {
    auto* payload = static_cast<char*>(hash_table_payload(entry));
    if (std::strlen(payload) < length) {
      hash_table_remove(instance->avatar_names, 4, key.bytes);
      entry = nullptr;
    }
  }
  if (entry == nullptr) {
    int found = 0;
    entry = hash_table_insert(instance->avatar_names, 4, key.bytes, static_cast<int>(length) + 1,
                              &found);
    if (entry == nullptr) return RC_OUT_OF_MEMORY;
  }
  auto* payload = static_cast<char*>(hash_table_payload(entry));
  if (length > 0) std::memcpy(payload, name, length);
  payload[length] = '\0';
  return RC_SUCCESS;
}

const char* avatar_name_find(const Instance* instance, std::uint32_t session) {
  SessionKey key(session);
  HashEntry* entry = hash_table_find(instance->avatar_names, 4, key.bytes);
  return entry != nullptr ? static_cast<const char*>(hash_table_payload(entry)) : nullptr;
}

bool avatar_name_remove(Instance* instance, std::uint32_t session) {
  SessionKey key(session);
  return hash_table_remove(instance->avatar_names, 4, key.bytes) != 0;
}

}  // namespace orbilo
