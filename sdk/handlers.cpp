// Steps that several message handlers share.
#include "sdk/handlers.h"

#include "protocol/values.h"
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

void avatar_session_store(Instance* instance, std::uint32_t session) {
  attribute_set_int(instance->attributes, ATTR_AVATAR_SESSION, static_cast<int>(session));
  avatar_name_lookup(instance, session);
}

void avatar_state_store(Instance* instance, const AvatarState& avatar) {
  AttributeStore* attributes = instance->attributes;
  attribute_set_int(attributes, ATTR_AVATAR_SESSION, static_cast<int>(avatar.session));
  attribute_set_int(attributes, ATTR_AVATAR_X, static_cast<int>(avatar.x));
  attribute_set_int(attributes, ATTR_AVATAR_Y, static_cast<int>(avatar.y));
  attribute_set_int(attributes, ATTR_AVATAR_Z, static_cast<int>(avatar.z));
  attribute_set_int(attributes, ATTR_AVATAR_YAW, static_cast<std::int16_t>(avatar.yaw));
  attribute_set_int(attributes, ATTR_AVATAR_TYPE, avatar.type);
  attribute_set_int(attributes, ATTR_AVATAR_GESTURE, avatar.gesture);
}

void cipher_keys_receive(Stream* stream) {
  std::uint16_t receive_discard = 0, send_discard = 0;
  if (stream_receive(stream, FIELD_WORD, &receive_discard, FIELD_WORD, &send_discard, FIELD_END) !=
      0) {
    return;
  }
  stream_set_ciphers(stream, kSessionKey, kSessionKeyLength, receive_discard, send_discard);
}

bool settings_receive(Stream* stream, int remaining, void (*apply)(Instance*, int, const char*),
                      Instance* instance) {
  while (remaining > 0) {
    std::uint8_t key = 0;
    char value[256];
    if (stream_receive(stream, FIELD_BYTE, &key, FIELD_STRING, value, FIELD_REMAINING, &remaining,
                       FIELD_STATUS) != 0) {
      return false;
    }
    apply(instance, key, value);
  }
  return true;
}

}  // namespace orbilo
