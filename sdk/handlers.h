// What the handlers of received messages share: their shapes, and the steps
// that several of them take.
#pragma once

#include <cstdint>

#include "protocol/messages.h"

namespace orbilo {

struct Instance;
struct Stream;

// A universe message handler gets the count of the message's bytes after its
// result byte and id; a world message handler reads that count itself when it
// needs it.
using UniverseHandler = void (*)(Instance* instance, Stream* stream, int remaining);
using WorldHandler = void (*)(Instance* instance, Stream* stream);

// The ids take their link's and direction's type: a world id, or a bare
// number, in a universe table does not compile.
struct UniverseHandlerEntry {
  from_universe::Id id;
  UniverseHandler handler;
};

struct WorldHandlerEntry {
  from_world::Id id;
  WorldHandler handler;
  bool closes_link;  // the handler ends the world link: nothing more is read
};

// true while the stream's current message still has unread bytes: a handler
// further up is reading it and has run the pump from an event or callback
// (directly, or through an operation that waits). The stream's next message
// must wait until that handler is done, or the rest of the current one would
// be taken for it.
bool message_open(Stream* stream);

// Reads and drops what a handler left of its message, so that the next
// message starts where it should. There is no end check: the handlers that
// end their messages have checked already, and the others take no check.
void message_finish(Stream* stream);

// Sets ATTR_AVATAR_NAME from the avatar name table ("" for an unknown
// session).
void avatar_name_lookup(Instance* instance, std::uint32_t session);

}  // namespace orbilo
