// The handlers of the universe's messages beyond the road of a session:
// replies that complete the program's other requests, world lists and
// notices. receive_universe_message finds them, and the session's own, in
// one table.
#pragma once

#include "sdk/handlers.h"

namespace orbilo {

namespace universe_handlers {

void reply_1(Instance* instance, Stream* stream, int remaining);
void reply_4(Instance* instance, Stream* stream, int remaining);
void message_9(Instance* instance, Stream* stream, int remaining);
void message_10(Instance* instance, Stream* stream, int remaining);
void reply_11(Instance* instance, Stream* stream, int remaining);
void world_list(Instance* instance, Stream* stream, int remaining);
void message_15(Instance* instance, Stream* stream, int remaining);
void message_16(Instance* instance, Stream* stream, int remaining);
void message_17(Instance* instance, Stream* stream, int remaining);
void message_19(Instance* instance, Stream* stream, int remaining);
void message_23(Instance* instance, Stream* stream, int remaining);
void message_24(Instance* instance, Stream* stream, int remaining);
void message_26(Instance* instance, Stream* stream, int remaining);
void message_28(Instance* instance, Stream* stream, int remaining);
void reply_29(Instance* instance, Stream* stream, int remaining);
void message_30(Instance* instance, Stream* stream, int remaining);
void reply_31(Instance* instance, Stream* stream, int remaining);
void world_list_page(Instance* instance, Stream* stream, int remaining);
void message_41(Instance* instance, Stream* stream, int remaining);
void message_43(Instance* instance, Stream* stream, int remaining);
// Messages 32 and 42: nothing to read and nothing to do.
void nothing(Instance* instance, Stream* stream, int remaining);

}  // namespace universe_handlers

}  // namespace orbilo
