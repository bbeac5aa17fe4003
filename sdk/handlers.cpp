// Steps that several message handlers share.
#include "sdk/handlers.h"

#include "sdk/attributes.h"
#include "sdk/instance.h"
#include "sdk/stream.h"

namespace orbilo {

bool message_open(Stream* stream) {
  int unread = 0;
  return stream_receive(stream, FIELD_REMAINING, &unread, FIELD_STATUS) == 0 && unread > 0;
}

void message_finish(Stream* stream) {
  int rest = 0;
  stream_receive(stream, FIELD_REMAINING, &rest, FIELD_STATUS);
  if (rest > 0) stream_receive(stream, FIELD_SKIP, rest, FIELD_END);
}

void avatar_name_lookup(Instance* instance, std::uint32_t session) {
  const char* name = avatar_name_find(instance, session);
  attribute_set_string(instance->attributes, ATTR_AVATAR_NAME, name != nullptr ? name : "");
}

}  // namespace orbilo
