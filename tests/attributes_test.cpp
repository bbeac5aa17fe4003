#include "sdk/attributes.h"

#include <gtest/gtest.h>

#include <cctype>
#include <climits>
#include <set>
#include <string>

#include "net/memory.h"

using namespace orbilo;

namespace {

// The type of every number, ten to a string: I integer, S string, B boolean,
// F float, D data; lower case marks read-only.
const char* const kTypes[] = {
    "SSISIsSSII", "IISbISSibI", "SIIBSISSSi", "SiIBiIiBSS", "SSSSSISSSS",  //   0- 49
    "IIIbIbSiSi", "DBISSbIbBB", "BBSbSBFFFI", "IIIIIBBIIi", "iiiSISIBSB",  //  50- 99
    "BiSIIIIIIi", "siiiiiiiii", "iisiiiiIBI", "IIIIIISSSI", "IIIiIbiSSI",  // 100-149
    "ISSiIiiBBs", "iibIIIIIiS", "iIisiIIiss", "sSIIIIBiSS", "SSIBiiiiii",  // 150-199
    "ibiiiIIIII", "IIDDibBIII", "BBS",                                     // 200-222
};

TEST(AttributeTable, TypesAndReadOnlyFlags) {
  std::string letters;
  for (const char* ten : kTypes) letters += ten;
  ASSERT_EQ(letters.size(), static_cast<std::size_t>(ATTR_COUNT));
  const std::string codes = "ISLBFD";
  for (int number = 0; number < ATTR_COUNT; ++number) {
    const char letter = letters[number];
    const char upper = static_cast<char>(std::toupper(letter));
    EXPECT_EQ(attribute_type(number), static_cast<int>(codes.find(upper))) << number;
    EXPECT_EQ(attribute_is_read_only(number), letter != upper ? 1 : 0) << number;
  }
  for (int number : {-1, ATTR_COUNT, INT_MIN, INT_MAX}) {
    EXPECT_EQ(attribute_type(number), -1);
    EXPECT_EQ(attribute_is_read_only(number), RC_INVALID_ATTRIBUTE);
  }
}

class AttributeStoreTest : public ::testing::Test {
 protected:
  void TearDown() override {
    mem_fail_at(0);
    attributes_destroy(store_);
    EXPECT_EQ(mem_blocks_held(), held_) << "a copy or the store leaked";
  }

  long held_ = mem_blocks_held();
  AttributeStore* store_ = attributes_create();
};

TEST_F(AttributeStoreTest, NumbersBooleansAndFloats) {
  ASSERT_NE(store_, nullptr);
  EXPECT_EQ(attribute_get_int(store_, ATTR_MY_X), 0);  // a new store is all zero
  EXPECT_EQ(attribute_set_int(store_, ATTR_MY_X, -1234), RC_SUCCESS);
  EXPECT_EQ(attribute_set_int(store_, ATTR_AVATAR_X, 7), RC_SUCCESS);  // no read-only check here
  EXPECT_EQ(attribute_set_int(store_, ATTR_LOCATION_FLAG, 5), RC_SUCCESS);
  EXPECT_EQ(attribute_get_int(store_, ATTR_LOCATION_FLAG), 1);
  EXPECT_EQ(attribute_set_float(store_, ATTR_WORLD_SETTING_41, -0.25f), RC_SUCCESS);

  // Refusals leave the slot as it was; a read of another type gives 0.
  EXPECT_EQ(attribute_set_float(store_, ATTR_MY_X, 1.5f), RC_TYPE_MISMATCH);
  EXPECT_EQ(attribute_set_int(store_, ATTR_WORLD_SETTING_41, 3), RC_TYPE_MISMATCH);
  EXPECT_EQ(attribute_set_int(store_, ATTR_LOGIN_NAME, 3), RC_TYPE_MISMATCH);
  EXPECT_EQ(attribute_get_int(store_, ATTR_MY_X), -1234);
  EXPECT_EQ(attribute_get_float(store_, ATTR_WORLD_SETTING_41), -0.25f);
  EXPECT_EQ(attribute_get_int(store_, ATTR_WORLD_SETTING_41), 0);
  EXPECT_EQ(attribute_get_float(store_, ATTR_MY_X), 0.0f);
}

TEST_F(AttributeStoreTest, StringsAndData) {
  const std::string longest(255, 'n');
  EXPECT_STREQ(attribute_get_string(store_, ATTR_LOGIN_NAME), "");  // never written
  EXPECT_EQ(attribute_get_string(store_, ATTR_LOGIN_OWNER), nullptr);
  EXPECT_EQ(attribute_set_string(store_, ATTR_LOGIN_NAME, longest.c_str()), RC_SUCCESS);
  EXPECT_EQ(attribute_set_string(store_, ATTR_LOGIN_NAME, (longest + "x").c_str()),
            RC_STRING_TOO_LONG);
  EXPECT_EQ(attribute_get_string(store_, ATTR_LOGIN_NAME), longest);
  EXPECT_EQ(attribute_set_string(store_, ATTR_LOGIN_NAME, ""), RC_SUCCESS);
  EXPECT_STREQ(attribute_get_string(store_, ATTR_LOGIN_NAME), "");
  EXPECT_EQ(attribute_set_string(store_, ATTR_MY_X, "12"), RC_TYPE_MISMATCH);
  attribute_set_string(store_, ATTR_LOGIN_NAME, "self");  // written from its own value
  EXPECT_EQ(attribute_set_string(store_, ATTR_LOGIN_NAME, attribute_get_string(store_, 0)), 0);
  EXPECT_STREQ(attribute_get_string(store_, ATTR_LOGIN_NAME), "self");

  const std::uint8_t bytes[255] = {1, 2, 3};
  int length = -1;
  EXPECT_EQ(attribute_get_data(store_, ATTR_WORLD_DATA, &length), nullptr);
  EXPECT_EQ(attribute_set_data(store_, ATTR_WORLD_DATA, bytes, 255), RC_SUCCESS);
  EXPECT_EQ(attribute_set_data(store_, ATTR_WORLD_DATA, bytes, 256), RC_STRING_TOO_LONG);
  EXPECT_EQ(attribute_set_data(store_, ATTR_WORLD_DATA, bytes, -1), RC_STRING_TOO_LONG);
  EXPECT_EQ(attribute_set_data(store_, ATTR_WORLD_DATA, nullptr, 4), RC_NULL_POINTER);
  EXPECT_EQ(attribute_set_data(store_, ATTR_LOGIN_NAME, bytes, 3), RC_TYPE_MISMATCH);
  const std::uint8_t* stored = attribute_get_data(store_, ATTR_WORLD_DATA, &length);
  ASSERT_NE(stored, nullptr);
  EXPECT_EQ(length, 255);
  EXPECT_EQ(attribute_set_data(store_, ATTR_WORLD_DATA, stored, 3), RC_SUCCESS);
  stored = attribute_get_data(store_, ATTR_WORLD_DATA, &length);
  EXPECT_EQ(length, 3);
  EXPECT_EQ(stored[2], 3);
  EXPECT_EQ(attribute_set_data(store_, ATTR_WORLD_DATA, bytes, 0), RC_SUCCESS);
  EXPECT_EQ(attribute_get_data(store_, ATTR_WORLD_DATA, &length), nullptr);
  EXPECT_EQ(length, 0);
}

TEST_F(AttributeStoreTest, NumbersOutsideTheTableAreRefusedByEveryOperation) {
  const std::uint8_t byte = 1;
  int length = -1;
  for (int number : {-1, ATTR_COUNT, 1000}) {
    EXPECT_EQ(attribute_set_int(store_, number, 1), RC_INVALID_ATTRIBUTE);
    EXPECT_EQ(attribute_set_float(store_, number, 1), RC_INVALID_ATTRIBUTE);
    EXPECT_EQ(attribute_set_string(store_, number, "x"), RC_INVALID_ATTRIBUTE);
    EXPECT_EQ(attribute_set_data(store_, number, &byte, 1), RC_INVALID_ATTRIBUTE);
    EXPECT_EQ(attribute_set_from_text(store_, number, "1"), RC_INVALID_ATTRIBUTE);
    EXPECT_EQ(attribute_get_int(store_, number) + attribute_get_float(store_, number), 0);
    EXPECT_EQ(attribute_get_string(store_, number), nullptr);
    EXPECT_EQ(attribute_get_data(store_, number, &length), nullptr);
    EXPECT_EQ(length, 0);
  }
}

TEST_F(AttributeStoreTest, SetFromTextConvertsByType) {
  const struct {
    int number;
    const char* text;
    int value;
  } cases[] = {
      {ATTR_MY_X, "123abc", 123},
      {ATTR_MY_X, "-45", -45},
      {ATTR_MY_X, "abc", 0},
      {ATTR_MY_X, nullptr, 0},
      {ATTR_MY_X, "99999999999", INT_MAX},
      {ATTR_LOCATION_FLAG, "Yes", 1},
      {ATTR_LOCATION_FLAG, "y", 1},
      {ATTR_LOCATION_FLAG, "1", 0},
      {ATTR_LOCATION_FLAG, "No", 0},
      {ATTR_LOCATION_FLAG, "", 0},
      {ATTR_LOCATION_FLAG, nullptr, 0},
  };
  for (const auto& c : cases) {
    attribute_set_int(store_, c.number, 77);
    EXPECT_EQ(attribute_set_from_text(store_, c.number, c.text), RC_SUCCESS);
    EXPECT_EQ(attribute_get_int(store_, c.number), c.value) << (c.text ? c.text : "(null)");
  }
  EXPECT_EQ(attribute_set_from_text(store_, ATTR_WORLD_SETTING_41, "-0.8"), RC_SUCCESS);
  EXPECT_EQ(attribute_get_float(store_, ATTR_WORLD_SETTING_41), -0.8f);

  // A string too long keeps the old value quietly; data is left as it was.
  const std::uint8_t bytes[2] = {9, 8};
  attribute_set_data(store_, ATTR_WORLD_DATA, bytes, 2);
  EXPECT_EQ(attribute_set_from_text(store_, ATTR_CHAT_MESSAGE, "hello"), RC_SUCCESS);
  EXPECT_EQ(attribute_set_from_text(store_, ATTR_CHAT_MESSAGE, std::string(256, 'x').c_str()),
            RC_SUCCESS);
  EXPECT_EQ(attribute_set_from_text(store_, ATTR_WORLD_DATA, "abc"), RC_SUCCESS);
  EXPECT_STREQ(attribute_get_string(store_, ATTR_CHAT_MESSAGE), "hello");
  EXPECT_NE(attribute_get_data(store_, ATTR_WORLD_DATA, nullptr), nullptr);
}

// A copy that cannot be made reports 400 and leaves the slot empty.
TEST_F(AttributeStoreTest, CopyWithoutMemoryLeavesTheSlotEmpty) {
  const std::uint8_t bytes[3] = {1, 2, 3};
  attribute_set_string(store_, ATTR_LOGIN_NAME, "old");
  attribute_set_string(store_, ATTR_CHAT_MESSAGE, "old");
  attribute_set_data(store_, ATTR_WORLD_DATA, bytes, 3);
  mem_fail_at(1, true);
  // A text no longer than the one held needs no memory: it takes its place.
  EXPECT_EQ(attribute_set_string(store_, ATTR_CHAT_MESSAGE, "ol"), RC_SUCCESS);
  EXPECT_STREQ(attribute_get_string(store_, ATTR_CHAT_MESSAGE), "ol");
  EXPECT_EQ(attribute_set_string(store_, ATTR_LOGIN_NAME, "newer"), RC_OUT_OF_MEMORY);
  EXPECT_EQ(attribute_set_from_text(store_, ATTR_CHAT_MESSAGE, "newer"), RC_OUT_OF_MEMORY);
  EXPECT_EQ(attribute_set_data(store_, ATTR_WORLD_DATA, bytes, 2), RC_OUT_OF_MEMORY);
  EXPECT_EQ(attributes_create(), nullptr);
  mem_fail_at(0);
  EXPECT_STREQ(attribute_get_string(store_, ATTR_LOGIN_NAME), "");
  EXPECT_STREQ(attribute_get_string(store_, ATTR_CHAT_MESSAGE), "");
  EXPECT_EQ(attribute_get_data(store_, ATTR_WORLD_DATA, nullptr), nullptr);
}

TEST(AttributeKeys, UniverseAndCitizenGroups) {
  for (int key = 0; key <= 16; ++key) EXPECT_EQ(universe_setting_attribute(key), 8 + key);
  EXPECT_EQ(universe_setting_attribute(6), ATTR_UNIVERSE_BUILD);
  EXPECT_EQ(universe_setting_attribute(17), -1);
  EXPECT_EQ(universe_setting_attribute(-1), -1);
  const int citizen[][2] = {{0, ATTR_CITIZEN_NAME},
                            {2, ATTR_CITIZEN_SETTING_2},
                            {3, ATTR_CITIZEN_SETTING_3},
                            {17, ATTR_CITIZEN_SETTING_17},
                            {25, ATTR_CITIZEN_SETTING_25},
                            {4, -1},
                            {16, -1},
                            {26, -1},
                            {-1, -1}};
  for (const auto& [key, number] : citizen) EXPECT_EQ(citizen_setting_attribute(key), number);
}

// 63 keys fill attributes 41 to 102, each once except the world data, which
// keys 22 and 57 share; keys 4, 9, 16, 28, 34, 39, 67 and any above 69 are
// ignored.
TEST(AttributeKeys, WorldSettingsGroup) {
  const std::set<int> ignored = {4, 9, 16, 28, 34, 39, 67};
  std::multiset<int> targets;
  for (int key = -1; key <= 70; ++key) {
    const int number = world_setting_attribute(key);
    EXPECT_EQ(number == -1, ignored.count(key) == 1 || key < 0 || key > 69) << key;
    if (number != -1) targets.insert(number);
  }
  std::multiset<int> expected = {ATTR_WORLD_DATA};
  for (int number = ATTR_WORLD_SETTING_0; number <= ATTR_WORLD_SETTING_69; ++number) {
    expected.insert(number);
  }
  EXPECT_EQ(targets, expected);
  const int named[][2] = {{3, ATTR_WORLD_OBJECT_PATH}, {21, ATTR_WORLD_BUILD},
                          {22, ATTR_WORLD_DATA},       {57, ATTR_WORLD_DATA},
                          {56, ATTR_WORLD_SETTING_56}, {58, ATTR_WORLD_SETTING_58}};
  for (const auto& [key, number] : named) EXPECT_EQ(world_setting_attribute(key), number);
}

TEST_F(AttributeStoreTest, WorldSettingsResetAndClamp) {
  const std::uint8_t bytes[2] = {1, 2};
  attribute_set_string(store_, ATTR_WORLD_SETTING_0, "left over");
  attribute_set_data(store_, ATTR_WORLD_DATA, bytes, 2);
  attribute_set_int(store_, ATTR_WORLD_SETTING_68, 1234);
  attribute_set_int(store_, ATTR_WORLD_SETTING_14, 1);
  attributes_reset_world_settings(store_);

  EXPECT_STREQ(attribute_get_string(store_, ATTR_WORLD_SETTING_0), "");
  EXPECT_STREQ(attribute_get_string(store_, ATTR_WORLD_OBJECT_PATH), "http://localhost/objects");
  EXPECT_STREQ(attribute_get_string(store_, ATTR_WORLD_SETTING_38), "*");
  EXPECT_EQ(attribute_get_data(store_, ATTR_WORLD_DATA, nullptr), nullptr);
  EXPECT_EQ(attribute_get_int(store_, ATTR_WORLD_SETTING_68), 1234);  // keeps its value
  EXPECT_EQ(attribute_get_float(store_, ATTR_WORLD_SETTING_41), -0.8f);
  EXPECT_EQ(attribute_get_float(store_, ATTR_WORLD_SETTING_43), -0.2f);
  const int integers[][2] = {{ATTR_WORLD_SETTING_5, 10080}, {ATTR_WORLD_SETTING_14, 0},
                             {ATTR_WORLD_SETTING_23, 1},    {ATTR_WORLD_SETTING_49, 255},
                             {ATTR_WORLD_SETTING_58, -1},   {ATTR_WORLD_SETTING_62, 30}};
  for (const auto& [number, value] : integers) {
    EXPECT_EQ(attribute_get_int(store_, number), value) << number;
  }

  // Attribute 94 is lowered to 999, attribute 96 held within 30 to 100.
  const struct {
    int in_94, in_96, out_94, out_96;
  } clamps[] = {{5000, 5, 999, 30}, {999, 30, 999, 30}, {-7, 500, -7, 100}, {10, 64, 10, 64}};
  for (const auto& c : clamps) {
    attribute_set_int(store_, ATTR_WORLD_SETTING_60, c.in_94);
    attribute_set_int(store_, ATTR_WORLD_SETTING_62, c.in_96);
    attributes_clamp_world_settings(store_);
    EXPECT_EQ(attribute_get_int(store_, ATTR_WORLD_SETTING_60), c.out_94) << c.in_94;
    EXPECT_EQ(attribute_get_int(store_, ATTR_WORLD_SETTING_62), c.out_96) << c.in_96;
  }
}

}  // namespace
