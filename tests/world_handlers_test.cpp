// The world's messages, table by table: what each handler writes and which
// event or callback it fires, against a scripted world in an entered session.
#include <cstring>
#include <functional>
#include <string>

#include "sdk/attributes.h"
#include "support/session.h"

namespace {

using scripted::Body;
using scripted::Bytes;
using session::calls;
using session::SessionTest;

struct Case {
  const char* name;
  int id;
  Bytes body;
  std::vector<int> events;
  std::vector<std::pair<int, int>> callbacks;
  std::function<void()> check;
};

class WorldHandlers : public SessionTest {
 protected:
  // In world build world_build, with every handler installed and recording.
  void in_world(int world_build = 39) {
    create();
    login();
    enter(world_build);
    session::install_everything();
    api_wait(0);
    ASSERT_EQ(world_link_.receive()->id, 14);  // the mask of every event
  }

  // Sends the message, then a keep-alive answer (16) as a marker, and pumps
  // until the marker has been read.
  void deliver(int id, const Bytes& body) {
    calls = session::Calls{};
    instance()->last_world_message_id = -1;
    ASSERT_TRUE(world_link_.send_world(id, body));
    ASSERT_TRUE(world_link_.send_world(16, {}));
    ASSERT_TRUE(pump_until([&] {
      return instance()->last_world_message_id == 16 || instance()->world_stream == nullptr;
    }));
  }

  void run(const Case& each) {
    SCOPED_TRACE(each.name);
    deliver(each.id, each.body);
    EXPECT_EQ(calls.events, each.events);
    EXPECT_EQ(calls.callbacks, each.callbacks);
    if (each.check) each.check();
    EXPECT_EQ(instance()->world_state, kWorldEntered);
  }

  // An object's fields from its number on, as a tilted world sends them.
  static Body object(Body body, int number, int x) {
    return body.long_(number)
        .long_(11)
        .long_(12)
        .word(x)
        .word(-5)
        .word(20)
        .word(900)
        .word(3)
        .word(-4)
        .string("model")
        .string("description")
        .string("action");
  }
};

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
       Body()
           .long_(8)
           .string("Ann")
           .long_(0)
           .long_(0)
           .long_(0)
           .word(0)
           .byte(0)
           .byte(0)
           .word(0)
           .long_(0)
           .long_(0)
           .bytes_,
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

// Objects count from their cell's corner: cell x -2 with an offset of 500 is
// at -1500.
TEST_F(WorldHandlers, CellsAndObjects) {
  in_world();
  Case cases[] = {
      {"cell",
       6,
       object(Body().word(-2).word(3).long_(9), 5, 500).bytes_,
       {EVENT_CELL_BEGIN, EVENT_CELL_OBJECT, EVENT_CELL_END},
       {},
       [] {
         EXPECT_EQ(api_int(ATTR_OBJECT_X), -1500);
         EXPECT_EQ(api_int(ATTR_OBJECT_Z), 3020);
         EXPECT_EQ(api_int(ATTR_OBJECT_Y), -5);
         EXPECT_EQ(api_int(ATTR_OBJECT_ROLL), -4);
         EXPECT_STREQ(api_string(ATTR_OBJECT_ACTION), "action");
         EXPECT_EQ(api_int(ATTR_CELL_SEQUENCE), 9);
       }},
      {"object add",
       7,
       object(Body().long_(70).long_(9).word(1).word(-1), 6, 10).bytes_,
       {EVENT_OBJECT_ADD},
       {},
       [] {
         EXPECT_EQ(api_int(ATTR_OBJECT_SEQUENCE), 70);
         EXPECT_EQ(api_int(ATTR_OBJECT_Z), -980);
       }},
      {"object delete",
       8,
       Body().word(71).long_(9).word(1).word(2).long_(6).bytes_,
       {EVENT_OBJECT_DELETE},
       {},
       [] { EXPECT_EQ(api_int(ATTR_OBJECT_NUMBER), 6); }},
      {"click 19",
       19,
       Body()
           .long_(8)
           .word(0)
           .word(0)
           .long_(6)
           .long_(1)
           .long_(2)
           .word(3)
           .word(4)
           .word(5)
           .word(6)
           .word(7)
           .word(8)
           .string("m")
           .string("d")
           .string("a")
           .bytes_,
       {EVENT_WORLD_19},
       {},
       [] { EXPECT_EQ(api_int(ATTR_OBJECT_TILT), 7); }},
      {"click 20",
       20,
       Body().long_(8).word(1).word(1).long_(6).bytes_,
       {EVENT_WORLD_20},
       {},
       [] { EXPECT_EQ(api_int(ATTR_CELL_X), 1); }},
  };
  for (const Case& each : cases) run(each);

  // Outside the bound: the cell begins and ends empty, with no objects.
  instance()->cell_bound = 10;
  run({"cell out of bounds",
       6,
       object(Body().word(11).word(0).long_(1), 5, 1).bytes_,
       {EVENT_CELL_BEGIN, EVENT_CELL_END},
       {},
       [] { EXPECT_EQ(api_int(ATTR_CELL_SIZE), 0); }});
}

TEST_F(WorldHandlers, ListEntriesAndNodePages) {
  in_world();
  auto entry = [](Body body, int id) {
    return body.long_(id)
        .byte(1)
        .string("a")
        .string("b")
        .string("c")
        .string("d")
        .byte(2)
        .long_(3)
        .long_(4)
        .long_(5)
        .word(60000)
        .long_(7)
        .byte(8)
        .long_(9);
  };
  run({"list", 30, entry(entry(Body(), 1), 2).bytes_, {EVENT_WORLD_30, EVENT_WORLD_30}, {}, [] {
         EXPECT_EQ(api_int(ATTR_ENTITY_ID), 2);
         EXPECT_EQ(api_int(ATTR_ENTITY_VALUE_5), 60000);
         EXPECT_EQ(api_int(ATTR_ENTITY_VALUE_8), 9);
       }});

  // A node with both arrays whole, then one with one value for each.
  Bytes bytes(64);
  for (int k = 0; k < 64; ++k) bytes[k] = static_cast<std::uint8_t>(k);
  Body words;
  for (int k = 0; k < 64; ++k) words.word(1000 + k);
  Body nodes = Body().byte(1).byte(2).byte(4).byte(1).byte(1).bytes(bytes).bytes(words.bytes_);
  nodes.byte(3).byte(4).byte(2).byte(0).byte(0).byte(0xaa).word(500);
  run({"node page",
       42,
       Body().byte(0).word(5).word(-6).long_(7).byte(0).bytes(nodes.bytes_).bytes_,
       {EVENT_WORLD_42_BEGIN, EVENT_WORLD_42_NODE, EVENT_WORLD_42_NODE, EVENT_WORLD_42_END},
       {},
       [] {
         EXPECT_EQ(api_int(ATTR_PAGE_VALUE), 7);
         EXPECT_EQ(api_int(ATTR_PAGE_FLAG), 1);
         EXPECT_EQ(api_int(ATTR_NODE_VALUE_3), 4);  // the last node's size
         EXPECT_EQ(api_int(ATTR_NODE_COUNT_1), 1);
         int length = 0;
         const unsigned char* first = api_data(ATTR_NODE_DATA_1, &length);
         ASSERT_EQ(length, 64);
         EXPECT_EQ(first[63], 0xaa);
         const unsigned char* second = api_data(ATTR_NODE_DATA_2, &length);
         ASSERT_EQ(length, 128);
         std::uint16_t cells[64];
         std::memcpy(cells, second, sizeof cells);
         EXPECT_EQ(cells[0], 500);
         EXPECT_EQ(cells[63], 500);  // size 4: every cell
       }});
  run({"node pages",
       46,
       Body()
           .byte(0)
           .byte(1)
           .word(1)
           .word(2)
           .byte(1)
           .byte(2)
           .byte(3)
           .byte(0)
           .byte(0)
           .byte(1)
           .word(9)
           .bytes_,
       {EVENT_WORLD_42_NODE},
       {{CALLBACK_WORLD_46, 0}},
       [] {
         EXPECT_EQ(api_int(ATTR_PAGE_FLAG), 0);
         int length = 0;
         std::uint16_t cells[64];
         std::memcpy(cells, api_data(ATTR_NODE_DATA_2, &length), sizeof cells);
         EXPECT_EQ(cells[0], 9);
         EXPECT_EQ(cells[1], 0);  // size 6: the first cell only
       }});
}

// World message 27 replaces the world build: avatar adds then come in the
// older form with a 16-bit session and no extra values.
TEST_F(WorldHandlers, MessageTwentySevenSwitchesTheVariants) {
  in_world();
  run({"build", 27, Body().byte(27).byte(0).bytes_, {}, {}, [&] {
         EXPECT_EQ(instance()->world_build, 27);
         EXPECT_EQ(api_int(ATTR_WORLD_STATUS), 27);
       }});
  run({"old avatar add",
       2,
       Body().word(300).string("Old").long_(1).long_(2).long_(3).word(10).byte(1).byte(2).bytes_,
       {EVENT_AVATAR_ADD},
       {},
       [] {
         EXPECT_EQ(api_int(ATTR_AVATAR_SESSION), 300);
         EXPECT_EQ(api_int(ATTR_AVATAR_VALUE_1), 0);
         EXPECT_EQ(api_int(ATTR_AVATAR_VALUE_2), -1);
         EXPECT_EQ(api_int(ATTR_AVATAR_VALUE_3), -1);
       }});
  run({"old object add",
       7,
       Body()
           .word(5)
           .long_(1)
           .word(0)
           .word(0)
           .long_(2)
           .long_(0)
           .long_(0)
           .word(1)
           .word(2)
           .word(3)
           .word(4)
           .string("m")
           .string("d")
           .string("a")
           .bytes_,
       {EVENT_OBJECT_ADD},
       {},
       [] { EXPECT_EQ(api_int(ATTR_OBJECT_TILT), 0); }});
}

// The world settings of a message 1: each one starts from its default, the
// raw and hexadecimal data keys, and the clamps; attribute 101 keeps its value.
TEST_F(WorldHandlers, WorldSettingsStartFromTheirDefaults) {
  in_world();
  // The world's settings are read-only to the program: write them as a world
  // message would.
  ASSERT_EQ(attribute_set_int(instance()->attributes, ATTR_WORLD_SETTING_68, 42), 0);
  ASSERT_EQ(attribute_set_string(instance()->attributes, ATTR_WORLD_SETTING_0, "gone"), 0);
  auto text = [](const char* value) { return Bytes(value, value + std::strlen(value)); };
  run({"settings",
       1,
       Body()
           .byte(14)
           .data(text("Y"))
           .byte(57)
           .data(text("0aFF"))
           .byte(60)
           .data(text("5000"))
           .byte(62)
           .data(text("10"))
           .byte(75)
           .data(text("ignored"))
           .bytes_,
       {EVENT_WORLD_ATTRIBUTES},
       {},
       [] {
         int length = 0;
         const unsigned char* data = api_data(ATTR_WORLD_DATA, &length);
         ASSERT_EQ(length, 2);
         EXPECT_EQ(data[0], 0x0a);
         EXPECT_EQ(data[1], 0xff);
         EXPECT_EQ(api_int(94), 999);
         EXPECT_EQ(api_int(96), 30);
         EXPECT_EQ(api_int(ATTR_WORLD_SETTING_5), 10080);
         EXPECT_STREQ(api_string(ATTR_WORLD_SETTING_0), "");
         EXPECT_EQ(api_int(ATTR_WORLD_SETTING_68), 42);
       }});
  run({"raw data",
       1,
       Body().byte(14).data(text("Y")).byte(22).data({1, 2, 3}).byte(62).data(text("150")).bytes_,
       {EVENT_WORLD_ATTRIBUTES},
       {},
       [] {
         int length = 0;
         api_data(ATTR_WORLD_DATA, &length);
         EXPECT_EQ(length, 3);
         EXPECT_EQ(api_int(96), 100);
       }});
  // Without setting 14 the world data and the object path are cleared.
  run({"no data", 1, Body().byte(22).data({1, 2, 3}).bytes_, {EVENT_WORLD_ATTRIBUTES}, {}, [] {
         int length = -1;
         EXPECT_EQ(api_data(ATTR_WORLD_DATA, &length), nullptr);
         EXPECT_STREQ(api_string(ATTR_WORLD_OBJECT_PATH), "");
       }});
}

// A message shorter than its fields fires nothing of its own; the link is
// then lost.
TEST_F(WorldHandlers, AShortMessageFiresNothingAndLosesTheLink) {
  in_world();
  calls = session::Calls{};
  ASSERT_TRUE(world_link_.send_world(22, Body().long_(8).bytes_));
  ASSERT_TRUE(pump_until([&] { return instance()->world_state == kWorldReconnectPending; }));
  EXPECT_EQ(calls.events, std::vector<int>{EVENT_WORLD_DISCONNECT});
  EXPECT_TRUE(calls.callbacks.empty());
}

}  // namespace
