// World replies and notices (sdk/world_replies.cpp): what each message writes
// and exactly which event or callback it fires, against a scripted world; the
// variants that world message 27 switches; and each message cut short.
#include "support/memory_links.h"
#include "support/world_handler_test.h"

using namespace orbilo;

namespace {

using namespace memory_links;
using namespace world_handler_test;

TEST_F(WorldHandlers, RepliesWriteTheirAttributesAndCompleteTheirCallbacks) {
  in_world();
  Case cases[] = {
      {"request result",
       0,
       Body().long_(55).byte(3).bytes_,
       {},
       {{CALLBACK_WORLD_0, 203}},
       [] { EXPECT_EQ(api_int(ATTR_OBJECT_NUMBER), 55); }},
      {"reply kind 0",
       13,
       {},
       {},
       {{CALLBACK_WORLD_13_15, 0}},
       [] { EXPECT_EQ(api_int(ATTR_WORLD_REPLY_KIND), 0); }},
      {"reply kind 1",
       15,
       {},
       {},
       {{CALLBACK_WORLD_13_15, 0}},
       [] { EXPECT_EQ(api_int(ATTR_WORLD_REPLY_KIND), 1); }},
      {"address",
       22,
       Body().long_(8).byte(0).bytes({10, 0, 0, 9}).bytes_,
       {},
       {{CALLBACK_WORLD_22, 0}},
       [] { EXPECT_EQ(api_int(ATTR_AVATAR_SESSION), 8); }},
      {"entry of kind 1",
       25,
       Body().byte(1).long_(77).byte(4).bytes_,
       {},
       {{CALLBACK_WORLD_25, 4}},
       [] {
         EXPECT_EQ(api_int(ATTR_ENTRY_KIND), 1);
         EXPECT_EQ(api_int(ATTR_ENTRY_VALUE_1), 77);
       }},
      {"entry record",
       26,
       Body().byte(0).byte(2).long_(5).long_(6).long_(7).string("text").bytes_,
       {},
       {{CALLBACK_WORLD_26, 0}},
       [] {
         EXPECT_EQ(api_int(ATTR_ENTRY_KIND), 2);
         EXPECT_EQ(api_int(ATTR_ENTRY_VALUE_3), 7);
         EXPECT_STREQ(api_string(ATTR_ENTRY_TEXT), "text");
       }},
      {"refused entry record", 26, Body().byte(9).bytes_, {}, {{CALLBACK_WORLD_26, 9}}, nullptr},
      {"entity 28",
       28,
       Body().string("named").byte(0).long_(31).bytes_,
       {},
       {{CALLBACK_WORLD_28_29, 0}},
       [] {
         EXPECT_STREQ(api_string(ATTR_ENTITY_TEXT_1), "named");
         EXPECT_EQ(api_int(ATTR_ENTITY_ID), 31);
       }},
      {"entity 29",
       29,
       Body().byte(1).long_(32).bytes_,
       {},
       {{CALLBACK_WORLD_28_29, 1}},
       [] { EXPECT_EQ(api_int(ATTR_ENTITY_ID), 32); }},
      {"flag 31",
       31,
       Body().byte(0).byte(1).bytes_,
       {},
       {{CALLBACK_WORLD_31, 0}},
       [] { EXPECT_EQ(api_int(ATTR_ENTITY_FLAG_2), 1); }},
      {"result 33", 33, Body().byte(5).bytes_, {}, {{CALLBACK_WORLD_33, 5}}, nullptr},
      {"value 34",
       34,
       Body().byte(0).long_(-9).bytes_,
       {},
       {{CALLBACK_WORLD_34, 0}},
       [] { EXPECT_EQ(api_int(ATTR_REPLY_VALUE), -9); }},
      {"result 35", 35, Body().byte(0).bytes_, {}, {{CALLBACK_WORLD_35, 0}}, nullptr},
      {"result 37", 37, Body().byte(0).bytes_, {}, {{CALLBACK_WORLD_37, 0}}, nullptr},
      {"items 41",
       41,
       Body().byte(0).word(-2).word(3).bytes_,
       {},
       {{CALLBACK_WORLD_41, 0}},
       [] { EXPECT_EQ(api_int(ATTR_ITEM_VALUE_1), -2); }},
      {"result 47", 47, Body().byte(6).bytes_, {}, {{CALLBACK_WORLD_47, 6}}, nullptr},
      {"page 48",
       48,
       Body().byte(0).word(-1).word(2).byte(3).byte(4).byte(5).bytes_,
       {},
       {{CALLBACK_WORLD_48, 0}},
       [] {
         EXPECT_EQ(api_int(ATTR_PAGE_X), -1);
         EXPECT_EQ(api_int(ATTR_NODE_VALUE_3), 10);
       }},
      {"no handler", 49, Body().long_(1).bytes_, {}, {}, nullptr},
  };
  for (const Case& each : cases) run(each);
}

TEST_F(WorldHandlers, NoticesAndAvatarActsFireTheirEvents) {
  in_world();
  run({"avatar add",
       2,
       messages::fields(messages::avatar_add({.session = 8, .name = "Ann"})),
       {EVENT_AVATAR_ADD},
       {},
       nullptr});
  Case cases[] = {
      {"act on another",
       21,
       Body().long_(8).long_(99).bytes_,
       {EVENT_WORLD_21},
       {},
       [] {
         EXPECT_STREQ(api_string(ATTR_AVATAR_NAME), "Ann");
         EXPECT_EQ(api_int(ATTR_TARGET_SESSION), 99);
         EXPECT_STREQ(api_string(ATTR_TARGET_NAME), "");
       }},
      {"texts",
       23,
       Body().long_(8).string("one").string("two").bytes_,
       {EVENT_WORLD_23},
       {},
       [] { EXPECT_STREQ(api_string(ATTR_AVATAR_TEXT_2), "two"); }},
      {"location",
       24,
       Body().long_(8).string("far").long_(1).long_(2).long_(3).word(450).byte(1).bytes_,
       {EVENT_WORLD_24},
       {},
       [] {
         EXPECT_STREQ(api_string(ATTR_LOCATION_WORLD), "far");
         EXPECT_EQ(api_int(ATTR_LOCATION_YAW), 450);
       }},
      {"entity 32",
       32,
       Body().long_(4).bytes_,
       {EVENT_WORLD_32},
       {},
       [] { EXPECT_EQ(api_int(ATTR_ENTITY_ID), 4); }},
      {"notice 43",
       43,
       Body().byte(1).byte(2).byte(3).byte(2).string("news").bytes_,
       {EVENT_WORLD_43},
       {},
       [] {
         EXPECT_EQ(api_int(ATTR_WORLD_NOTICE_FLAG_1), 0);
         EXPECT_EQ(api_int(ATTR_WORLD_NOTICE_FLAG_2), 1);
         EXPECT_STREQ(api_string(ATTR_WORLD_NOTICE_TEXT), "news");
       }},
      {"page 44",
       44,
       Body().word(-3).word(4).bytes_,
       {EVENT_WORLD_44},
       {},
       [] { EXPECT_EQ(api_int(ATTR_PAGE_X), -3); }},
  };
  for (const Case& each : cases) run(each);
}

// A world of build 27 sends avatars with 16-bit sessions and without the
// three extra values; world message 27 replaces the build, and with it the
// form of the messages after it.
TEST_F(WorldHandlers, MessageTwentySevenSwitchesTheVariants) {
  in_world(27);
  Case cases[] = {
      {"avatar add from a build-27 world",
       2,
       messages::fields(messages::avatar_add_before_28({300, "Old", 1, 2, 3, 10, 1, 2})),
       {EVENT_AVATAR_ADD},
       {},
       [] {
         EXPECT_EQ(api_int(ATTR_AVATAR_SESSION), 300);
         EXPECT_EQ(api_int(ATTR_AVATAR_VALUE_1), 0);
         EXPECT_EQ(api_int(ATTR_AVATAR_VALUE_2), -1);
         EXPECT_EQ(api_int(ATTR_AVATAR_VALUE_3), -1);
       }},
      {"entry without a kind",
       25,
       Body().bytes({9, 0, 0, 0}).byte(0).bytes_,
       {},
       {{CALLBACK_WORLD_25, 0}},
       [] {
         EXPECT_EQ(api_int(ATTR_ENTRY_KIND), 0);
         EXPECT_EQ(api_int(ATTR_ENTRY_VALUE_1), 9);
       }},
      {"build 39",
       27,
       Body().byte(39).byte(0).bytes_,
       {},
       {},
       [&] {
         EXPECT_EQ(instance()->world_build, 39);
         EXPECT_EQ(api_int(ATTR_WORLD_STATUS), 39);
       }},
      {"newer avatar add",
       2,
       messages::fields(messages::avatar_add({70000, "New", 1, 2, 3, 10, 1, 2, 65535, -2, 7})),
       {EVENT_AVATAR_ADD},
       {},
       [] {
         EXPECT_EQ(api_int(ATTR_AVATAR_SESSION), 70000);
         EXPECT_EQ(api_int(ATTR_AVATAR_VALUE_1), 65535);
         EXPECT_EQ(api_int(ATTR_AVATAR_VALUE_2), -2);
       }},
      {"tilted object add",
       7,
       object(Body().long_(70).long_(9).word(0).word(0), 2, 1).bytes_,
       {EVENT_OBJECT_ADD},
       {},
       [] { EXPECT_EQ(api_int(ATTR_OBJECT_TILT), 3); }},
      {"build 27 again", 27, Body().byte(27).byte(0).bytes_, {}, {}, nullptr},
      {"older object add",
       7,
       object(Body().word(5).long_(1).word(0).word(0), 2, 1, false).bytes_,
       {EVENT_OBJECT_ADD},
       {},
       [] {
         EXPECT_EQ(api_int(ATTR_OBJECT_SEQUENCE), 5);
         EXPECT_EQ(api_int(ATTR_OBJECT_TILT), 0);
       }},
  };
  for (const Case& each : cases) run(each);
}

// Cut one byte short, a reply completes nothing and a notice reports nothing;
// whole and without handlers, the notices leave their attributes alone.
TEST_F(MemoryLinkTest, RepliesCutShortFireNothing) {
  ShortCase cases[] = {
      {"0", 0, 39, Body().long_(55).byte(3).bytes_},
      {"21", 21, 39, Body().long_(8).long_(99).bytes_, {}, {}, ATTR_TARGET_SESSION},
      {"22", 22, 39, Body().long_(8).byte(0).bytes({10, 0, 0, 9}).bytes_},
      {"23", 23, 39, Body().long_(8).string("a").string("b").bytes_, {}, {}, ATTR_AVATAR_SESSION},
      {"24",
       24,
       39,
       Body().long_(8).string("w").long_(1).long_(2).long_(3).word(4).byte(1).bytes_,
       {},
       {},
       ATTR_LOCATION_X},
      {"25 before 39", 25, 38, Body().bytes({1, 2, 3, 4}).byte(0).bytes_},
      {"25", 25, 39, Body().byte(1).long_(7).byte(0).bytes_},
      {"26 before 39", 26, 38,
       Body().byte(0).bytes({1, 2, 3, 4}).long_(1).long_(2).string("t").bytes_},
      {"26", 26, 39, Body().byte(0).byte(1).long_(7).long_(1).long_(2).string("t").bytes_},
      {"26 refused", 26, 39, Body().byte(9).bytes_},
      {"27", 27, 39, Body().byte(27).byte(0).bytes_},
      {"28", 28, 39, Body().string("a").byte(0).long_(1).bytes_},
      {"29", 29, 39, Body().byte(0).long_(1).bytes_},
      {"31", 31, 39, Body().byte(0).byte(1).bytes_},
      {"32", 32, 39, Body().long_(1).bytes_, {}, {}, ATTR_ENTITY_ID},
      {"33", 33, 39, Body().byte(0).bytes_},
      {"34", 34, 39, Body().byte(0).long_(1).bytes_},
      {"35", 35, 39, Body().byte(0).bytes_},
      {"37", 37, 39, Body().byte(0).bytes_},
      {"41", 41, 39, Body().byte(0).word(1).word(2).bytes_},
      {"43",
       43,
       39,
       Body().byte(1).byte(2).byte(3).byte(3).string("n").bytes_,
       {},
       {},
       ATTR_WORLD_NOTICE_VALUE_1},
      {"44", 44, 39, Body().word(1).word(2).bytes_, {}, {}, ATTR_PAGE_X},
      {"47", 47, 39, Body().byte(0).bytes_},
      {"48", 48, 39, Body().byte(0).word(1).word(2).byte(3).byte(4).byte(5).bytes_},
  };
  for (const ShortCase& each : cases) run_world(each);
}

}  // namespace
