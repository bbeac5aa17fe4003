// The handlers of the world's messages beyond the road of a session, each in
// the file of its kind. receive_world_message finds them, and the session's
// own, in one table.
#pragma once

#include "sdk/handlers.h"

namespace orbilo {

// true while a handler may go on reading: the instance lives and its world
// stream is still the one being read (a handler of the program may have
// closed it). Other instances may have come and gone meanwhile.
bool world_still_reading(const Instance* instance, const Stream* stream);

namespace world_handlers {

// sdk/world_objects.cpp: cells and objects (messages 6, 7, 8, 19 and 20).
void cell_reply(Instance* instance, Stream* stream);
void object_add(Instance* instance, Stream* stream);
void object_delete(Instance* instance, Stream* stream);
void object_click_19(Instance* instance, Stream* stream);
void object_click_20(Instance* instance, Stream* stream);

// sdk/world_replies.cpp: replies to requests and notices (messages 0, 13,
// 15, 21 to 29, 31 to 35, 37, 41, 43, 44, 47 and 48).
void request_result(Instance* instance, Stream* stream);
void reply_kind_0(Instance* instance, Stream* stream);
void reply_kind_1(Instance* instance, Stream* stream);
void message_21(Instance* instance, Stream* stream);
void message_22(Instance* instance, Stream* stream);
void message_23(Instance* instance, Stream* stream);
void message_24(Instance* instance, Stream* stream);
void message_25(Instance* instance, Stream* stream);
void message_26(Instance* instance, Stream* stream);
void world_build(Instance* instance, Stream* stream);
void message_28(Instance* instance, Stream* stream);
void message_29(Instance* instance, Stream* stream);
void message_31(Instance* instance, Stream* stream);
void message_32(Instance* instance, Stream* stream);
void message_33(Instance* instance, Stream* stream);
void message_34(Instance* instance, Stream* stream);
void message_35(Instance* instance, Stream* stream);
void message_37(Instance* instance, Stream* stream);
void message_41(Instance* instance, Stream* stream);
void message_43(Instance* instance, Stream* stream);
void message_44(Instance* instance, Stream* stream);
void message_47(Instance* instance, Stream* stream);
void message_48(Instance* instance, Stream* stream);

// sdk/world_nodes.cpp: lists and node pages (messages 30, 42 and 46).
void list_entries(Instance* instance, Stream* stream);
void node_page(Instance* instance, Stream* stream);
void node_pages(Instance* instance, Stream* stream);

}  // namespace world_handlers

}  // namespace orbilo
