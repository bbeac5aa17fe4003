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
// Sets ATTR_AVATAR_SESSION, and ATTR_AVATAR_NAME as avatar_name_lookup does.
void avatar_session_store(Instance* instance, std::uint32_t session);

// An avatar's place and look as a world reports it.
struct AvatarState {
  std::uint32_t session, x, y, z;
  std::uint16_t yaw;
  std::uint8_t type, gesture;
};
// Writes the avatar's session, place and look into its attributes.
void avatar_state_store(Instance* instance, const AvatarState& avatar);

// Reads the two keystream skips of a link's cipher-key message and keys both
// directions of the stream with the session key.
void cipher_keys_receive(Stream* stream);

// Reads (key byte, text) settings while the message has bytes left, handing
// each to apply(key, text): false when the message ran short.
bool settings_receive(Stream* stream, int remaining, void (*apply)(Instance*, int, const char*),
                      Instance* instance);

}  // namespace orbilo
