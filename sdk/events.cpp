// Events and callbacks: the two library-wide handler tables, their
// registration, the dispatch that makes the reporting instance current first,
// and the event mask that tells the worlds which reports this client wants.
#include "protocol/messages.h"
#include "sdk/instance.h"
#include "sdk/library.h"

namespace orbilo {

namespace {

// Bits of the event mask (protocol/messages.h) and the events that ask for
// each.
struct MaskBit {
  std::uint32_t bit;
  std::uint32_t events;  // bit e set: event e asks for it
};

constexpr std::uint32_t event_bit(int event) {
  return 1u << event;
}

constexpr MaskBit kMaskBits[] = {
    {kMaskAvatars, event_bit(EVENT_AVATAR_ADD) | event_bit(EVENT_AVATAR_CHANGE) |
                       event_bit(EVENT_AVATAR_DELETE) | event_bit(EVENT_CHAT) |
                       event_bit(EVENT_WORLD_19) | event_bit(EVENT_WORLD_20) |
                       event_bit(EVENT_WORLD_21)},
    {kMaskAvatarChanges, event_bit(EVENT_AVATAR_CHANGE)},
    {kMaskChat, event_bit(EVENT_CHAT)},
    {kMaskObjects, event_bit(EVENT_OBJECT_ADD) | event_bit(EVENT_OBJECT_DELETE)},
    {kMaskObjectClick19, event_bit(EVENT_WORLD_19)},
    {kMaskObjectClick20, event_bit(EVENT_WORLD_20)},
    {kMaskAvatarAct21, event_bit(EVENT_WORLD_21)},
    {kMaskNotice43, event_bit(EVENT_WORLD_43)},
    {kMaskPage44, event_bit(EVENT_WORLD_44)},
};

}  // namespace

extern "C" ORBILO_SDK_API int api_event_set(int event, EventHandler handler) {
  if (!library_initialised()) return RC_NOT_INITIALIZED;
  if (event < 0 || event >= kEventCount) return RC_INVALID_ATTRIBUTE;
  library.events[event] = handler;
  library.events_changed = 1;
  return RC_SUCCESS;
}

extern "C" ORBILO_SDK_API int api_callback_set(int callback, CallbackHandler handler) {
  if (!library_initialised()) return RC_NOT_INITIALIZED;
  if (callback < 0 || callback >= kCallbackCount) return RC_INVALID_ATTRIBUTE;
  library.callbacks[callback] = handler;
  return RC_SUCCESS;
}

bool event_installed(int event) {
  return library.events[event] != nullptr;
}

bool callback_installed(int callback) {
  return library.callbacks[callback] != nullptr;
}

void event_fire(Instance* instance, int event) {
  EventHandler handler = library.events[event];
  if (handler == nullptr) return;
  library.current = instance;
  handler();
}

void callback_fire(Instance* instance, int callback, int rc) {
  CallbackHandler handler = library.callbacks[callback];
  if (handler == nullptr) return;
  library.current = instance;
  handler(rc);
}

bool event_mask_update() {
  std::uint32_t installed = 0;
  for (int event = 0; event < kEventCount; ++event) {
    if (library.events[event] != nullptr) installed |= event_bit(event);
  }
  std::uint32_t mask = 0;
  for (const MaskBit& each : kMaskBits) {
    if ((installed & each.events) != 0) mask |= each.bit;
  }
  bool changed = mask != library.event_mask;
  library.event_mask = mask;
  return changed;
}

}  // namespace orbilo
