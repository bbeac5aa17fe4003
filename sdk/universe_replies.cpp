// The universe's messages beyond the road of a session: replies that complete
// the program's other requests, world lists, notices and the values the
// library reads without keeping them.
#include "sdk/universe_replies.h"

#include "protocol/messages.h"
#include "sdk/attributes.h"
#include "sdk/handlers.h"
#include "sdk/instance.h"
#include "sdk/stream.h"

namespace orbilo {

namespace universe_handlers {

namespace {

// true while the handler may go on reading: the instance lives and its
// universe stream is still the one being read (a handler of the program may
// have closed it). Another instance destroyed meanwhile takes nothing from
// this one.
bool still_reading(const Instance* instance, const Stream* stream) {
  return instance_is_live(instance) && instance->universe_stream == stream;
}

// Messages whose only field is the end: the callback gets the result.
void end_then_callback(Instance* instance, Stream* stream, int callback) {
  if (stream_receive(stream, FIELD_END) != 0) return;
  callback_fire(instance, callback, instance->last_universe_result);
}

void acknowledge(Stream* stream) {
  stream_send(stream, FIELD_BEGIN, to_universe::kAcknowledge, FIELD_END);
}

// One world of a list, reported when anyone listens: false when the handler
// ended the reading of this message.
bool report_world(Instance* instance, Stream* stream, const char* name, int status, int users) {
  if (!event_installed(EVENT_WORLD_LIST)) return true;
  attribute_set_string(instance->attributes, ATTR_WORLD_LIST_NAME, name);
  attribute_set_int(instance->attributes, ATTR_WORLD_LIST_STATUS, status);
  attribute_set_int(instance->attributes, ATTR_WORLD_LIST_USERS, users);
  event_fire(instance, EVENT_WORLD_LIST);
  return still_reading(instance, stream);
}

// The end of a list or of one of its pages, saying whether more follow.
void finish_world_list(Instance* instance, Stream* stream, int more) {
  stream_receive(stream, FIELD_END);
  attribute_set_int(instance->attributes, ATTR_WORLD_LIST_MORE, more);
  callback_fire(instance, CALLBACK_WORLD_LIST, instance->last_universe_result);
}

}  // namespace

void reply_1(Instance* instance, Stream* stream, int) {
  end_then_callback(instance, stream, CALLBACK_UNIVERSE_1);
}
void reply_4(Instance* instance, Stream* stream, int) {
  end_then_callback(instance, stream, CALLBACK_UNIVERSE_4);
}
void reply_11(Instance* instance, Stream* stream, int) {
  end_then_callback(instance, stream, CALLBACK_UNIVERSE_11);
}
void reply_29(Instance* instance, Stream* stream, int) {
  end_then_callback(instance, stream, CALLBACK_UNIVERSE_29);
}
void reply_31(Instance* instance, Stream* stream, int) {
  end_then_callback(instance, stream, CALLBACK_UNIVERSE_31);
}

// Message 9: asks for an acknowledgement.
void message_9(Instance*, Stream* stream, int) {
  if (stream_receive(stream, FIELD_END) == 0) acknowledge(stream);
}

// Message 10: a notice, acknowledged when its flag asks for it.
void message_10(Instance* instance, Stream* stream, int) {
  if (instance->last_universe_result != 0) return;
  library.current = instance;  // as the lists do, whether or not anyone listens
  std::uint32_t value = 0;
  char text[256];
  char long_text[1025];
  std::uint8_t flag = 0;
  if (stream_receive(stream, FIELD_LONG, &value, FIELD_STRING, text, FIELD_LONG_STRING, long_text,
                     FIELD_BYTE, &flag, FIELD_END) != 0) {
    return;
  }
  event_fire(instance, EVENT_UNIVERSE_10);
  if (flag != 0 && still_reading(instance, stream)) acknowledge(stream);
}

// Message 14: a world list, one entry after another to its end.
void world_list(Instance* instance, Stream* stream, int remaining) {
  library.current = instance;
  while (remaining > 0) {
    char name[256];
    std::uint8_t status = 0;
    std::uint16_t users = 0;
    if (stream_receive(stream, FIELD_STRING, name, FIELD_BYTE, &status, FIELD_WORD, &users,
                       FIELD_REMAINING, &remaining, FIELD_STATUS) != 0) {
      break;
    }
    if (!report_world(instance, stream, name, status, users)) return;
  }
  finish_world_list(instance, stream, 0);
}

// Message 33: one page of a world list, saying whether more follow.
void world_list_page(Instance* instance, Stream* stream, int) {
  library.current = instance;
  std::uint16_t count = 0;
  std::uint8_t more = 0;
  std::uint32_t unused = 0;
  stream_receive(stream, FIELD_WORD, &count, FIELD_BYTE, &more, FIELD_LONG, &unused, FIELD_STATUS);
  for (int entry = 0; entry < count && stream_status(stream) == 0; ++entry) {
    char name[256];
    std::uint8_t status = 0;
    std::uint16_t users = 0;
    if (stream_receive(stream, FIELD_STRING, name, FIELD_BYTE, &status, FIELD_WORD, &users,
                       FIELD_STATUS) != 0) {
      break;
    }
    if (!report_world(instance, stream, name, status, users)) return;
  }
  finish_world_list(instance, stream, more);
}

// Message 15: entries of three kinds, each reported by one event.
void message_15(Instance* instance, Stream* stream, int remaining) {
  library.current = instance;
  while (remaining > 0) {
    std::uint32_t value = 0;
    std::uint8_t kind = 0;
    char first[256], second[256];
    stream_receive(stream, FIELD_LONG, &value, FIELD_BYTE, &kind, FIELD_STATUS);
    if (kind == 0) stream_receive(stream, FIELD_STRING, first, FIELD_STATUS);
    if (kind == 1) stream_receive(stream, FIELD_STRING, first, FIELD_STRING, second, FIELD_STATUS);
    if (stream_receive(stream, FIELD_REMAINING, &remaining, FIELD_STATUS) != 0) return;
    event_fire(instance, EVENT_UNIVERSE_15);
    if (!still_reading(instance, stream)) return;
  }
  stream_receive(stream, FIELD_END);
}

void message_16(Instance* instance, Stream* stream, int) {
  std::uint32_t value = 0;
  char text[256];
  if (stream_receive(stream, FIELD_LONG, &value, FIELD_STRING, text, FIELD_END) != 0) return;
  event_fire(instance, EVENT_UNIVERSE_16);
}

void message_17(Instance* instance, Stream* stream, int) {
  std::uint32_t value = 0, second = 0, third = 0, fourth = 0;
  std::uint16_t fifth = 0;
  char text[256];
  stream_receive(stream, FIELD_LONG, &value, FIELD_STATUS);
  if (instance->last_universe_result == 0) {
    stream_receive(stream, FIELD_STRING, text, FIELD_LONG, &second, FIELD_LONG, &third, FIELD_LONG,
                   &fourth, FIELD_WORD, &fifth, FIELD_STATUS);
  }
  end_then_callback(instance, stream, CALLBACK_UNIVERSE_17);
}

void message_19(Instance* instance, Stream* stream, int remaining) {
  char text[256];
  if (remaining > 0) stream_receive(stream, FIELD_STRING, text, FIELD_STATUS);
  end_then_callback(instance, stream, CALLBACK_UNIVERSE_19);
}

// Message 23: a record of texts and values.
void message_23(Instance* instance, Stream* stream, int) {
  char text_1[256], text_2[256] = "", text_3[256] = "", text_4[256] = "";
  std::int32_t values[5] = {};
  std::uint32_t address = 0;
  std::uint8_t flag_1 = 0, flag_2 = 0;
  bool full = instance->last_universe_result == 0;
  bool newer = instance->universe_build >= kUniverseBuildRecordAddress;
  stream_receive(stream, FIELD_STRING, text_1, FIELD_STATUS);
  if (full) {
    stream_receive(stream, FIELD_STRING, text_2, FIELD_LONG, &values[0], FIELD_LONG, &values[1],
                   FIELD_STRING, text_3, FIELD_STRING, text_4, FIELD_LONG, &values[2], FIELD_LONG,
                   &values[3], FIELD_LONG, &values[4], FIELD_STATUS);
    if (newer) {
      stream_receive(stream, FIELD_RAW4, &address, FIELD_BYTE, &flag_1, FIELD_BYTE, &flag_2,
                     FIELD_STATUS);
    }
  }
  if (stream_receive(stream, FIELD_END) != 0) return;
  AttributeStore* attributes = instance->attributes;
  attribute_set_from_text(attributes, ATTR_RECORD_TEXT_1, text_1);
  if (full) {
    attribute_set_from_text(attributes, ATTR_RECORD_TEXT_2, text_2);
    attribute_set_int(attributes, ATTR_RECORD_VALUE_1, values[0]);
    attribute_set_int(attributes, ATTR_RECORD_VALUE_2, values[1]);
    attribute_set_from_text(attributes, ATTR_RECORD_TEXT_3, text_3);
    attribute_set_from_text(attributes, ATTR_RECORD_TEXT_4, text_4);
    attribute_set_int(attributes, ATTR_RECORD_VALUE_3, values[2]);
    attribute_set_int(attributes, ATTR_RECORD_VALUE_4, values[3]);
    attribute_set_int(attributes, ATTR_RECORD_VALUE_5, values[4]);
    if (newer) {
      attribute_set_int(attributes, ATTR_RECORD_ADDRESS, static_cast<int>(address));
      attribute_set_int(attributes, ATTR_RECORD_FLAG_1, flag_1);
      attribute_set_int(attributes, ATTR_RECORD_FLAG_2, flag_2);
    }
  }
  callback_fire(instance, CALLBACK_UNIVERSE_23, instance->last_universe_result);
}

void message_24(Instance* instance, Stream* stream, int) {
  char text[256];
  if (stream_receive(stream, FIELD_STRING, text, FIELD_END) != 0) return;
  attribute_set_from_text(instance->attributes, ATTR_RECORD_TEXT_1, text);
  callback_fire(instance, CALLBACK_UNIVERSE_24, instance->last_universe_result);
}

void message_26(Instance* instance, Stream* stream, int) {
  std::int32_t number = 0;
  if (stream_receive(stream, FIELD_LONG, &number, FIELD_END) != 0) return;
  attribute_set_int(instance->attributes, ATTR_CITIZEN_NUMBER, number);
  callback_fire(instance, CALLBACK_UNIVERSE_26, instance->last_universe_result);
}

// Message 28: a notice, kept only when someone listens.
void message_28(Instance* instance, Stream* stream, int) {
  std::uint16_t value_2 = 0, value_4 = 0;
  std::int32_t value_1 = 0, value_3 = 0;
  char text[256];
  if (stream_receive(stream, FIELD_WORD, &value_2, FIELD_LONG, &value_1, FIELD_STRING, text,
                     FIELD_LONG, &value_3, FIELD_WORD, &value_4, FIELD_END) != 0) {
    return;
  }
  if (!event_installed(EVENT_UNIVERSE_28)) return;
  AttributeStore* attributes = instance->attributes;
  attributes_set_ints(attributes, {{ATTR_NOTICE_VALUE_1, value_1},
                                   {ATTR_NOTICE_VALUE_2, value_2},
                                   {ATTR_NOTICE_VALUE_3, value_3},
                                   {ATTR_NOTICE_VALUE_4, value_4}});
  attribute_set_from_text(attributes, ATTR_NOTICE_TEXT, text);
  event_fire(instance, EVENT_UNIVERSE_28);
}

// Message 30: an entry, or only the result when there is none.
void message_30(Instance* instance, Stream* stream, int) {
  if (instance->last_universe_result == 0) {
    std::uint32_t value_1 = 0;
    std::int32_t value_2 = 0, value_3 = 0;
    int remaining = 0;
    char text[256] = "";
    stream_receive(stream, FIELD_RAW4, &value_1, FIELD_LONG, &value_2, FIELD_REMAINING, &remaining,
                   FIELD_STATUS);
    if (remaining > 0)
      stream_receive(stream, FIELD_LONG, &value_3, FIELD_STRING, text, FIELD_STATUS);
    if (stream_receive(stream, FIELD_END) != 0) return;
    AttributeStore* attributes = instance->attributes;
    attribute_set_int(attributes, ATTR_ENTRY_VALUE_1, static_cast<int>(value_1));
    attribute_set_int(attributes, ATTR_ENTRY_VALUE_2, value_2);
    if (remaining > 0) {
      attribute_set_int(attributes, ATTR_ENTRY_VALUE_3, value_3);
      attribute_set_from_text(attributes, ATTR_ENTRY_TEXT, text);
    }
  }
  callback_fire(instance, CALLBACK_UNIVERSE_30, instance->last_universe_result);
}

void message_41(Instance* instance, Stream* stream, int) {
  std::uint32_t value = 0;
  if (stream_receive(stream, FIELD_LONG, &value, FIELD_END) != 0) return;
  callback_fire(instance, CALLBACK_UNIVERSE_41, instance->last_universe_result);
}

// Messages 32 and 42: nothing to read and nothing to do.
void nothing(Instance*, Stream*, int) {}

// Message 43: reported like an entry of message 15; its end is checked after
// the event.
void message_43(Instance* instance, Stream* stream, int) {
  std::uint32_t value = 0;
  std::uint8_t kind = 0;
  char first[256], second[256];
  if (stream_receive(stream, FIELD_LONG, &value, FIELD_BYTE, &kind, FIELD_STRING, first,
                     FIELD_STRING, second, FIELD_STATUS) != 0) {
    return;
  }
  event_fire(instance, EVENT_UNIVERSE_15);
  if (still_reading(instance, stream)) stream_receive(stream, FIELD_END);
}

}  // namespace universe_handlers

}  // namespace orbilo
