// The library's lifecycle and its instances: api_init and api_term, making and
// destroying instances, and the current instance on which every public call
// acts.
#include "sdk/library.h"

#include <arpa/inet.h>

#include <atomic>
#include <thread>

#include "net/clock.h"
#include "net/identity.h"
#include "net/memory.h"
#include "net/readiness.h"
#include "net/tcp.h"
#include "protocol/values.h"
#include "sdk/attributes.h"
#include "sdk/hash_table.h"
#include "sdk/instance.h"
#include "sdk/stream.h"

namespace orbilo {

Library library{};

namespace {

constexpr int kAvatarNameBuckets = 101;

// The thread that called api_init, or none. Every call compares its own
// thread with it before it touches anything else of the library, so that a
// call from another thread is refused without a race.
std::atomic<std::thread::id> owner_thread{};

bool on_owner_thread() {
  return owner_thread.load(std::memory_order_acquire) == std::this_thread::get_id();
}

// Unlinks instance from the list; true when it was there.
bool instance_unlink(Instance* instance) {
  for (Instance** link = &library.instances; *link != nullptr; link = &(*link)->next) {
    if (*link == instance) {
      *link = instance->next;
      return true;
    }
  }
  return false;
}

// Frees the instance's store, both streams, its name table and the record.
void instance_free(Instance* instance) {
  pump_forget(instance);
  attributes_destroy(instance->attributes);
  stream_destroy(instance->world_stream);
  stream_destroy(instance->universe_stream);
  hash_table_destroy(instance->avatar_names);
  mem_free(instance);
}

}  // namespace

bool library_initialised() {
  return on_owner_thread() && library.initialised != 0;
}

AttributeStore* current_attributes() {
  return library.current != nullptr ? library.current->attributes : nullptr;
}

bool instance_is_live(const Instance* instance) {
  if (instance == nullptr) return false;
  for (const Instance* each = library.instances; each != nullptr; each = each->next) {
    if (each == instance) return true;
  }
  return false;
}

extern "C" ORBILO_SDK_API int api_init(int build) {
  if (build != ORBILO_SDK_BUILD) return RC_VERSION_MISMATCH;
  std::thread::id none{};
  if (!owner_thread.compare_exchange_strong(none, std::this_thread::get_id(),
                                            std::memory_order_acq_rel) &&
      none != std::this_thread::get_id()) {
    return RC_NOT_INITIALIZED;  // the library belongs to another thread
  }
  if (library.initialised) return RC_SUCCESS;
  library.build = build;
  adapter_init();
  library.machine_id = identity_valid() ? identity_machine_id() : 0;
  if (net_startup() != 0) {
    owner_thread.store(std::thread::id{}, std::memory_order_release);
    return RC_UNABLE_TO_INITIALIZE_NETWORK;
  }
  clock_init();
  // Without a readiness set the library still runs; api_descriptor is -1.
  readiness_open();
  library.initialised = 1;
  return RC_SUCCESS;
}

extern "C" ORBILO_SDK_API void api_term() {
  if (!on_owner_thread()) return;
  while (library.instances != nullptr) {
    library.current = library.instances;
    api_destroy();
  }
  if (library.initialised) net_cleanup();
  readiness_close();
  library.initialised = 0;
  owner_thread.store(std::thread::id{}, std::memory_order_release);
}

extern "C" ORBILO_SDK_API int api_create(const char* host, int port, void** out_instance) {
  if (!library_initialised()) return RC_NOT_INITIALIZED;
  std::uint32_t address = 0;
  int rc = host_lookup(host != nullptr ? host : kDefaultUniverseHost, &address);
  if (rc != 0) return rc;
  // A port outside 1-65535 other than 0 cannot be reached: refuse it rather
  // than connect to whatever its low 16 bits name.
  if (port < 0 || port > 65535) return RC_UNABLE_TO_CONNECT;

  auto* instance = static_cast<Instance*>(mem_calloc(1, sizeof(Instance)));
  if (instance == nullptr) return RC_OUT_OF_MEMORY;
  instance->attributes = attributes_create();
  instance->avatar_names = hash_table_create(kAvatarNameBuckets);
  if (instance->attributes == nullptr || instance->avatar_names == nullptr) {
    instance_free(instance);
    return RC_OUT_OF_MEMORY;
  }
  instance->universe_address = address;
  instance->universe_port =
      htons(static_cast<std::uint16_t>(port == 0 ? kDefaultUniversePort : port));
  rc = universe_connect(instance);
  if (rc != 0) {
    instance_free(instance);
    return rc;
  }
  instance->world_state = kWorldNone;
  instance->universe_state = kUniverseConnected;
  instance_attend(instance);

  if (out_instance != nullptr) *out_instance = instance;
  instance->next = library.instances;
  library.instances = instance;
  library.current = instance;
  ++library.instance_count;
  return RC_SUCCESS;
}

extern "C" ORBILO_SDK_API int api_destroy() {
  if (!library_initialised()) return RC_NOT_INITIALIZED;
  Instance* instance = library.current;
  if (instance == nullptr) return RC_NO_INSTANCE;
  instance_unlink(instance);
  instance_free(instance);
  library.current = library.instances;
  --library.instance_count;
  library.instances_changed = 1;
  return RC_SUCCESS;
}

extern "C" ORBILO_SDK_API int api_instance_set(void* instance) {
  if (!library_initialised()) return RC_NOT_INITIALIZED;
  auto* wanted = static_cast<Instance*>(instance);
  if (!instance_is_live(wanted)) return RC_INVALID_INSTANCE;
  library.current = wanted;
  return RC_SUCCESS;
}

extern "C" ORBILO_SDK_API void* api_instance() {
  return library_initialised() ? library.current : nullptr;
}

extern "C" ORBILO_SDK_API int api_user_data_set(void* data) {
  if (!library_initialised()) return RC_NOT_INITIALIZED;
  if (library.current == nullptr) return RC_NO_INSTANCE;
  library.current->user_data = data;
  return RC_SUCCESS;
}

extern "C" ORBILO_SDK_API void* api_user_data() {
  if (!library_initialised() || library.current == nullptr) return nullptr;
  return library.current->user_data;
}

extern "C" ORBILO_SDK_API int api_descriptor() {
  return library_initialised() ? readiness_descriptor() : -1;
}

}  // namespace orbilo
