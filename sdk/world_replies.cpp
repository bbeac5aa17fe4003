// The world's replies to the program's requests and its smaller notices
// (messages 0, 13, 15, 21 to 29, 31 to 35, 37, 41, 43, 44, 47 and 48).
#include "protocol/messages.h"
#include "sdk/attributes.h"
#include "sdk/instance.h"
#include "sdk/stream.h"
#include "sdk/world_handlers.h"

namespace orbilo {

namespace world_handlers {

namespace {

constexpr int kRequestResultBase = 200;

// Messages 13 and 15: a reply of one kind or the other.
void reply_kind(Instance* instance, Stream* stream, int kind) {
  if (stream_receive(stream, FIELD_END) != 0) return;
  attribute_set_int(instance->attributes, ATTR_WORLD_REPLY_KIND, kind);
  callback_fire(instance, CALLBACK_WORLD_13_15, 0);
}

// The kind and value of an entry: a kind byte from build 39 on, then a long
// for kinds other than 0, raw bytes for kind 0.
void entry_read(Instance* instance, Stream* stream, std::uint8_t* kind, std::uint32_t* value) {
  *kind = 0;
  if (instance->world_build >= kWorldBuildEntryKind)
    stream_receive(stream, FIELD_BYTE, kind, FIELD_STATUS);
  if (*kind != 0) {
    stream_receive(stream, FIELD_LONG, value, FIELD_STATUS);
  } else {
    stream_receive(stream, FIELD_RAW4, value, FIELD_STATUS);
  }
}

// Messages 29 and 34: a result and a number for one attribute.
void result_and_number(Instance* instance, Stream* stream, int attribute, int callback) {
  std::uint8_t result = 0;
  std::int32_t value = 0;
  if (stream_receive(stream, FIELD_BYTE, &result, FIELD_LONG, &value, FIELD_END) != 0) return;
  attribute_set_int(instance->attributes, attribute, value);
  instance->last_world_result = result;
  callback_fire(instance, callback, result);
}

// Messages 33, 35, 37 and 47: a result and nothing else.
void result_only(Instance* instance, Stream* stream, int callback) {
  std::uint8_t result = 0;
  if (stream_receive(stream, FIELD_BYTE, &result, FIELD_END) != 0) return;
  instance->last_world_result = result;
  callback_fire(instance, callback, result);
}

}  // namespace

// Message 0: the result of a request, with the object it made.
void request_result(Instance* instance, Stream* stream) {
  std::int32_t value = 0;
  std::uint8_t result = 0;
  if (stream_receive(stream, FIELD_LONG, &value, FIELD_BYTE, &result, FIELD_END) != 0) return;
  instance->last_world_request_result = result == 0 ? 0 : kRequestResultBase + result;
  attribute_set_int(instance->attributes, ATTR_OBJECT_NUMBER, value);
  callback_fire(instance, CALLBACK_WORLD_0, instance->last_world_request_result);
}

// Messages 13 and 15.
void reply_kind_0(Instance* instance, Stream* stream) {
  reply_kind(instance, stream, 0);
}
void reply_kind_1(Instance* instance, Stream* stream) {
  reply_kind(instance, stream, 1);
}

// Message 21: one avatar's act on another.
void message_21(Instance* instance, Stream* stream) {
  std::uint32_t session = 0, target = 0;
  if (stream_receive(stream, FIELD_LONG, &session, FIELD_LONG, &target, FIELD_END) != 0) return;
  if (!event_installed(EVENT_WORLD_21)) return;
  avatar_session_store(instance, session);
  AttributeStore* attributes = instance->attributes;
  attribute_set_int(attributes, ATTR_TARGET_SESSION, static_cast<int>(target));
  const char* name = avatar_name_find(instance, target);
  attribute_set_string(attributes, ATTR_TARGET_NAME, name != nullptr ? name : "");
  event_fire(instance, EVENT_WORLD_21);
}

// Message 22: an avatar's address.
void message_22(Instance* instance, Stream* stream) {
  std::uint32_t session = 0, address = 0;
  std::uint8_t result = 0;
  if (stream_receive(stream, FIELD_LONG, &session, FIELD_BYTE, &result, FIELD_RAW4, &address,
                     FIELD_END) != 0) {
    return;
  }
  attribute_set_int(instance->attributes, ATTR_AVATAR_SESSION, static_cast<int>(session));
  attribute_set_int(instance->attributes, ATTR_AVATAR_ADDRESS, static_cast<int>(address));
  instance->last_world_result = result;
  callback_fire(instance, CALLBACK_WORLD_22, result);
}

// Message 23: two texts about an avatar.
void message_23(Instance* instance, Stream* stream) {
  std::uint32_t session = 0;
  char first[256], second[256];
  if (stream_receive(stream, FIELD_LONG, &session, FIELD_STRING, first, FIELD_STRING, second,
                     FIELD_END) != 0) {
    return;
  }
  if (!event_installed(EVENT_WORLD_23)) return;
  avatar_session_store(instance, session);
  attributes_set_strings(instance->attributes,
                         {{ATTR_AVATAR_TEXT_1, first}, {ATTR_AVATAR_TEXT_2, second}});
  event_fire(instance, EVENT_WORLD_23);
}

// Message 24: a location an avatar reports.
void message_24(Instance* instance, Stream* stream) {
  std::uint32_t session = 0;
  char world[256];
  std::int32_t x = 0, y = 0, z = 0;
  std::uint16_t yaw = 0;
  std::uint8_t flag = 0;
  if (stream_receive(stream, FIELD_LONG, &session, FIELD_STRING, world, FIELD_LONG, &x, FIELD_LONG,
                     &y, FIELD_LONG, &z, FIELD_WORD, &yaw, FIELD_BYTE, &flag, FIELD_END) != 0) {
    return;
  }
  if (!event_installed(EVENT_WORLD_24)) return;
  avatar_session_store(instance, session);
  AttributeStore* attributes = instance->attributes;
  attribute_set_string(attributes, ATTR_LOCATION_WORLD, world);
  attributes_set_ints(attributes, {{ATTR_LOCATION_X, x},
                                   {ATTR_LOCATION_Y, y},
                                   {ATTR_LOCATION_Z, z},
                                   {ATTR_LOCATION_YAW, yaw},
                                   {ATTR_LOCATION_FLAG, flag}});
  event_fire(instance, EVENT_WORLD_24);
}

void message_25(Instance* instance, Stream* stream) {
  std::uint8_t kind = 0, result = 0;
  std::uint32_t value = 0;
  entry_read(instance, stream, &kind, &value);
  if (stream_receive(stream, FIELD_BYTE, &result, FIELD_END) != 0) return;
  attribute_set_int(instance->attributes, ATTR_ENTRY_KIND, kind);
  attribute_set_int(instance->attributes, ATTR_ENTRY_VALUE_1, static_cast<int>(value));
  instance->last_world_result = result;
  callback_fire(instance, CALLBACK_WORLD_25, result);
}

void message_26(Instance* instance, Stream* stream) {
  std::uint8_t result = 0;
  if (stream_receive(stream, FIELD_BYTE, &result, FIELD_STATUS) != 0) return;
  instance->last_world_result = result;
  if (result != 0) {
    if (stream_receive(stream, FIELD_END) != 0) return;
  } else {
    std::uint8_t kind = 0;
    std::uint32_t value = 0;
    std::int32_t value_2 = 0, value_3 = 0;
    char text[256];
    entry_read(instance, stream, &kind, &value);
    if (stream_receive(stream, FIELD_LONG, &value_2, FIELD_LONG, &value_3, FIELD_STRING, text,
                       FIELD_STATUS) != 0) {
      return;
    }
    AttributeStore* attributes = instance->attributes;
    attribute_set_int(attributes, ATTR_ENTRY_VALUE_1, static_cast<int>(value));
    attribute_set_int(attributes, ATTR_ENTRY_VALUE_2, value_2);
    attribute_set_int(attributes, ATTR_ENTRY_VALUE_3, value_3);
    attribute_set_string(attributes, ATTR_ENTRY_TEXT, text);
    attribute_set_int(attributes, ATTR_ENTRY_KIND, kind);
  }
  callback_fire(instance, CALLBACK_WORLD_26, result);
}

// Message 27: the world's build, which chooses the form of later messages
// and of the next world login.
void world_build(Instance* instance, Stream* stream) {
  std::uint8_t build = 0, result = 0;
  if (stream_receive(stream, FIELD_BYTE, &build, FIELD_BYTE, &result, FIELD_END) != 0) return;
  instance->world_build = build;
  attribute_set_int(instance->attributes, ATTR_WORLD_STATUS, build);
  instance->last_world_result = result;
}

void message_28(Instance* instance, Stream* stream) {
  char text[256];
  std::uint8_t result = 0;
  std::int32_t id = 0;
  if (stream_receive(stream, FIELD_STRING, text, FIELD_BYTE, &result, FIELD_LONG, &id, FIELD_END) !=
      0) {
    return;
  }
  attribute_set_string(instance->attributes, ATTR_ENTITY_TEXT_1, text);
  attribute_set_int(instance->attributes, ATTR_ENTITY_ID, id);
  instance->last_world_result = result;
  callback_fire(instance, CALLBACK_WORLD_28_29, result);
}

void message_29(Instance* instance, Stream* stream) {
  result_and_number(instance, stream, ATTR_ENTITY_ID, CALLBACK_WORLD_28_29);
}

void message_31(Instance* instance, Stream* stream) {
  std::uint8_t result = 0, value = 0;
  if (stream_receive(stream, FIELD_BYTE, &result, FIELD_BYTE, &value, FIELD_END) != 0) return;
  attribute_set_int(instance->attributes, ATTR_ENTITY_FLAG_2, value);
  instance->last_world_result = result;
  callback_fire(instance, CALLBACK_WORLD_31, result);
}

void message_32(Instance* instance, Stream* stream) {
  std::int32_t id = 0;
  if (stream_receive(stream, FIELD_LONG, &id, FIELD_END) != 0) return;
  if (!event_installed(EVENT_WORLD_32)) return;
  attribute_set_int(instance->attributes, ATTR_ENTITY_ID, id);
  event_fire(instance, EVENT_WORLD_32);
}

void message_33(Instance* instance, Stream* stream) {
  result_only(instance, stream, CALLBACK_WORLD_33);
}
void message_35(Instance* instance, Stream* stream) {
  result_only(instance, stream, CALLBACK_WORLD_35);
}
void message_37(Instance* instance, Stream* stream) {
  result_only(instance, stream, CALLBACK_WORLD_37);
}
void message_47(Instance* instance, Stream* stream) {
  result_only(instance, stream, CALLBACK_WORLD_47);
}

void message_34(Instance* instance, Stream* stream) {
  result_and_number(instance, stream, ATTR_REPLY_VALUE, CALLBACK_WORLD_34);
}

void message_41(Instance* instance, Stream* stream) {
  std::uint8_t result = 0;
  std::uint16_t first = 0, second = 0;
  if (stream_receive(stream, FIELD_BYTE, &result, FIELD_WORD, &first, FIELD_WORD, &second,
                     FIELD_END) != 0) {
    return;
  }
  attribute_set_int(instance->attributes, ATTR_ITEM_VALUE_1, static_cast<std::int16_t>(first));
  attribute_set_int(instance->attributes, ATTR_ITEM_VALUE_2, static_cast<std::int16_t>(second));
  instance->last_world_result = result;
  callback_fire(instance, CALLBACK_WORLD_41, result);
}

// Message 43: a notice of the world.
void message_43(Instance* instance, Stream* stream) {
  std::uint8_t values[3] = {}, flags = 0;
  char text[256];
  if (stream_receive(stream, FIELD_BYTE, &values[0], FIELD_BYTE, &values[1], FIELD_BYTE, &values[2],
                     FIELD_BYTE, &flags, FIELD_STRING, text, FIELD_END) != 0) {
    return;
  }
  if (!event_installed(EVENT_WORLD_43)) return;
  AttributeStore* attributes = instance->attributes;
  attributes_set_ints(attributes, {{ATTR_WORLD_NOTICE_VALUE_1, values[0]},
                                   {ATTR_WORLD_NOTICE_VALUE_2, values[1]},
                                   {ATTR_WORLD_NOTICE_VALUE_3, values[2]},
                                   {ATTR_WORLD_NOTICE_FLAG_1, flags & 1},
                                   {ATTR_WORLD_NOTICE_FLAG_2, (flags >> 1) & 1}});
  attribute_set_from_text(attributes, ATTR_WORLD_NOTICE_TEXT, text);
  event_fire(instance, EVENT_WORLD_43);
}

void message_44(Instance* instance, Stream* stream) {
  std::uint16_t x = 0, z = 0;
  if (stream_receive(stream, FIELD_WORD, &x, FIELD_WORD, &z, FIELD_END) != 0) return;
  if (!event_installed(EVENT_WORLD_44)) return;
  attribute_set_int(instance->attributes, ATTR_PAGE_X, static_cast<std::int16_t>(x));
  attribute_set_int(instance->attributes, ATTR_PAGE_Z, static_cast<std::int16_t>(z));
  event_fire(instance, EVENT_WORLD_44);
}

void message_48(Instance* instance, Stream* stream) {
  std::uint8_t result = 0, value_1 = 0, value_2 = 0, size_code = 0;
  std::uint16_t x = 0, z = 0;
  if (stream_receive(stream, FIELD_BYTE, &result, FIELD_WORD, &x, FIELD_WORD, &z, FIELD_BYTE,
                     &value_1, FIELD_BYTE, &value_2, FIELD_BYTE, &size_code, FIELD_END) != 0) {
    return;
  }
  AttributeStore* attributes = instance->attributes;
  attributes_set_ints(attributes, {{ATTR_PAGE_X, static_cast<std::int16_t>(x)},
                                   {ATTR_PAGE_Z, static_cast<std::int16_t>(z)},
                                   {ATTR_NODE_VALUE_1, value_1},
                                   {ATTR_NODE_VALUE_2, value_2},
                                   {ATTR_NODE_VALUE_3, size_code * 2}});
  instance->last_world_result = result;
  callback_fire(instance, CALLBACK_WORLD_48, result);
}

}  // namespace world_handlers

}  // namespace orbilo
