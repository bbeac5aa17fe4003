// The world's lists and pages: the entries of message 30, and the node pages
// of messages 42 and 46 with their node records.
#include <cstring>

#include "protocol/messages.h"
#include "sdk/attributes.h"
#include "sdk/instance.h"
#include "sdk/stream.h"
#include "sdk/world_handlers.h"

namespace orbilo {

namespace world_handlers {

namespace {

constexpr int kNodeCells = 64;
constexpr int kUniformSize = 4;  // a uniform second array fills every cell at this size

}  // namespace

// Message 30: list entries, one event each.
void list_entries(Instance* instance, Stream* stream) {
  library.current = instance;
  AttributeStore* attributes = instance->attributes;
  int remaining = 0;
  if (stream_receive(stream, FIELD_REMAINING, &remaining, FIELD_STATUS) != 0) return;
  bool eighth = instance->world_build >= kWorldBuildEntryValue8;
  while (remaining > 0) {
    std::int32_t id = 0, value_2 = 0, value_3 = 0, value_4 = 0, value_6 = 0, value_8 = 0;
    std::uint8_t flag = 0, value_1 = 0, value_7 = 0;
    std::uint16_t value_5 = 0;
    char texts[4][256];
    stream_receive(stream, FIELD_LONG, &id, FIELD_BYTE, &flag, FIELD_STRING, texts[0], FIELD_STRING,
                   texts[1], FIELD_STRING, texts[2], FIELD_STRING, texts[3], FIELD_BYTE, &value_1,
                   FIELD_LONG, &value_2, FIELD_LONG, &value_3, FIELD_LONG, &value_4, FIELD_WORD,
                   &value_5, FIELD_LONG, &value_6, FIELD_BYTE, &value_7, FIELD_REMAINING,
                   &remaining, FIELD_STATUS);
    if (eighth)
      stream_receive(stream, FIELD_LONG, &value_8, FIELD_REMAINING, &remaining, FIELD_STATUS);
    if (stream_status(stream) != 0) return;
    attributes_set_strings(attributes, {{ATTR_ENTITY_TEXT_1, texts[0]},
                                        {ATTR_ENTITY_TEXT_2, texts[1]},
                                        {ATTR_ENTITY_TEXT_3, texts[2]},
                                        {ATTR_ENTITY_TEXT_4, texts[3]}});
    attributes_set_ints(attributes, {{ATTR_ENTITY_ID, id},
                                     {ATTR_ENTITY_FLAG_1, flag},
                                     {ATTR_ENTITY_VALUE_1, value_1},
                                     {ATTR_ENTITY_VALUE_2, value_2},
                                     {ATTR_ENTITY_VALUE_3, value_3},
                                     {ATTR_ENTITY_VALUE_4, value_4},
                                     {ATTR_ENTITY_VALUE_5, value_5},
                                     {ATTR_ENTITY_VALUE_6, value_6},
                                     {ATTR_ENTITY_VALUE_7, value_7},
                                     {ATTR_ENTITY_VALUE_8, value_8}});
    event_fire(instance, EVENT_WORLD_30);
    if (!world_still_reading(instance, stream)) return;
  }
  stream_receive(stream, FIELD_END);
}

namespace {

// One node record: two values, a size, and two arrays that arrive whole or
// as one value for every cell. false when it could not be read; the whole
// message ends then.
bool node_read(Instance* instance, Stream* stream) {
  std::uint8_t value_1 = 0, value_2 = 0, size_code = 0, first_whole = 0, second_whole = 0;
  if (stream_receive(stream, FIELD_BYTE, &value_1, FIELD_BYTE, &value_2, FIELD_BYTE, &size_code,
                     FIELD_BYTE, &first_whole, FIELD_BYTE, &second_whole, FIELD_STATUS) != 0) {
    return false;
  }
  auto size = static_cast<std::uint8_t>(size_code * 2);
  AttributeStore* attributes = instance->attributes;
  std::uint8_t first[kNodeCells];
  std::uint16_t second[kNodeCells] = {};
  if (first_whole != 0) {
    attribute_set_int(attributes, ATTR_NODE_COUNT_1, size * size);
    stream_receive(stream, FIELD_BYTES, kNodeCells, first, FIELD_STATUS);
  } else {
    attribute_set_int(attributes, ATTR_NODE_COUNT_1, 1);
    std::uint8_t fill = 0;
    stream_receive(stream, FIELD_BYTE, &fill, FIELD_STATUS);
    std::memset(first, fill, sizeof first);
  }
  if (second_whole != 0) {
    attribute_set_int(attributes, ATTR_NODE_COUNT_2, size * size);
    stream_receive(stream, FIELD_WORDS, kNodeCells, second, FIELD_STATUS);
  } else {
    attribute_set_int(attributes, ATTR_NODE_COUNT_2, 1);
    stream_receive(stream, FIELD_WORD, &second[0], FIELD_STATUS);
    if (size == kUniformSize) {
      for (std::uint16_t& cell : second) cell = second[0];
    }
  }
  if (stream_status(stream) != 0) return false;
  if (event_installed(EVENT_WORLD_42_NODE)) {
    attribute_set_int(attributes, ATTR_NODE_VALUE_1, value_1);
    attribute_set_int(attributes, ATTR_NODE_VALUE_2, value_2);
    attribute_set_int(attributes, ATTR_NODE_VALUE_3, size);
    attribute_set_data(attributes, ATTR_NODE_DATA_1, first, sizeof first);
    attribute_set_data(attributes, ATTR_NODE_DATA_2, reinterpret_cast<const std::uint8_t*>(second),
                       sizeof second);
    event_fire(instance, EVENT_WORLD_42_NODE);
  }
  return world_still_reading(instance, stream);
}

void page_store(AttributeStore* attributes, std::uint16_t x, std::uint16_t z) {
  attribute_set_int(attributes, ATTR_PAGE_X, static_cast<std::int16_t>(x));
  attribute_set_int(attributes, ATTR_PAGE_Z, static_cast<std::int16_t>(z));
}

}  // namespace

// Message 42: one page of nodes, between a beginning and an end event.
void node_page(Instance* instance, Stream* stream) {
  library.current = instance;
  AttributeStore* attributes = instance->attributes;
  std::uint8_t result = 0, flag = 0;
  std::uint16_t x = 0, z = 0;
  std::int32_t value = 0;
  int remaining = 0;
  if (stream_receive(stream, FIELD_BYTE, &result, FIELD_WORD, &x, FIELD_WORD, &z, FIELD_LONG,
                     &value, FIELD_BYTE, &flag, FIELD_REMAINING, &remaining, FIELD_STATUS) != 0) {
    return;
  }
  instance->last_world_result = result;
  if (result == 0) {
    if (event_installed(EVENT_WORLD_42_BEGIN)) {
      page_store(attributes, x, z);
      event_fire(instance, EVENT_WORLD_42_BEGIN);
      if (!world_still_reading(instance, stream)) return;
    }
    while (remaining > 0) {
      if (!node_read(instance, stream)) return;
      stream_receive(stream, FIELD_REMAINING, &remaining, FIELD_STATUS);
    }
    if (event_installed(EVENT_WORLD_42_END)) {
      attribute_set_int(attributes, ATTR_PAGE_VALUE, value);
      attribute_set_int(attributes, ATTR_PAGE_FLAG, flag == 0);
      event_fire(instance, EVENT_WORLD_42_END);
      if (!world_still_reading(instance, stream)) return;
    }
  }
  stream_receive(stream, FIELD_END);
}

// Message 46: nodes of several pages, completing a request.
void node_pages(Instance* instance, Stream* stream) {
  library.current = instance;
  AttributeStore* attributes = instance->attributes;
  std::uint8_t result = 0, flag = 0;
  int remaining = 0;
  if (stream_receive(stream, FIELD_BYTE, &result, FIELD_BYTE, &flag, FIELD_REMAINING, &remaining,
                     FIELD_STATUS) != 0) {
    return;
  }
  instance->last_world_result = result;
  if (result == 0) {
    while (remaining > 0) {
      std::uint16_t x = 0, z = 0;
      if (stream_receive(stream, FIELD_WORD, &x, FIELD_WORD, &z, FIELD_STATUS) != 0) return;
      page_store(attributes, x, z);
      if (!node_read(instance, stream)) return;
      stream_receive(stream, FIELD_REMAINING, &remaining, FIELD_STATUS);
    }
  }
  if (stream_receive(stream, FIELD_END) != 0) return;
  attribute_set_int(attributes, ATTR_PAGE_FLAG, flag == 0);
  callback_fire(instance, CALLBACK_WORLD_46, result);
}

}  // namespace world_handlers

}  // namespace orbilo
