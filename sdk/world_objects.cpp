// The world's cells and objects: the cell reply with its bound, objects added
// and deleted, and the clicks on objects (messages 6, 7, 8, 19 and 20).
#include "protocol/messages.h"
#include "sdk/attributes.h"
#include "sdk/instance.h"
#include "sdk/stream.h"
#include "sdk/world_handlers.h"

namespace orbilo {

namespace world_handlers {

namespace {

constexpr int kCellSize = 1000;  // an object's x and z are offsets in its cell

// The fields of one object as they arrive.
struct Object {
  std::int32_t number = 0, value_1 = 0, value_2 = 0;
  std::uint16_t x = 0, y = 0, z = 0, yaw = 0, tilt = 0, roll = 0;
  char model[256] = "", description[256] = "", action[256] = "";
};

// Reads an object from its number to its three texts; tilt and roll only
// from tilted builds.
void object_read(Stream* stream, bool tilted, Object* object) {
  stream_receive(stream, FIELD_LONG, &object->number, FIELD_LONG, &object->value_1, FIELD_LONG,
                 &object->value_2, FIELD_WORD, &object->x, FIELD_WORD, &object->y, FIELD_WORD,
                 &object->z, FIELD_WORD, &object->yaw, FIELD_STATUS);
  if (tilted)
    stream_receive(stream, FIELD_WORD, &object->tilt, FIELD_WORD, &object->roll, FIELD_STATUS);
  stream_receive(stream, FIELD_STRING, object->model, FIELD_STRING, object->description,
                 FIELD_STRING, object->action, FIELD_STATUS);
}

// Writes the object fields; its x and z count from the cell's corner.
void object_store(AttributeStore* attributes, const Object& object, int cell_x, int cell_z) {
  attributes_set_ints(attributes,
                      {{ATTR_OBJECT_NUMBER, object.number},
                       {ATTR_OBJECT_VALUE_1, object.value_1},
                       {ATTR_OBJECT_VALUE_2, object.value_2},
                       {ATTR_OBJECT_X, cell_x * kCellSize + static_cast<std::int16_t>(object.x)},
                       {ATTR_OBJECT_Y, static_cast<std::int16_t>(object.y)},
                       {ATTR_OBJECT_Z, cell_z * kCellSize + static_cast<std::int16_t>(object.z)},
                       {ATTR_OBJECT_YAW, static_cast<std::int16_t>(object.yaw)},
                       {ATTR_OBJECT_TILT, static_cast<std::int16_t>(object.tilt)},
                       {ATTR_OBJECT_ROLL, static_cast<std::int16_t>(object.roll)}});
  attributes_set_strings(attributes, {{ATTR_OBJECT_MODEL, object.model},
                                      {ATTR_OBJECT_DESCRIPTION, object.description},
                                      {ATTR_OBJECT_ACTION, object.action}});
}

bool outside(int cell, int bound) {
  return cell < -bound || cell > bound;
}

}  // namespace

// Message 6: the objects of one cell. Cells outside the bound are dropped.
void cell_reply(Instance* instance, Stream* stream) {
  library.current = instance;
  AttributeStore* attributes = instance->attributes;
  std::uint16_t x = 0, z = 0;
  std::int32_t sequence = 0;
  int remaining = 0;
  if (stream_receive(stream, FIELD_WORD, &x, FIELD_WORD, &z, FIELD_LONG, &sequence, FIELD_REMAINING,
                     &remaining, FIELD_STATUS) != 0) {
    return;
  }
  int cell_x = static_cast<std::int16_t>(x);
  int cell_z = static_cast<std::int16_t>(z);
  attributes_set_ints(attributes, {{ATTR_CELL_X, cell_x},
                                   {ATTR_CELL_Z, cell_z},
                                   {ATTR_CELL_SEQUENCE, sequence},
                                   {ATTR_CELL_SIZE, remaining}});
  event_fire(instance, EVENT_CELL_BEGIN);
  if (!world_still_reading(instance, stream)) return;
  int bound = instance->cell_bound;
  if (bound != 0 && (outside(cell_x, bound) || outside(cell_z, bound))) {
    stream_receive(stream, FIELD_REMAINING, &remaining, FIELD_STATUS);
    stream_receive(stream, FIELD_SKIP, remaining, FIELD_STATUS);
    if (event_installed(EVENT_CELL_END)) {
      attribute_set_int(attributes, ATTR_CELL_SIZE, 0);
      event_fire(instance, EVENT_CELL_END);
    }
    return;
  }
  bool tilted = instance->world_build >= kWorldBuildTilted;
  while (remaining > 0) {
    Object object;
    object_read(stream, tilted, &object);
    if (stream_receive(stream, FIELD_REMAINING, &remaining, FIELD_STATUS) != 0) return;
    // Stored whether or not anyone listens: a program that waits for the
    // cell's end reads the last object.
    object_store(attributes, object, cell_x, cell_z);
    if (event_installed(EVENT_CELL_OBJECT)) {
      event_fire(instance, EVENT_CELL_OBJECT);
      if (!world_still_reading(instance, stream)) return;
    }
  }
  if (stream_receive(stream, FIELD_END) != 0) return;
  event_fire(instance, EVENT_CELL_END);
}

// Message 7: an object added to a cell.
void object_add(Instance* instance, Stream* stream) {
  bool tilted = instance->world_build >= kWorldBuildTilted;
  std::uint32_t sequence = 0;
  std::uint16_t short_sequence = 0, x = 0, z = 0;
  std::int32_t cell_sequence = 0;
  if (tilted) {
    stream_receive(stream, FIELD_LONG, &sequence, FIELD_STATUS);
  } else {
    stream_receive(stream, FIELD_WORD, &short_sequence, FIELD_STATUS);
    sequence = short_sequence;
  }
  stream_receive(stream, FIELD_LONG, &cell_sequence, FIELD_WORD, &x, FIELD_WORD, &z, FIELD_STATUS);
  Object object;
  object_read(stream, tilted, &object);
  if (stream_receive(stream, FIELD_END) != 0) return;
  if (!event_installed(EVENT_OBJECT_ADD)) return;
  AttributeStore* attributes = instance->attributes;
  int cell_x = static_cast<std::int16_t>(x), cell_z = static_cast<std::int16_t>(z);
  attributes_set_ints(attributes, {{ATTR_OBJECT_SEQUENCE, static_cast<int>(sequence)},
                                   {ATTR_CELL_SEQUENCE, cell_sequence},
                                   {ATTR_CELL_X, cell_x},
                                   {ATTR_CELL_Z, cell_z}});
  object_store(attributes, object, cell_x, cell_z);
  event_fire(instance, EVENT_OBJECT_ADD);
}

// Message 8: an object deleted from a cell.
void object_delete(Instance* instance, Stream* stream) {
  std::uint16_t sequence = 0, x = 0, z = 0;
  std::int32_t cell_sequence = 0, number = 0;
  if (stream_receive(stream, FIELD_WORD, &sequence, FIELD_LONG, &cell_sequence, FIELD_WORD, &x,
                     FIELD_WORD, &z, FIELD_LONG, &number, FIELD_END) != 0) {
    return;
  }
  if (!event_installed(EVENT_OBJECT_DELETE)) return;
  attributes_set_ints(instance->attributes, {{ATTR_OBJECT_SEQUENCE, sequence},
                                             {ATTR_CELL_SEQUENCE, cell_sequence},
                                             {ATTR_CELL_X, static_cast<std::int16_t>(x)},
                                             {ATTR_CELL_Z, static_cast<std::int16_t>(z)},
                                             {ATTR_OBJECT_NUMBER, number}});
  event_fire(instance, EVENT_OBJECT_DELETE);
}

namespace {

// Messages 19 and 20: an avatar clicked an object (19 carries the object's
// fields from tilted builds on).
void object_click(Instance* instance, Stream* stream, bool with_object, int event) {
  std::uint32_t session = 0;
  std::uint16_t x = 0, z = 0;
  std::int32_t number = 0;
  stream_receive(stream, FIELD_LONG, &session, FIELD_WORD, &x, FIELD_WORD, &z, FIELD_LONG, &number,
                 FIELD_STATUS);
  bool tilted = with_object && instance->world_build >= kWorldBuildTilted;
  Object object;
  if (tilted) {
    stream_receive(stream, FIELD_LONG, &object.value_1, FIELD_LONG, &object.value_2, FIELD_WORD,
                   &object.x, FIELD_WORD, &object.y, FIELD_WORD, &object.z, FIELD_WORD, &object.yaw,
                   FIELD_WORD, &object.tilt, FIELD_WORD, &object.roll, FIELD_STRING, object.model,
                   FIELD_STRING, object.description, FIELD_STRING, object.action, FIELD_END);
  } else if (!with_object) {
    stream_receive(stream, FIELD_END);
  }
  if (stream_status(stream) != 0 || !event_installed(event)) return;
  AttributeStore* attributes = instance->attributes;
  int cell_x = static_cast<std::int16_t>(x), cell_z = static_cast<std::int16_t>(z);
  avatar_session_store(instance, session);
  attribute_set_int(attributes, ATTR_CELL_X, cell_x);
  attribute_set_int(attributes, ATTR_CELL_Z, cell_z);
  object.number = number;
  if (tilted) {
    object_store(attributes, object, cell_x, cell_z);
  } else {
    attribute_set_int(attributes, ATTR_OBJECT_NUMBER, number);
  }
  event_fire(instance, event);
}

}  // namespace

void object_click_19(Instance* instance, Stream* stream) {
  object_click(instance, stream, true, EVENT_WORLD_19);
}
void object_click_20(Instance* instance, Stream* stream) {
  object_click(instance, stream, false, EVENT_WORLD_20);
}

}  // namespace world_handlers

}  // namespace orbilo
