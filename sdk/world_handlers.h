// The handlers of the world's messages beyond the road of a session: cells
// and objects, replies to requests, notices, lists and node pages.
#pragma once

#include <cstddef>

#include "sdk/handlers.h"

namespace orbilo {

// The entry of a world message id other than the session's own, or nullptr
// when the id has none. Each file of handlers answers for its own ids.
const WorldHandlerEntry* world_object_handler(int id);
const WorldHandlerEntry* world_reply_handler(int id);
const WorldHandlerEntry* world_node_handler(int id);

// true while a handler may go on reading: the instance lives and its world
// stream is still the one being read (a handler of the program may have
// closed it). Other instances may have come and gone meanwhile.
bool world_still_reading(const Instance* instance, const Stream* stream);

// Looks id up in a table of entries.
template <std::size_t N>
const WorldHandlerEntry* world_handler_find(const WorldHandlerEntry (&table)[N], int id) {
  for (const WorldHandlerEntry& entry : table) {
    if (entry.id == id) return &entry;
  }
  return nullptr;
}

}  // namespace orbilo
