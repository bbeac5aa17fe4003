// The attribute store: 223 typed slots per instance, and the library-wide
// table of each number's type and read-only flag. These store operations do no
// read-only check; the public setters (api_int_set and kin) add it.
#pragma once

#include <cstdint>
#include <initializer_list>

#include "protocol/values.h"  // kDefaultObjectPath, the default of ATTR_WORLD_OBJECT_PATH
#include "sdk/sdk.h"

namespace orbilo {

enum AttributeType : std::int32_t {
  kInteger = 0,     // signed 32-bit
  kString = 1,      // at most 255 characters
  kLongString = 2,  // no length limit (no attribute of the table has it)
  kBoolean = 3,     // 0 or 1
  kFloat = 4,       // 32-bit IEEE
  kData = 5,        // 0 to 255 bytes
};

struct AttributeStore;

// A new store, all zero (integers 0, booleans false, strings and data empty);
// nullptr when memory runs out.
AttributeStore* attributes_create();
// Frees every string and data copy, then the store; nullptr is ignored.
void attributes_destroy(AttributeStore* store);

// The type of a valid number; -1 for an invalid one.
int attribute_type(int number);
// 1 when the table marks the number read-only, 0 when not, RC_INVALID_ATTRIBUTE
// for an invalid number.
int attribute_is_read_only(int number);

int attribute_get_int(const AttributeStore* store, int number);
int attribute_set_int(AttributeStore* store, int number, int value);
float attribute_get_float(const AttributeStore* store, int number);
int attribute_set_float(AttributeStore* store, int number, float value);
// nullptr for an invalid number or another type; "" for an empty slot.
const char* attribute_get_string(const AttributeStore* store, int number);
// RC_OUT_OF_MEMORY (slot left empty) when the copy cannot be made.
int attribute_set_string(AttributeStore* store, int number, const char* text);
// nullptr with *length 0 for an invalid number, another type or an empty slot.
const std::uint8_t* attribute_get_data(const AttributeStore* store, int number, int* length);
int attribute_set_data(AttributeStore* store, int number, const std::uint8_t* bytes, int length);
// Converts text by the number's type and stores it; 0 whatever the setter
// refused (a text too long keeps the old value), RC_INVALID_ATTRIBUTE for an
// invalid number, RC_OUT_OF_MEMORY (slot left empty) when the copy cannot be
// made.
int attribute_set_from_text(AttributeStore* store, int number, const char* text);

// An attribute and the value a message gives it.
struct IntAttribute {
  int number;
  int value;
};
struct TextAttribute {
  int number;
  const char* text;
};
// Sets each attribute of the list in turn, as attribute_set_int and
// attribute_set_string do.
inline void attributes_set_ints(AttributeStore* store, std::initializer_list<IntAttribute> values) {
  for (const IntAttribute& each : values) attribute_set_int(store, each.number, each.value);
}
inline void attributes_set_strings(AttributeStore* store,
                                   std::initializer_list<TextAttribute> values) {
  for (const TextAttribute& each : values) attribute_set_string(store, each.number, each.text);
}

// The keyed groups: the attribute that a key of the universe settings
// (universe message 21), of a citizen record (universe message 25) or of the
// world settings (world message 1) goes to, or -1 when the key is ignored.
int universe_setting_attribute(int key);
int citizen_setting_attribute(int key);
int world_setting_attribute(int key);

// Gives the world settings their values before a world's settings list is
// applied (attribute 101 keeps its value).
void attributes_reset_world_settings(AttributeStore* store);
// After the list: attribute 94 lowered to 999, attribute 96 held within 30-100.
void attributes_clamp_world_settings(AttributeStore* store);

}  // namespace orbilo
