// List entries and node pages (sdk/world_nodes.cpp): each entry and node
// with exactly the events and callback it fires and the arrays it reports,
// against a scripted world; and each message cut short.
#include <cstring>
#include <vector>

#include "support/memory_links.h"
#include "support/world_handler_test.h"

using namespace orbilo;

namespace {

using memory_links::MemoryLinkTest;
using memory_links::ShortCase;
using world_handler_test::Body;
using world_handler_test::Bytes;
using world_handler_test::Case;
using world_handler_test::WorldHandlers;

// One list entry as a world of build 39 and above sends it (eighth false: as
// older worlds do).
Body entry(Body body, int id, bool eighth = true) {
  body.long_(id).byte(1).string("a").string("b").string("c").string("d").byte(2);
  body.long_(3).long_(4).long_(5).word(60000).long_(7).byte(8);
  if (eighth) body.long_(9);
  return body;
}

// A node of size code 2 (size 4) with both arrays whole: bytes 0 to 63 and
// words 1000 to 1063.
Body whole_node() {
  Body node = Body().byte(1).byte(2).byte(2).byte(1).byte(1);
  for (int k = 0; k < 64; ++k) node.byte(k);
  for (int k = 0; k < 64; ++k) node.word(1000 + k);
  return node;
}

// The arrays of each node as its event saw them.
struct NodeArrays {
  Bytes first;
  std::vector<std::uint16_t> second;
};
std::vector<NodeArrays> nodes_seen;

void on_node() {
  session::calls.events.push_back(EVENT_WORLD_42_NODE);
  int length = 0;
  const unsigned char* first = api_data(ATTR_NODE_DATA_1, &length);
  NodeArrays seen{Bytes(first, first + length), {}};
  const unsigned char* second = api_data(ATTR_NODE_DATA_2, &length);
  seen.second.resize(static_cast<std::size_t>(length) / 2);
  std::memcpy(seen.second.data(), second, static_cast<std::size_t>(length));
  nodes_seen.push_back(seen);
}

TEST_F(WorldHandlers, ListEntriesAndNodePages) {
  in_world();
  api_event_set(EVENT_WORLD_42_NODE, on_node);
  run({"list", 30, entry(entry(Body(), 1), 2).bytes_, {EVENT_WORLD_30, EVENT_WORLD_30}, {}, [] {
         EXPECT_EQ(api_int(ATTR_ENTITY_ID), 2);
         EXPECT_EQ(api_int(ATTR_ENTITY_VALUE_5), 60000);
         EXPECT_EQ(api_int(ATTR_ENTITY_VALUE_8), 9);
       }});

  // A node with both arrays whole, then one of size 4 with one value for
  // each array, which fills every cell.
  nodes_seen.clear();
  Body nodes = whole_node();
  nodes.byte(3).byte(4).byte(2).byte(0).byte(0).byte(0xaa).word(500);
  run({"node page",
       42,
       Body().byte(0).word(5).word(-6).long_(7).byte(0).bytes(nodes.bytes_).bytes_,
       {EVENT_WORLD_42_BEGIN, EVENT_WORLD_42_NODE, EVENT_WORLD_42_NODE, EVENT_WORLD_42_END},
       {},
       [] {
         EXPECT_EQ(api_int(ATTR_PAGE_Z), -6);
         EXPECT_EQ(api_int(ATTR_PAGE_VALUE), 7);
         EXPECT_EQ(api_int(ATTR_PAGE_FLAG), 1);
         EXPECT_EQ(api_int(ATTR_NODE_VALUE_3), 4);  // the last node's
         EXPECT_EQ(api_int(ATTR_NODE_COUNT_1), 1);
         ASSERT_EQ(nodes_seen.size(), 2u);
         for (int k = 0; k < 64; ++k) {
           EXPECT_EQ(nodes_seen[0].first[k], k);
           EXPECT_EQ(nodes_seen[0].second[k], 1000 + k);
           EXPECT_EQ(nodes_seen[1].first[k], 0xaa);
           EXPECT_EQ(nodes_seen[1].second[k], 500);
         }
       }});

  // Of any other size, one value fills the first cell of the second array.
  nodes_seen.clear();
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
         EXPECT_EQ(api_int(ATTR_PAGE_X), 1);
         EXPECT_EQ(api_int(ATTR_PAGE_FLAG), 0);
         EXPECT_EQ(api_int(ATTR_NODE_VALUE_3), 6);
         ASSERT_EQ(nodes_seen.size(), 1u);
         EXPECT_EQ(nodes_seen[0].second[0], 9);
         EXPECT_EQ(nodes_seen[0].second[1], 0);
         EXPECT_EQ(nodes_seen[0].second[63], 0);
       }});
}

// Cut one byte short, the entries and nodes read before the cut are
// reported, the page does not end and the request is not completed.
TEST_F(MemoryLinkTest, ListsAndPagesCutShortEndAtTheCut) {
  Bytes page = Body().byte(0).word(1).word(2).long_(3).byte(0).bytes(whole_node().bytes_).bytes_;
  Body uniform = Body().byte(1).byte(2).byte(2).byte(0).byte(0).byte(7).word(9);
  ShortCase cases[] = {
      {"entries before 39",
       30,
       38,
       entry(entry(Body(), 1, false), 2, false).bytes_,
       {EVENT_WORLD_30}},
      {"entries", 30, 39, entry(entry(Body(), 1), 2).bytes_, {EVENT_WORLD_30}},
      {"node page",
       42,
       39,
       Body{page}.bytes(uniform.bytes_).bytes_,
       {EVENT_WORLD_42_BEGIN, EVENT_WORLD_42_NODE},
       {},
       ATTR_PAGE_VALUE},
      {"node pages", 46, 39, Body().byte(0).byte(1).word(1).word(2).bytes(uniform.bytes_).bytes_},
  };
  for (const ShortCase& each : cases) run_world(each);
}

}  // namespace
