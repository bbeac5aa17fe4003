// The world's messages: receive_world_message reads one and hands it to the
// handler of its id. The handlers keep the avatar name table, fill the
// attributes that the program reads, call its events and callbacks, and end
// the world link when the world says so.
#include <cstring>

#include "net/clock.h"
#include "protocol/messages.h"
#include "protocol/values.h"
#include "sdk/attributes.h"
#include "sdk/handlers.h"
#include "sdk/instance.h"
#include "sdk/stream.h"
#include "sdk/world_handlers.h"

namespace orbilo {

namespace {

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The bytes that hexadecimal text spells, two characters a byte. A pair that
// is not hexadecimal reads as 0, as a number parser would read it.
int hex_decode(const std::uint8_t* text, int length, std::uint8_t* bytes) {
  int count = length / 2;
  for (int k = 0; k < count; ++k) {
    int high = hex_digit(static_cast<char>(text[2 * k]));
    int low = hex_digit(static_cast<char>(text[2 * k + 1]));
    bytes[k] = static_cast<std::uint8_t>(high < 0 || low < 0 ? 0 : (high << 4) | low);
  }
  return count;
}

}  // namespace

// The session's own handlers, beside the table that names them all.
namespace world_handlers {

// Message 1: the world's attributes, which complete the world entry.
void world_attributes(Instance* instance, Stream* stream) {
  AttributeStore* attributes = instance->attributes;
  library.current = instance;
  attributes_reset_world_settings(attributes);
  int remaining = 0;
  if (stream_receive(stream, FIELD_REMAINING, &remaining, FIELD_STATUS) != 0) return;
  while (remaining > 0) {
    std::uint8_t key = 0;
    int length = 0;
    std::uint8_t value[256];
    if (stream_receive(stream, FIELD_BYTE, &key, FIELD_DATA, &length, value, FIELD_REMAINING,
                       &remaining, FIELD_STATUS) != 0) {
      return;
    }
    if (key >= world_setting::kKeyLimit) continue;
    if (key == world_setting::kRawData) {
      attribute_set_data(attributes, ATTR_WORLD_DATA, value, length);
    } else if (key == world_setting::kHexData) {
      std::uint8_t bytes[128];
      attribute_set_data(attributes, ATTR_WORLD_DATA, bytes, hex_decode(value, length, bytes));
    } else {
      int number = world_setting_attribute(key);
      if (number < 0) continue;
      value[length] = '\0';
      attribute_set_from_text(attributes, number, reinterpret_cast<const char*>(value));
    }
  }
  attributes_clamp_world_settings(attributes);
  if (attribute_get_int(attributes, ATTR_WORLD_SETTING_14) == 0) {
    attribute_set_data(attributes, ATTR_WORLD_DATA, nullptr, 0);
    attribute_set_string(attributes, ATTR_WORLD_OBJECT_PATH, "");
  }
  if (stream_receive(stream, FIELD_END) != 0) return;

  int build = attribute_get_int(attributes, ATTR_WORLD_BUILD);
  if (build > 0) instance->world_build = build;
  if (instance->cell_bound != 0) {
    attribute_set_int(attributes, ATTR_WORLD_SETTING_55, instance->cell_bound);
  }
  if (instance->lookup_value != 0) {
    attribute_set_int(attributes, ATTR_WORLD_SETTING_54, instance->lookup_value);
  }
  if (instance->world_state != kWorldEntered) world_send_event_mask(instance);
  instance->world_state = kWorldEntered;
  if (!instance->world_entered) {
    instance->world_entered = 1;
    callback_fire(instance, CALLBACK_ENTER, RC_SUCCESS);
    if (!world_still_reading(instance, stream)) return;
  }
  event_fire(instance, EVENT_WORLD_ATTRIBUTES);
  if (!world_still_reading(instance, stream)) return;
  // After a reconnect the bot reappears where it was.
  if (instance->state_sent && instance->world_state == kWorldEntered) {
    library.current = instance;
    api_state_change();
  }
}

// Message 2: an avatar arrives. Its name is kept whether or not anyone asks.
void avatar_add(Instance* instance, Stream* stream) {
  std::uint32_t session = 0, x = 0, y = 0, z = 0, value_2 = 0xffffffffu, value_3 = 0xffffffffu;
  std::uint16_t short_session = 0, yaw = 0, value_1 = 0;
  std::uint8_t type = 0, gesture = 0;
  char name[256];
  bool newer = instance->world_build >= kWorldBuildLongSession;
  if (newer) {
    stream_receive(stream, FIELD_LONG, &session, FIELD_STATUS);
  } else {
    stream_receive(stream, FIELD_WORD, &short_session, FIELD_STATUS);
    session = short_session;
  }
  stream_receive(stream, FIELD_STRING, name, FIELD_LONG, &x, FIELD_LONG, &y, FIELD_LONG, &z,
                 FIELD_WORD, &yaw, FIELD_BYTE, &type, FIELD_BYTE, &gesture, FIELD_STATUS);
  if (newer) {
    stream_receive(stream, FIELD_WORD, &value_1, FIELD_LONG, &value_2, FIELD_LONG, &value_3,
                   FIELD_END);
  } else {
    value_2 = value_3 = 0xffffffffu;  // the older form has none: 0, -1, -1
  }
  if (stream_status(stream) != 0) return;
  // A name that cannot be kept (no memory) is only missed by later lookups.
  avatar_name_store(instance, session, name);
  if (!event_installed(EVENT_AVATAR_ADD)) return;
  AttributeStore* attributes = instance->attributes;
  attribute_set_string(attributes, ATTR_AVATAR_NAME, name);
  avatar_state_store(instance, {session, x, y, z, yaw, type, gesture});
  attribute_set_int(attributes, ATTR_AVATAR_VALUE_1, value_1);
  attribute_set_int(attributes, ATTR_AVATAR_VALUE_2, static_cast<int>(value_2));
  attribute_set_int(attributes, ATTR_AVATAR_VALUE_3, static_cast<int>(value_3));
  event_fire(instance, EVENT_AVATAR_ADD);
}

// Message 3: an avatar leaves.
void avatar_delete(Instance* instance, Stream* stream) {
  std::uint16_t session = 0;
  if (stream_receive(stream, FIELD_WORD, &session, FIELD_END) != 0) return;
  if (!event_installed(EVENT_AVATAR_DELETE)) return;
  AttributeStore* attributes = instance->attributes;
  const char* name = avatar_name_find(instance, session);
  if (name != nullptr) {
    attribute_set_string(attributes, ATTR_AVATAR_NAME, name);
    avatar_name_remove(instance, session);
  }
  attribute_set_int(attributes, ATTR_AVATAR_SESSION, session);
  event_fire(instance, EVENT_AVATAR_DELETE);
}

// Message 4: an avatar moves or changes its look.
void avatar_change(Instance* instance, Stream* stream) {
  std::uint16_t session = 0, yaw = 0;
  std::uint32_t x = 0, y = 0, z = 0;
  std::uint8_t type = 0, gesture = 0;
  if (stream_receive(stream, FIELD_WORD, &session, FIELD_LONG, &x, FIELD_LONG, &y, FIELD_LONG, &z,
                     FIELD_WORD, &yaw, FIELD_BYTE, &type, FIELD_BYTE, &gesture, FIELD_END) != 0) {
    return;
  }
  if (!event_installed(EVENT_AVATAR_CHANGE)) return;
  avatar_name_lookup(instance, session);
  avatar_state_store(instance, {session, x, y, z, yaw, type, gesture});
  event_fire(instance, EVENT_AVATAR_CHANGE);
}

namespace {

// Messages 5, 12 and 18: chat of kind 1, 0 and 2. Chat from a session that
// is not in the name table is dropped.
void chat(Instance* instance, Stream* stream, int kind) {
  std::uint16_t session = 0;
  char text[256];
  if (stream_receive(stream, FIELD_WORD, &session, FIELD_STRING, text, FIELD_END) != 0) return;
  if (!event_installed(EVENT_CHAT)) return;
  const char* name = avatar_name_find(instance, session);
  if (name == nullptr) return;
  AttributeStore* attributes = instance->attributes;
  attribute_set_string(attributes, ATTR_AVATAR_NAME, name);
  attribute_set_int(attributes, ATTR_CHAT_SESSION, session);
  attribute_set_string(attributes, ATTR_CHAT_MESSAGE, text);
  attribute_set_int(attributes, ATTR_CHAT_TYPE, kind);
  event_fire(instance, EVENT_CHAT);
}

}  // namespace

void chat_said(Instance* instance, Stream* stream) {
  chat(instance, stream, 1);
}
void chat_broadcast(Instance* instance, Stream* stream) {
  chat(instance, stream, 0);
}
void chat_whispered(Instance* instance, Stream* stream) {
  chat(instance, stream, 2);
}

// Messages 9, 10, 14, 36 and 45: the world ends the link with a reason.
void ejected(Instance* instance, Stream*) {
  world_disconnect(instance, RC_EJECTED);
}
void disconnect_465(Instance* instance, Stream*) {
  world_disconnect(instance, 465);
}
void not_welcome(Instance* instance, Stream*) {
  world_disconnect(instance, RC_NOT_WELCOME);
}
void disconnect_489(Instance* instance, Stream*) {
  world_disconnect(instance, 489);
}
void disconnect_92(Instance* instance, Stream*) {
  world_disconnect(instance, 92);
}

// Message 11: both links are dropped and, where allowed, reopened.
void drop_both_links(Instance* instance, Stream*) {
  world_link_lost(instance);
  if (instance_is_live(instance)) universe_link_lost(instance);
}

// Message 16: the answer to a keep-alive.
void keep_alive_answer(Instance*, Stream*) {}

// Message 17: the cipher keys of the world link.
void cipher_keys(Instance*, Stream* stream) {
  cipher_keys_receive(stream);
}

}  // namespace world_handlers

namespace {

// Every world message with a handler, by id. A handler that ends the world
// link leaves nothing more to read.
constexpr WorldHandlerEntry kHandlers[] = {
    {from_world::kRequestResult, world_handlers::request_result, false},
    {from_world::kAttributes, world_handlers::world_attributes, false},
    {from_world::kAvatarAdd, world_handlers::avatar_add, false},
    {from_world::kAvatarDelete, world_handlers::avatar_delete, false},
    {from_world::kAvatarChange, world_handlers::avatar_change, false},
    {from_world::kChatSaid, world_handlers::chat_said, false},
    {from_world::kCellReply, world_handlers::cell_reply, false},
    {from_world::kObjectAdd, world_handlers::object_add, false},
    {from_world::kObjectDelete, world_handlers::object_delete, false},
    {from_world::kEjected, world_handlers::ejected, true},
    {from_world::kDisconnect465, world_handlers::disconnect_465, true},
    {from_world::kDropLinks, world_handlers::drop_both_links, true},
    {from_world::kChatBroadcast, world_handlers::chat_broadcast, false},
    {from_world::kReplyKind0, world_handlers::reply_kind_0, false},
    {from_world::kNotWelcome, world_handlers::not_welcome, true},
    {from_world::kReplyKind1, world_handlers::reply_kind_1, false},
    {from_world::kKeepAlive, world_handlers::keep_alive_answer, false},
    {from_world::kCipherKeys, world_handlers::cipher_keys, false},
    {from_world::kChatWhispered, world_handlers::chat_whispered, false},
    {from_world::kObjectClick19, world_handlers::object_click_19, false},
    {from_world::kObjectClick20, world_handlers::object_click_20, false},
    {from_world::kAvatarAct21, world_handlers::message_21, false},
    {from_world::kAvatarAddress22, world_handlers::message_22, false},
    {from_world::kAvatarTexts23, world_handlers::message_23, false},
    {from_world::kLocation24, world_handlers::message_24, false},
    {from_world::kEntry25, world_handlers::message_25, false},
    {from_world::kEntry26, world_handlers::message_26, false},
    {from_world::kWorldBuild, world_handlers::world_build, false},
    {from_world::kEntity28, world_handlers::message_28, false},
    {from_world::kEntity29, world_handlers::message_29, false},
    {from_world::kEntityList30, world_handlers::list_entries, false},
    {from_world::kEntityFlag31, world_handlers::message_31, false},
    {from_world::kEntity32, world_handlers::message_32, false},
    {from_world::kReply33, world_handlers::message_33, false},
    {from_world::kReplyValue34, world_handlers::message_34, false},
    {from_world::kReply35, world_handlers::message_35, false},
    {from_world::kDisconnect489, world_handlers::disconnect_489, true},
    {from_world::kReply37, world_handlers::message_37, false},
    {from_world::kItem41, world_handlers::message_41, false},
    {from_world::kNodePage, world_handlers::node_page, false},
    {from_world::kNotice43, world_handlers::message_43, false},
    {from_world::kPage44, world_handlers::message_44, false},
    {from_world::kDisconnect92, world_handlers::disconnect_92, true},
    {from_world::kNodePages, world_handlers::node_pages, false},
    {from_world::kReply47, world_handlers::message_47, false},
    {from_world::kNode48, world_handlers::message_48, false},
};

const WorldHandlerEntry* handler_of(int id) {
  for (const WorldHandlerEntry& entry : kHandlers) {
    if (entry.id == id) return &entry;
  }
  return nullptr;
}

}  // namespace

bool world_still_reading(const Instance* instance, const Stream* stream) {
  // Another instance destroyed by a handler takes nothing from this one.
  return instance_is_live(instance) && instance->world_stream == stream;
}

int receive_world_message(Instance* instance) {
  Stream* stream = instance->world_stream;
  if (message_open(stream)) return RC_NOT_YET;
  int rc = stream_read_message(stream);
  if (rc != 0) return rc;
  std::uint8_t id = 0;
  rc = stream_receive(stream, FIELD_BYTE, &id, FIELD_STATUS);
  if (rc != 0) return rc;
  instance->last_world_message_id = id;
  std::uint32_t now = clock_now();
  instance->last_world_receive = now != 0 ? now : 1;

  const WorldHandlerEntry* entry = handler_of(id);
  if (entry == nullptr) {
    int remaining = 0;
    stream_receive(stream, FIELD_REMAINING, &remaining, FIELD_STATUS);
    return stream_receive(stream, FIELD_SKIP, remaining, FIELD_END);
  }
  entry->handler(instance, stream);
  if (entry->closes_link) return RC_SUCCESS;
  // As for the universe: a link that outlives its handler finishes its message.
  if (library.instances_changed && !instance_is_live(instance)) return RC_SUCCESS;
  if (instance->world_stream != stream) return RC_SUCCESS;
  if (stream_status(stream) == 0) message_finish(stream);
  return stream_status(stream);
}

}  // namespace orbilo
