// The handlers of the universe's messages beyond the road of a session.
#pragma once

#include "sdk/handlers.h"

namespace orbilo {

// The handler of a universe message id other than the session's own, or
// nullptr when the id has none.
UniverseHandler universe_reply_handler(int id);

}  // namespace orbilo
