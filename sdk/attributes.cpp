// The attribute store: the library-wide table of each attribute's type and
// read-only flag, and the per-instance slots with the operations that read and
// write them. The message handlers write through these directly; the public
// setters add the read-only check.
#include "sdk/attributes.h"

#include <locale.h>

#include <climits>
#include <cstdlib>
#include <cstring>

#include "net/memory.h"
#include "protocol/values.h"

namespace orbilo {

namespace {

constexpr std::size_t kMaxStringLength = 255;
constexpr int kMaxDataLength = 255;

struct AttributeRow {
  AttributeType type;
  bool read_only;
};

// One row for each attribute number, in number order.
constexpr AttributeRow kAttributeTable[] = {
    {kString, false},   // 0 ATTR_LOGIN_NAME
    {kString, false},   // 1 (none)
    {kInteger, false},  // 2 ATTR_LOGIN_OWNER
    {kString, false},   // 3 ATTR_LOGIN_PRIVILEGE_PASSWORD
    {kInteger, false},  // 4 (none)
    {kString, true},    // 5 ATTR_LOGIN_REPLY_NAME
    {kString, false},   // 6 ATTR_LOGIN_APPLICATION
    {kString, false},   // 7 (none)
    {kInteger, false},  // 8 ATTR_UNIVERSE_SETTING_0
    {kInteger, false},  // 9 ATTR_UNIVERSE_SETTING_1
    {kInteger, false},  // 10 ATTR_UNIVERSE_SETTING_2
    {kInteger, false},  // 11 ATTR_UNIVERSE_SETTING_3
    {kString, false},   // 12 ATTR_UNIVERSE_SETTING_4
    {kBoolean, true},   // 13 ATTR_UNIVERSE_SETTING_5
    {kInteger, false},  // 14 ATTR_UNIVERSE_BUILD
    {kString, false},   // 15 ATTR_UNIVERSE_SETTING_7
    {kString, false},   // 16 ATTR_UNIVERSE_SETTING_8
    {kInteger, true},   // 17 ATTR_UNIVERSE_SETTING_9
    {kBoolean, true},   // 18 ATTR_UNIVERSE_SETTING_10
    {kInteger, false},  // 19 ATTR_UNIVERSE_SETTING_11
    {kString, false},   // 20 ATTR_UNIVERSE_SETTING_12
    {kInteger, false},  // 21 ATTR_UNIVERSE_SETTING_13
    {kInteger, false},  // 22 ATTR_UNIVERSE_SETTING_14
    {kBoolean, false},  // 23 ATTR_UNIVERSE_SETTING_15
    {kString, false},   // 24 ATTR_UNIVERSE_SETTING_16
    {kInteger, false},  // 25 ATTR_CITIZEN_NUMBER
    {kString, false},   // 26 ATTR_CITIZEN_NAME
    {kString, false},   // 27 ATTR_CITIZEN_SETTING_1
    {kString, false},   // 28 ATTR_CITIZEN_SETTING_2
    {kInteger, true},   // 29 (none)
    {kString, false},   // 30 ATTR_CITIZEN_SETTING_3
    {kInteger, true},   // 31 ATTR_CITIZEN_SETTING_17
    {kInteger, false},  // 32 ATTR_CITIZEN_SETTING_18
    {kBoolean, false},  // 33 ATTR_CITIZEN_SETTING_19
    {kInteger, true},   // 34 ATTR_CITIZEN_SETTING_20
    {kInteger, false},  // 35 ATTR_CITIZEN_SETTING_21
    {kInteger, true},   // 36 ATTR_CITIZEN_SETTING_22
    {kBoolean, false},  // 37 ATTR_CITIZEN_SETTING_23
    {kString, false},   // 38 ATTR_CITIZEN_SETTING_24
    {kString, false},   // 39 ATTR_CITIZEN_SETTING_25
    {kString, false},   // 40 ATTR_WORLD_NAME
    {kString, false},   // 41 ATTR_WORLD_SETTING_0
    {kString, false},   // 42 ATTR_WORLD_SETTING_1
    {kString, false},   // 43 ATTR_WORLD_SETTING_2
    {kString, false},   // 44 ATTR_WORLD_OBJECT_PATH
    {kInteger, false},  // 45 ATTR_WORLD_SETTING_5
    {kString, false},   // 46 ATTR_WORLD_SETTING_6
    {kString, false},   // 47 ATTR_WORLD_SETTING_7
    {kString, false},   // 48 ATTR_WORLD_SETTING_8
    {kString, false},   // 49 ATTR_WORLD_SETTING_10
    {kInteger, false},  // 50 ATTR_WORLD_SETTING_11
    {kInteger, false},  // 51 ATTR_WORLD_SETTING_12
    {kInteger, false},  // 52 ATTR_WORLD_SETTING_13
    {kBoolean, true},   // 53 ATTR_WORLD_SETTING_14
    {kInteger, false},  // 54 ATTR_WORLD_SETTING_15
    {kBoolean, true},   // 55 ATTR_WORLD_SETTING_17
    {kString, false},   // 56 ATTR_WORLD_SETTING_18
    {kInteger, true},   // 57 ATTR_WORLD_SETTING_19
    {kString, false},   // 58 ATTR_WORLD_SETTING_20
    {kInteger, true},   // 59 ATTR_WORLD_BUILD
    {kData, false},     // 60 ATTR_WORLD_DATA
    {kBoolean, false},  // 61 ATTR_WORLD_SETTING_23
    {kInteger, false},  // 62 ATTR_WORLD_SETTING_24
    {kString, false},   // 63 ATTR_WORLD_SETTING_25
    {kString, false},   // 64 ATTR_WORLD_SETTING_26
    {kBoolean, true},   // 65 ATTR_WORLD_SETTING_27
    {kInteger, false},  // 66 ATTR_WORLD_SETTING_29
    {kBoolean, true},   // 67 ATTR_WORLD_SETTING_30
    {kBoolean, false},  // 68 ATTR_WORLD_SETTING_31
    {kBoolean, false},  // 69 ATTR_WORLD_SETTING_32
    {kBoolean, false},  // 70 ATTR_WORLD_SETTING_33
    {kBoolean, false},  // 71 ATTR_WORLD_SETTING_35
    {kString, false},   // 72 ATTR_WORLD_SETTING_36
    {kBoolean, true},   // 73 ATTR_WORLD_SETTING_37
    {kString, false},   // 74 ATTR_WORLD_SETTING_38
    {kBoolean, false},  // 75 ATTR_WORLD_SETTING_40
    {kFloat, false},    // 76 ATTR_WORLD_SETTING_41
    {kFloat, false},    // 77 ATTR_WORLD_SETTING_42
    {kFloat, false},    // 78 ATTR_WORLD_SETTING_43
    {kInteger, false},  // 79 ATTR_WORLD_SETTING_44
    {kInteger, false},  // 80 ATTR_WORLD_SETTING_45
    {kInteger, false},  // 81 ATTR_WORLD_SETTING_46
    {kInteger, false},  // 82 ATTR_WORLD_SETTING_47
    {kInteger, false},  // 83 ATTR_WORLD_SETTING_48
    {kInteger, false},  // 84 ATTR_WORLD_SETTING_49
    {kBoolean, false},  // 85 ATTR_WORLD_SETTING_50
    {kBoolean, false},  // 86 ATTR_WORLD_SETTING_51
    {kInteger, false},  // 87 ATTR_WORLD_SETTING_52
    {kInteger, false},  // 88 ATTR_WORLD_SETTING_53
    {kInteger, true},   // 89 ATTR_WORLD_SETTING_54
    {kInteger, true},   // 90 ATTR_WORLD_SETTING_55
    {kInteger, true},   // 91 ATTR_WORLD_SETTING_56
    {kInteger, true},   // 92 ATTR_WORLD_SETTING_58
    {kString, false},   // 93 ATTR_WORLD_SETTING_59
    {kInteger, false},  // 94 ATTR_WORLD_SETTING_60
    {kString, false},   // 95 ATTR_WORLD_SETTING_61
    {kInteger, false},  // 96 ATTR_WORLD_SETTING_62
    {kBoolean, false},  // 97 ATTR_WORLD_SETTING_63
    {kString, false},   // 98 ATTR_WORLD_SETTING_64
    {kBoolean, false},  // 99 ATTR_WORLD_SETTING_65
    {kBoolean, false},  // 100 ATTR_WORLD_SETTING_66
    {kInteger, true},   // 101 ATTR_WORLD_SETTING_68
    {kString, false},   // 102 ATTR_WORLD_SETTING_69
    {kInteger, false},  // 103 ATTR_MY_X
    {kInteger, false},  // 104 ATTR_MY_Y
    {kInteger, false},  // 105 ATTR_MY_Z
    {kInteger, false},  // 106 ATTR_MY_YAW
    {kInteger, false},  // 107 ATTR_MY_TYPE
    {kInteger, false},  // 108 ATTR_MY_GESTURE
    {kInteger, true},   // 109 ATTR_AVATAR_SESSION
    {kString, true},    // 110 ATTR_AVATAR_NAME
    {kInteger, true},   // 111 ATTR_AVATAR_X
    {kInteger, true},   // 112 ATTR_AVATAR_Y
    {kInteger, true},   // 113 ATTR_AVATAR_Z
    {kInteger, true},   // 114 ATTR_AVATAR_YAW
    {kInteger, true},   // 115 ATTR_AVATAR_TYPE
    {kInteger, true},   // 116 ATTR_AVATAR_GESTURE
    {kInteger, true},   // 117 ATTR_AVATAR_ADDRESS
    {kInteger, true},   // 118 ATTR_AVATAR_VALUE_1
    {kInteger, true},   // 119 ATTR_AVATAR_VALUE_2
    {kInteger, true},   // 120 ATTR_AVATAR_VALUE_3
    {kInteger, true},   // 121 ATTR_CHAT_SESSION
    {kString, true},    // 122 ATTR_CHAT_MESSAGE
    {kInteger, true},   // 123 ATTR_CELL_X
    {kInteger, true},   // 124 ATTR_CELL_Z
    {kInteger, true},   // 125 ATTR_CELL_SEQUENCE
    {kInteger, true},   // 126 ATTR_CELL_SIZE
    {kInteger, false},  // 127 ATTR_REPLY_VALUE
    {kBoolean, false},  // 128 (none)
    {kInteger, false},  // 129 ATTR_OBJECT_NUMBER
    {kInteger, false},  // 130 ATTR_OBJECT_X
    {kInteger, false},  // 131 ATTR_OBJECT_Y
    {kInteger, false},  // 132 ATTR_OBJECT_Z
    {kInteger, false},  // 133 ATTR_OBJECT_YAW
    {kInteger, false},  // 134 ATTR_OBJECT_TILT
    {kInteger, false},  // 135 ATTR_OBJECT_ROLL
    {kString, false},   // 136 ATTR_OBJECT_MODEL
    {kString, false},   // 137 ATTR_OBJECT_DESCRIPTION
    {kString, false},   // 138 ATTR_OBJECT_ACTION
    {kInteger, false},  // 139 (none)
    {kInteger, false},  // 140 (none)
    {kInteger, false},  // 141 (none)
    {kInteger, false},  // 142 ATTR_OBJECT_VALUE_1
    {kInteger, true},   // 143 ATTR_OBJECT_SEQUENCE
    {kInteger, false},  // 144 ATTR_OBJECT_VALUE_2
    {kBoolean, true},   // 145 ATTR_WORLD_REPLY_KIND
    {kInteger, true},   // 146 ATTR_CHAT_TYPE
    {kString, false},   // 147 ATTR_RECORD_TEXT_1
    {kString, false},   // 148 ATTR_RECORD_TEXT_2
    {kInteger, false},  // 149 ATTR_RECORD_VALUE_1
    {kInteger, false},  // 150 ATTR_RECORD_VALUE_2
    {kString, false},   // 151 ATTR_RECORD_TEXT_3
    {kString, false},   // 152 ATTR_RECORD_TEXT_4
    {kInteger, true},   // 153 ATTR_RECORD_VALUE_3
    {kInteger, false},  // 154 ATTR_RECORD_VALUE_4
    {kInteger, true},   // 155 ATTR_RECORD_VALUE_5
    {kInteger, true},   // 156 ATTR_RECORD_ADDRESS
    {kBoolean, false},  // 157 ATTR_RECORD_FLAG_1
    {kBoolean, false},  // 158 ATTR_RECORD_FLAG_2
    {kString, true},    // 159 ATTR_WORLD_LIST_NAME
    {kInteger, true},   // 160 ATTR_WORLD_LIST_STATUS
    {kInteger, true},   // 161 ATTR_WORLD_LIST_USERS
    {kBoolean, true},   // 162 ATTR_WORLD_LIST_MORE
    {kInteger, false},  // 163 (none)
    {kInteger, false},  // 164 (none)
    {kInteger, false},  // 165 ATTR_ENTRY_KIND
    {kInteger, false},  // 166 ATTR_ENTRY_VALUE_1
    {kInteger, false},  // 167 ATTR_ENTRY_VALUE_2
    {kInteger, true},   // 168 ATTR_ENTRY_VALUE_3
    {kString, false},   // 169 ATTR_ENTRY_TEXT
    {kInteger, true},   // 170 ATTR_DISCONNECT_REASON
    {kInteger, false},  // 171 (none)
    {kInteger, true},   // 172 ATTR_NOTICE_VALUE_1
    {kString, true},    // 173 ATTR_NOTICE_TEXT
    {kInteger, true},   // 174 ATTR_NOTICE_VALUE_2
    {kInteger, false},  // 175 ATTR_NOTICE_VALUE_3
    {kInteger, false},  // 176 ATTR_NOTICE_VALUE_4
    {kInteger, true},   // 177 ATTR_TARGET_SESSION
    {kString, true},    // 178 ATTR_TARGET_NAME
    {kString, true},    // 179 ATTR_AVATAR_TEXT_1
    {kString, true},    // 180 ATTR_AVATAR_TEXT_2
    {kString, false},   // 181 ATTR_LOCATION_WORLD
    {kInteger, false},  // 182 ATTR_LOCATION_X
    {kInteger, false},  // 183 ATTR_LOCATION_Y
    {kInteger, false},  // 184 ATTR_LOCATION_Z
    {kInteger, false},  // 185 ATTR_LOCATION_YAW
    {kBoolean, false},  // 186 ATTR_LOCATION_FLAG
    {kInteger, true},   // 187 ATTR_WORLD_STATUS
    {kString, false},   // 188 ATTR_ENTITY_TEXT_1
    {kString, false},   // 189 ATTR_ENTITY_TEXT_2
    {kString, false},   // 190 ATTR_ENTITY_TEXT_3
    {kString, false},   // 191 ATTR_ENTITY_TEXT_4
    {kInteger, false},  // 192 ATTR_ENTITY_ID
    {kBoolean, false},  // 193 ATTR_ENTITY_FLAG_1
    {kInteger, true},   // 194 ATTR_ENTITY_VALUE_1
    {kInteger, true},   // 195 ATTR_ENTITY_VALUE_2
    {kInteger, true},   // 196 ATTR_ENTITY_VALUE_3
    {kInteger, true},   // 197 ATTR_ENTITY_VALUE_4
    {kInteger, true},   // 198 ATTR_ENTITY_VALUE_5
    {kInteger, true},   // 199 ATTR_ENTITY_VALUE_6
    {kInteger, true},   // 200 ATTR_ENTITY_VALUE_7
    {kBoolean, true},   // 201 ATTR_ENTITY_FLAG_2
    {kInteger, true},   // 202 ATTR_ENTITY_VALUE_8
    {kInteger, true},   // 203 ATTR_ITEM_VALUE_1
    {kInteger, true},   // 204 ATTR_ITEM_VALUE_2
    {kInteger, false},  // 205 ATTR_PAGE_X
    {kInteger, false},  // 206 ATTR_PAGE_Z
    {kInteger, false},  // 207 ATTR_NODE_VALUE_1
    {kInteger, false},  // 208 ATTR_NODE_VALUE_2
    {kInteger, false},  // 209 ATTR_NODE_VALUE_3
    {kInteger, false},  // 210 ATTR_NODE_COUNT_1
    {kInteger, false},  // 211 ATTR_NODE_COUNT_2
    {kData, false},     // 212 ATTR_NODE_DATA_1
    {kData, false},     // 213 ATTR_NODE_DATA_2
    {kInteger, true},   // 214 ATTR_PAGE_VALUE
    {kBoolean, true},   // 215 ATTR_PAGE_FLAG
    {kBoolean, false},  // 216 ATTR_WORLD_LOGIN_OPTION
    {kInteger, false},  // 217 ATTR_WORLD_NOTICE_VALUE_1
    {kInteger, false},  // 218 ATTR_WORLD_NOTICE_VALUE_2
    {kInteger, false},  // 219 ATTR_WORLD_NOTICE_VALUE_3
    {kBoolean, false},  // 220 ATTR_WORLD_NOTICE_FLAG_1
    {kBoolean, false},  // 221 ATTR_WORLD_NOTICE_FLAG_2
    {kString, false},   // 222 ATTR_WORLD_NOTICE_TEXT
};
static_assert(sizeof kAttributeTable / sizeof kAttributeTable[0] == ATTR_COUNT);

}  // namespace

// A slot is one value: the member that its number's type selects.
struct AttributeSlot {
  union {
    std::int32_t integer;  // integer and boolean
    float real;            // float
    char* text;            // string: an owned copy, nullptr when empty
    std::uint8_t* bytes;   // data: an owned copy, nullptr when empty
  };
  std::int32_t length;  // data: the byte count
};

struct AttributeStore {
  AttributeSlot slots[ATTR_COUNT];
};

namespace {

constexpr int kNoAttribute = -1;

// The attribute of each world settings key (world message 1). Keys 22 and 57
// both fill the world data: 22 with the bytes as sent, 57 as hexadecimal text.
constexpr int kWorldSettingAttribute[] = {
    ATTR_WORLD_SETTING_0,    // key 0
    ATTR_WORLD_SETTING_1,    // key 1
    ATTR_WORLD_SETTING_2,    // key 2
    ATTR_WORLD_OBJECT_PATH,  // key 3
    kNoAttribute,            // key 4
    ATTR_WORLD_SETTING_5,    // key 5
    ATTR_WORLD_SETTING_6,    // key 6
    ATTR_WORLD_SETTING_7,    // key 7
    ATTR_WORLD_SETTING_8,    // key 8
    kNoAttribute,            // key 9
    ATTR_WORLD_SETTING_10,   // key 10
    ATTR_WORLD_SETTING_11,   // key 11
    ATTR_WORLD_SETTING_12,   // key 12
    ATTR_WORLD_SETTING_13,   // key 13
    ATTR_WORLD_SETTING_14,   // key 14
    ATTR_WORLD_SETTING_15,   // key 15
    kNoAttribute,            // key 16
    ATTR_WORLD_SETTING_17,   // key 17
    ATTR_WORLD_SETTING_18,   // key 18
    ATTR_WORLD_SETTING_19,   // key 19
    ATTR_WORLD_SETTING_20,   // key 20
    ATTR_WORLD_BUILD,        // key 21
    ATTR_WORLD_DATA,         // key 22
    ATTR_WORLD_SETTING_23,   // key 23
    ATTR_WORLD_SETTING_24,   // key 24
    ATTR_WORLD_SETTING_25,   // key 25
    ATTR_WORLD_SETTING_26,   // key 26
    ATTR_WORLD_SETTING_27,   // key 27
    kNoAttribute,            // key 28
    ATTR_WORLD_SETTING_29,   // key 29
    ATTR_WORLD_SETTING_30,   // key 30
    ATTR_WORLD_SETTING_31,   // key 31
    ATTR_WORLD_SETTING_32,   // key 32
    ATTR_WORLD_SETTING_33,   // key 33
    kNoAttribute,            // key 34
    ATTR_WORLD_SETTING_35,   // key 35
    ATTR_WORLD_SETTING_36,   // key 36
    ATTR_WORLD_SETTING_37,   // key 37
    ATTR_WORLD_SETTING_38,   // key 38
    kNoAttribute,            // key 39
    ATTR_WORLD_SETTING_40,   // key 40
    ATTR_WORLD_SETTING_41,   // key 41
    ATTR_WORLD_SETTING_42,   // key 42
    ATTR_WORLD_SETTING_43,   // key 43
    ATTR_WORLD_SETTING_44,   // key 44
    ATTR_WORLD_SETTING_45,   // key 45
    ATTR_WORLD_SETTING_46,   // key 46
    ATTR_WORLD_SETTING_47,   // key 47
    ATTR_WORLD_SETTING_48,   // key 48
    ATTR_WORLD_SETTING_49,   // key 49
    ATTR_WORLD_SETTING_50,   // key 50
    ATTR_WORLD_SETTING_51,   // key 51
    ATTR_WORLD_SETTING_52,   // key 52
    ATTR_WORLD_SETTING_53,   // key 53
    ATTR_WORLD_SETTING_54,   // key 54
    ATTR_WORLD_SETTING_55,   // key 55
    ATTR_WORLD_SETTING_56,   // key 56
    ATTR_WORLD_DATA,         // key 57
    ATTR_WORLD_SETTING_58,   // key 58
    ATTR_WORLD_SETTING_59,   // key 59
    ATTR_WORLD_SETTING_60,   // key 60
    ATTR_WORLD_SETTING_61,   // key 61
    ATTR_WORLD_SETTING_62,   // key 62
    ATTR_WORLD_SETTING_63,   // key 63
    ATTR_WORLD_SETTING_64,   // key 64
    ATTR_WORLD_SETTING_65,   // key 65
    ATTR_WORLD_SETTING_66,   // key 66
    kNoAttribute,            // key 67
    ATTR_WORLD_SETTING_68,   // key 68
    ATTR_WORLD_SETTING_69,   // key 69
};
static_assert(sizeof kWorldSettingAttribute / sizeof kWorldSettingAttribute[0] == 70);

// The world settings' values before each world's settings list, as text for
// attribute_set_from_text; the world data becomes empty. Attribute 101 is not
// listed: it keeps its value.
struct WorldDefault {
  int number;
  const char* text;
};

const WorldDefault kWorldDefaults[] = {
    {ATTR_WORLD_SETTING_0, ""},      {ATTR_WORLD_SETTING_1, ""},
    {ATTR_WORLD_SETTING_2, ""},      {ATTR_WORLD_OBJECT_PATH, kDefaultObjectPath},
    {ATTR_WORLD_SETTING_5, "10080"}, {ATTR_WORLD_SETTING_6, ""},
    {ATTR_WORLD_SETTING_7, ""},      {ATTR_WORLD_SETTING_8, ""},
    {ATTR_WORLD_SETTING_10, ""},     {ATTR_WORLD_SETTING_11, "0"},
    {ATTR_WORLD_SETTING_12, "0"},    {ATTR_WORLD_SETTING_13, "178"},
    {ATTR_WORLD_SETTING_14, "N"},    {ATTR_WORLD_SETTING_15, "0"},
    {ATTR_WORLD_SETTING_17, "N"},    {ATTR_WORLD_SETTING_18, ""},
    {ATTR_WORLD_SETTING_19, "0"},    {ATTR_WORLD_SETTING_20, ""},
    {ATTR_WORLD_BUILD, "0"},         {ATTR_WORLD_DATA, nullptr},
    {ATTR_WORLD_SETTING_23, "Y"},    {ATTR_WORLD_SETTING_24, "1"},
    {ATTR_WORLD_SETTING_25, ""},     {ATTR_WORLD_SETTING_26, ""},
    {ATTR_WORLD_SETTING_27, "N"},    {ATTR_WORLD_SETTING_29, "1500"},
    {ATTR_WORLD_SETTING_30, "N"},    {ATTR_WORLD_SETTING_31, "Y"},
    {ATTR_WORLD_SETTING_32, "Y"},    {ATTR_WORLD_SETTING_33, "Y"},
    {ATTR_WORLD_SETTING_35, "Y"},    {ATTR_WORLD_SETTING_36, ""},
    {ATTR_WORLD_SETTING_37, "N"},    {ATTR_WORLD_SETTING_38, "*"},
    {ATTR_WORLD_SETTING_40, "Y"},    {ATTR_WORLD_SETTING_41, "-0.8"},
    {ATTR_WORLD_SETTING_42, "-0.5"}, {ATTR_WORLD_SETTING_43, "-0.2"},
    {ATTR_WORLD_SETTING_44, "255"},  {ATTR_WORLD_SETTING_45, "255"},
    {ATTR_WORLD_SETTING_46, "255"},  {ATTR_WORLD_SETTING_47, "255"},
    {ATTR_WORLD_SETTING_48, "255"},  {ATTR_WORLD_SETTING_49, "255"},
    {ATTR_WORLD_SETTING_50, "N"},    {ATTR_WORLD_SETTING_51, "N"},
    {ATTR_WORLD_SETTING_52, "0"},    {ATTR_WORLD_SETTING_53, "120"},
    {ATTR_WORLD_SETTING_54, "0"},    {ATTR_WORLD_SETTING_55, "0"},
    {ATTR_WORLD_SETTING_56, "0"},    {ATTR_WORLD_SETTING_58, "-1"},
    {ATTR_WORLD_SETTING_59, "*"},    {ATTR_WORLD_SETTING_60, "10"},
    {ATTR_WORLD_SETTING_61, ""},     {ATTR_WORLD_SETTING_62, "30"},
    {ATTR_WORLD_SETTING_63, "Y"},    {ATTR_WORLD_SETTING_64, ""},
    {ATTR_WORLD_SETTING_65, "N"},    {ATTR_WORLD_SETTING_66, "N"},
    {ATTR_WORLD_SETTING_69, ""},
};

// After a world's settings list: attribute 94 at most 999, attribute 96
// within 30 to 100.
constexpr int kWorldSetting60Max = 999;
constexpr int kWorldSetting62Min = 30;
constexpr int kWorldSetting62Max = 100;

bool number_valid(int number) {
  return number >= 0 && number < ATTR_COUNT;
}

AttributeType type_of(int number) {
  return kAttributeTable[number].type;
}

bool is_text(AttributeType type) {
  return type == kString || type == kLongString;
}

// Empties a string or data slot, freeing its copy.
void clear_copy(AttributeSlot& slot, AttributeType type) {
  if (is_text(type)) {
    mem_free(slot.text);
    slot.text = nullptr;
  } else if (type == kData) {
    mem_free(slot.bytes);
    slot.bytes = nullptr;
    slot.length = 0;
  }
}

// The C locale, in which numbers are read from text whatever locale the
// program has chosen: a world's "2.5" is two and a half under a decimal comma
// too. Null when it cannot be made; the readers then fall back to the plain
// functions.
locale_t c_locale() {
  static const locale_t locale = newlocale(LC_ALL_MASK, "C", locale_t{});
  return locale;
}

// The text's leading decimal integer, held within the range of an int; 0 for
// a null text or one that starts with no number.
int leading_integer(const char* text) {
  if (text == nullptr) return 0;
  const locale_t locale = c_locale();
  const long value =
      locale != locale_t{} ? strtol_l(text, nullptr, 10, locale) : std::strtol(text, nullptr, 10);
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

// The text's leading decimal number as a float, read in the C locale; 0 for a
// null text or one that starts with no number.
float leading_float(const char* text) {
  if (text == nullptr) return 0;
  const locale_t locale = c_locale();
  return locale != locale_t{} ? strtof_l(text, nullptr, locale) : std::strtof(text, nullptr);
}

}  // namespace

AttributeStore* attributes_create() {
  return static_cast<AttributeStore*>(mem_calloc(1, sizeof(AttributeStore)));
}

void attributes_destroy(AttributeStore* store) {
  if (store == nullptr) return;
  for (int number = 0; number < ATTR_COUNT; ++number) {
    clear_copy(store->slots[number], type_of(number));
  }
  mem_free(store);
}

int attribute_type(int number) {
  return number_valid(number) ? type_of(number) : -1;
}

int attribute_is_read_only(int number) {
  if (!number_valid(number)) return RC_INVALID_ATTRIBUTE;
  return kAttributeTable[number].read_only ? 1 : 0;
}

int attribute_get_int(const AttributeStore* store, int number) {
  if (store == nullptr || !number_valid(number)) return 0;
  const AttributeType type = type_of(number);
  return type == kInteger || type == kBoolean ? store->slots[number].integer : 0;
}

int attribute_set_int(AttributeStore* store, int number, int value) {
  if (!number_valid(number)) return RC_INVALID_ATTRIBUTE;
  if (store == nullptr) return RC_NULL_POINTER;
  switch (type_of(number)) {
    case kInteger:
      store->slots[number].integer = value;
      return RC_SUCCESS;
    case kBoolean:
      store->slots[number].integer = value != 0 ? 1 : 0;
      return RC_SUCCESS;
    default:
      return RC_TYPE_MISMATCH;
  }
}

float attribute_get_float(const AttributeStore* store, int number) {
  if (store == nullptr || !number_valid(number) || type_of(number) != kFloat) return 0;
  return store->slots[number].real;
}

int attribute_set_float(AttributeStore* store, int number, float value) {
  if (!number_valid(number)) return RC_INVALID_ATTRIBUTE;
  if (store == nullptr) return RC_NULL_POINTER;
  if (type_of(number) != kFloat) return RC_TYPE_MISMATCH;
  store->slots[number].real = value;
  return RC_SUCCESS;
}

const char* attribute_get_string(const AttributeStore* store, int number) {
  if (store == nullptr || !number_valid(number) || !is_text(type_of(number))) return nullptr;
  const char* text = store->slots[number].text;
  return text != nullptr ? text : "";
}

int attribute_set_string(AttributeStore* store, int number, const char* text) {
  if (!number_valid(number)) return RC_INVALID_ATTRIBUTE;
  if (store == nullptr) return RC_NULL_POINTER;
  const AttributeType type = type_of(number);
  if (!is_text(type)) return RC_TYPE_MISMATCH;
  const std::size_t length = text != nullptr ? std::strlen(text) : 0;
  if (type == kString && length > kMaxStringLength) return RC_STRING_TOO_LONG;
  AttributeSlot& slot = store->slots[number];
  // A text no longer than the one held takes its place in its block (text
  // may be that one, or a part of it): no block is made and freed for each
  // report that names an avatar.
  if (length > 0 && slot.text != nullptr && std::strlen(slot.text) >= length) {
    std::memmove(slot.text, text, length);
    slot.text[length] = '\0';
    return RC_SUCCESS;
  }
  // The copy is made before the old one is freed: text may be the old one.
  char* copy = length > 0 ? mem_strdup(text, length) : nullptr;
  clear_copy(slot, type);
  slot.text = copy;
  return copy != nullptr || length == 0 ? RC_SUCCESS : RC_OUT_OF_MEMORY;
}

const std::uint8_t* attribute_get_data(const AttributeStore* store, int number, int* length) {
  if (length != nullptr) *length = 0;
  if (store == nullptr || !number_valid(number) || type_of(number) != kData) return nullptr;
  const AttributeSlot& slot = store->slots[number];
  if (slot.bytes == nullptr) return nullptr;
  if (length != nullptr) *length = slot.length;
  return slot.bytes;
}

int attribute_set_data(AttributeStore* store, int number, const std::uint8_t* bytes, int length) {
  if (!number_valid(number)) return RC_INVALID_ATTRIBUTE;
  if (store == nullptr) return RC_NULL_POINTER;
  if (type_of(number) != kData) return RC_TYPE_MISMATCH;
  if (length < 0 || length > kMaxDataLength) return RC_STRING_TOO_LONG;
  if (bytes == nullptr && length > 0) return RC_NULL_POINTER;
  // The copy is made before the old one is freed: bytes may be the old ones.
  std::uint8_t* copy = nullptr;
  if (length > 0) {
    copy = static_cast<std::uint8_t*>(mem_alloc(static_cast<std::size_t>(length)));
    if (copy != nullptr) std::memcpy(copy, bytes, static_cast<std::size_t>(length));
  }
  AttributeSlot& slot = store->slots[number];
  clear_copy(slot, kData);
  if (copy == nullptr) return length == 0 ? RC_SUCCESS : RC_OUT_OF_MEMORY;
  slot.bytes = copy;
  slot.length = length;
  return RC_SUCCESS;
}

int attribute_set_from_text(AttributeStore* store, int number, const char* text) {
  if (!number_valid(number)) return RC_INVALID_ATTRIBUTE;
  if (store == nullptr) return RC_NULL_POINTER;
  int rc = RC_SUCCESS;
  switch (type_of(number)) {
    case kInteger:
      rc = attribute_set_int(store, number, leading_integer(text));
      break;
    case kBoolean:
      rc = attribute_set_int(store, number, text != nullptr && (text[0] == 'Y' || text[0] == 'y'));
      break;
    case kFloat:
      rc = attribute_set_float(store, number, leading_float(text));
      break;
    case kString:
    case kLongString:
      rc = attribute_set_string(store, number, text);
      break;
    case kData:
      break;
  }
  // A refusal (a text too long) keeps the old value quietly; a copy that
  // could not be made is reported.
  return rc == RC_OUT_OF_MEMORY ? rc : RC_SUCCESS;
}

int universe_setting_attribute(int key) {
  return key >= 0 && key <= 16 ? ATTR_UNIVERSE_SETTING_0 + key : kNoAttribute;
}

int citizen_setting_attribute(int key) {
  if (key >= 0 && key <= 2) return ATTR_CITIZEN_NAME + key;
  if (key == 3) return ATTR_CITIZEN_SETTING_3;
  if (key >= 17 && key <= 25) return ATTR_CITIZEN_SETTING_17 + (key - 17);
  return kNoAttribute;
}

int world_setting_attribute(int key) {
  if (key < 0 || key >= static_cast<int>(sizeof kWorldSettingAttribute / sizeof(int))) {
    return kNoAttribute;
  }
  return kWorldSettingAttribute[key];
}

void attributes_reset_world_settings(AttributeStore* store) {
  if (store == nullptr) return;
  for (const WorldDefault& setting : kWorldDefaults) {
    if (type_of(setting.number) == kData) {
      attribute_set_data(store, setting.number, nullptr, 0);
    } else {
      attribute_set_from_text(store, setting.number, setting.text);
    }
  }
}

void attributes_clamp_world_settings(AttributeStore* store) {
  if (store == nullptr) return;
  const int setting_60 = attribute_get_int(store, ATTR_WORLD_SETTING_60);
  if (setting_60 > kWorldSetting60Max) {
    attribute_set_int(store, ATTR_WORLD_SETTING_60, kWorldSetting60Max);
  }
  const int setting_62 = attribute_get_int(store, ATTR_WORLD_SETTING_62);
  if (setting_62 < kWorldSetting62Min) {
    attribute_set_int(store, ATTR_WORLD_SETTING_62, kWorldSetting62Min);
  } else if (setting_62 > kWorldSetting62Max) {
    attribute_set_int(store, ATTR_WORLD_SETTING_62, kWorldSetting62Max);
  }
}

}  // namespace orbilo
