// Cells and objects (sdk/world_objects.cpp): the cell reply with its bound,
// objects added and deleted, and clicks, each with exactly the events it
// fires, against a scripted world; and each message cut short.
#include "support/memory_links.h"
#include "support/world_handler_test.h"

using namespace orbilo;

namespace {

using namespace memory_links;
using namespace world_handler_test;

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
       messages::click_details(Body().long_(8).word(0).word(0).long_(6)).bytes_,
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

  // With a bound of 10, a cell beyond it on either axis begins and ends empty,
  // with no objects; the bound itself is inside.
  instance()->cell_bound = 10;
  Case bounded[] = {
      {"cell x beyond the bound",
       6,
       object(Body().word(11).word(0).long_(1), 5, 1).bytes_,
       {EVENT_CELL_BEGIN, EVENT_CELL_END},
       {},
       [] { EXPECT_EQ(api_int(ATTR_CELL_SIZE), 0); }},
      {"cell z beyond the bound",
       6,
       object(Body().word(0).word(-11).long_(1), 5, 1).bytes_,
       {EVENT_CELL_BEGIN, EVENT_CELL_END},
       {},
       [] { EXPECT_EQ(api_int(ATTR_CELL_Z), -11); }},
      {"cell on the bound",
       6,
       object(Body().word(-10).word(10).long_(1), 5, 1).bytes_,
       {EVENT_CELL_BEGIN, EVENT_CELL_OBJECT, EVENT_CELL_END},
       {},
       [] { EXPECT_EQ(api_int(ATTR_OBJECT_X), -9999); }},
  };
  for (const Case& each : bounded) run(each);
}

// A program that listens only for a cell's begin or end still reads its last
// object's fields.
TEST_F(WorldHandlers, ACellStoresItsObjectsWithoutTheObjectEvent) {
  in_world();
  api_event_set(EVENT_CELL_OBJECT, nullptr);
  run({"cell",
       6,
       object(object(Body().word(-2).word(3).long_(9), 5, 500), 6, 20).bytes_,
       {EVENT_CELL_BEGIN, EVENT_CELL_END},
       {},
       [] {
         EXPECT_EQ(api_int(ATTR_OBJECT_NUMBER), 6);
         EXPECT_EQ(api_int(ATTR_OBJECT_X), -1980);
         EXPECT_STREQ(api_string(ATTR_OBJECT_MODEL), "model");
       }});
}

void object_pumps() {
  session::calls.events.push_back(EVENT_CELL_OBJECT);
  api_wait(0);
}

// A handler that runs the pump while a cell is being read: the cell's rest is
// not taken for a message of its own.
TEST_F(WorldHandlers, AHandlerThatPumpsMidCellKeepsTheLinkInStep) {
  in_world();
  api_event_set(EVENT_CELL_OBJECT, object_pumps);
  run({"cell",
       6,
       object(object(Body().word(1).word(2).long_(9), 5, 10), 6, 20).bytes_,
       {EVENT_CELL_BEGIN, EVENT_CELL_OBJECT, EVENT_CELL_OBJECT, EVENT_CELL_END},
       {},
       [] { EXPECT_EQ(api_int(ATTR_OBJECT_NUMBER), 6); }});
}

// Cut one byte short, an object is not reported (a cell has begun already);
// whole and without handlers, the messages other than the cell leave the
// object fields alone.
TEST_F(MemoryLinkTest, ObjectsCutShortFireNothing) {
  Body click = Body().long_(8).word(1).word(2).long_(3);
  ShortCase cases[] = {
      {"cell before 39",
       6,
       38,
       object(Body().word(-2).word(3).long_(9), 5, 500, false).bytes_,
       {EVENT_CELL_BEGIN}},
      {"cell", 6, 39, object(Body().word(-2).word(3).long_(9), 5, 500).bytes_, {EVENT_CELL_BEGIN}},
      {"object add before 39",
       7,
       38,
       object(Body().word(5).long_(9).word(1).word(-1), 6, 10, false).bytes_,
       {},
       {},
       ATTR_OBJECT_SEQUENCE},
      {"object add",
       7,
       39,
       object(Body().long_(5).long_(9).word(1).word(-1), 6, 10).bytes_,
       {},
       {},
       ATTR_OBJECT_SEQUENCE},
      {"object delete",
       8,
       39,
       Body().word(1).long_(2).word(3).word(4).long_(5).bytes_,
       {},
       {},
       ATTR_OBJECT_SEQUENCE},
      {"click 19 before 39", 19, 38, click.bytes_, {}, {}, ATTR_OBJECT_NUMBER},
      {"click 19", 19, 39, messages::click_details(click).bytes_, {}, {}, ATTR_OBJECT_NUMBER},
      {"click 20", 20, 39, click.bytes_, {}, {}, ATTR_OBJECT_NUMBER},
  };
  for (const ShortCase& each : cases) run_world(each);
}

}  // namespace
