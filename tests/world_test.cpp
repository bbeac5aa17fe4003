// The world messages of a session's road (sdk/world.cpp): the world settings
// of message 1, the avatar name table, a short message that loses the link,
// and each message cut short.
#include <cstring>
#include <string>

#include "sdk/attributes.h"
#include "support/memory_links.h"
#include "support/world_handler_test.h"

using namespace orbilo;

namespace {

using memory_links::MemoryLinkTest;
using memory_links::ShortCase;
using session::calls;
using world_handler_test::Body;
using world_handler_test::Bytes;
using world_handler_test::WorldHandlers;

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
         EXPECT_STREQ(api_string(ATTR_WORLD_OBJECT_PATH), kDefaultObjectPath);
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
         const unsigned char* data = api_data(ATTR_WORLD_DATA, &length);
         EXPECT_EQ(Bytes(data, data + length), Bytes({1, 2, 3}));
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

// A handler that destroys another instance: the instance being handled keeps
// the rest of its message.
void* other_instance = nullptr;

void destroy_other() {
  void* current = api_instance();
  if (other_instance != nullptr && api_instance_set(other_instance) == 0) api_destroy();
  other_instance = nullptr;
  api_instance_set(current);
}

template <int N>
void record_and_destroy_other() {
  calls.events.push_back(N);
  destroy_other();
}

class AnotherInstance : public WorldHandlers {
 protected:
  void make_other() {
    ASSERT_EQ(api_create("127.0.0.1", universe_.host_port(), &other_instance), 0);
    ASSERT_TRUE(universe_.accept().valid());
    ASSERT_EQ(api_instance_set(instance_), 0);
  }
};

TEST_F(AnotherInstance, DestroyedByAHandlerLeavesThisMessageWhole) {
  in_world();
  make_other();
  api_event_set(EVENT_CELL_OBJECT, record_and_destroy_other<EVENT_CELL_OBJECT>);
  run({"cell",
       6,
       world_handler_test::object(
           world_handler_test::object(Body().word(1).word(2).long_(9), 5, 10), 6, 20)
           .bytes_,
       {EVENT_CELL_BEGIN, EVENT_CELL_OBJECT, EVENT_CELL_OBJECT, EVENT_CELL_END},
       {},
       [] { EXPECT_EQ(other_instance, nullptr); }});

  // The enter callback destroys it: the world attributes event follows, and
  // the state that had been sent is sent again.
  ASSERT_EQ(api_state_change(), 0);
  ASSERT_EQ(world_link_.receive()->id, 8);
  make_other();
  instance()->world_entered = 0;
  api_callback_set(CALLBACK_ENTER, [](int rc) {
    calls.callbacks.emplace_back(CALLBACK_ENTER, rc);
    destroy_other();
  });
  run({"world attributes", 1, {}, {EVENT_WORLD_ATTRIBUTES}, {{CALLBACK_ENTER, 0}}, [] {
         EXPECT_EQ(other_instance, nullptr);
       }});
  auto state = world_link_.receive();
  ASSERT_TRUE(state.has_value());
  EXPECT_EQ(state->id, 8);
}

// Cut one byte short, the world's settings, an avatar or a chat line is not
// reported; whole and without handlers, the avatar attributes are left alone.
TEST_F(MemoryLinkTest, RoadMessagesCutShortFireNothing) {
  using messages::fields;
  const messages::Avatar avatar{8, "Ann", 1, 2, 3, 900, 1, 2, 1, 2, 3};
  ShortCase cases[] = {
      {"settings", 1, 39, fields(messages::world_attributes({{14, "Y"}, {3, "x"}}))},
      {"avatar add before 28",
       2,
       27,
       fields(messages::avatar_add_before_28(avatar)),
       {},
       {},
       ATTR_AVATAR_X},
      {"avatar add", 2, 39, fields(messages::avatar_add(avatar)), {}, {}, ATTR_AVATAR_X},
      {"avatar delete", 3, 39, fields(messages::avatar_delete(8)), {}, {}, ATTR_AVATAR_SESSION},
      {"avatar change",
       4,
       39,
       fields(messages::avatar_change({8, "", 1, 2, 3, 4, 5, 6})),
       {},
       {},
       ATTR_AVATAR_X},
      {"chat 5", 5, 39, fields(messages::chat(8, "hi", 5)), {}, {}, ATTR_CHAT_SESSION},
      {"chat 12", 12, 39, fields(messages::chat(8, "hi")), {}, {}, ATTR_CHAT_SESSION},
      {"chat 18", 18, 39, fields(messages::chat(8, "hi", 18)), {}, {}, ATTR_CHAT_SESSION},
      {"cipher keys", 17, 39, fields(messages::world_keys(1, 2))},
  };
  for (const ShortCase& each : cases) run_world(each);
}

// Avatar add keeps the name, whole even beyond 18 characters, when no one
// listens for avatars: chat from that avatar is reported with it, and chat
// from a session the table does not know is dropped.
TEST_F(MemoryLinkTest, AvatarNamesAreKeptWithoutTheirEvent) {
  links_.reset(instance(), 35, 39);
  const std::string name(200, 'n');
  messages::Avatar added{.session = 9, .name = name, .x = 1, .y = 2, .z = 3};
  ASSERT_EQ(links_.world(2, messages::fields(messages::avatar_add(added))), 0);
  session::install_event(EVENT_CHAT);
  ASSERT_EQ(links_.world(12, messages::fields(messages::chat(9, "hi"))), 0);
  EXPECT_EQ(api_string(ATTR_AVATAR_NAME), name);
  ASSERT_EQ(links_.world(12, messages::fields(messages::chat(10, "who"))), 0);
  EXPECT_EQ(calls.events, std::vector<int>{EVENT_CHAT});
}

}  // namespace
