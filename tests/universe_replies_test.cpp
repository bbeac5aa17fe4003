// The universe's messages beyond the login: what each writes and which event
// or callback it fires, against a scripted universe in a logged-in session.
#include <arpa/inet.h>

#include <functional>

#include "support/memory_links.h"
#include "support/session.h"

using namespace orbilo;

namespace {

using memory_links::MemoryLinkTest;
using memory_links::ShortCase;
using scripted::Body;
using scripted::Bytes;
using session::calls;
using session::SessionTest;

struct Case {
  const char* name;
  int result;
  int id;
  Bytes body;
  std::vector<int> events;
  std::vector<std::pair<int, int>> callbacks;
  std::function<void()> check;
};

class UniverseReplies : public SessionTest {
 protected:
  void logged_in() {
    create();
    login();
    session::install_everything();
  }

  // Sends the message and a keep-alive answer (32) as a marker, and pumps
  // until the marker has been read.
  void run(const Case& each) {
    SCOPED_TRACE(each.name);
    calls = session::Calls{};
    instance()->last_universe_message_id = -1;
    ASSERT_TRUE(universe_link_.send_universe(each.result, each.id, each.body));
    ASSERT_TRUE(universe_link_.send(messages::keep_alive_from_universe()));
    ASSERT_TRUE(pump_until([&] { return instance()->last_universe_message_id == 32; }));
    EXPECT_EQ(calls.events, each.events);
    EXPECT_EQ(calls.callbacks, each.callbacks);
    if (each.check) each.check();
    EXPECT_EQ(instance()->universe_state, kUniverseLoggedIn);
  }
};

TEST_F(UniverseReplies, RepliesCompleteTheirCallbacksWithTheResult) {
  logged_in();
  Case cases[] = {
      {"1", 7, 1, {}, {}, {{CALLBACK_UNIVERSE_1, 7}}, nullptr},
      {"4", 0, 4, {}, {}, {{CALLBACK_UNIVERSE_4, 0}}, nullptr},
      {"11", 2, 11, {}, {}, {{CALLBACK_UNIVERSE_11, 2}}, nullptr},
      {"17 full",
       0,
       17,
       Body().long_(1).string("s").long_(2).long_(3).long_(4).word(5).bytes_,
       {},
       {{CALLBACK_UNIVERSE_17, 0}},
       nullptr},
      {"17 refused", 3, 17, Body().long_(1).bytes_, {}, {{CALLBACK_UNIVERSE_17, 3}}, nullptr},
      {"19", 0, 19, Body().string("x").bytes_, {}, {{CALLBACK_UNIVERSE_19, 0}}, nullptr},
      {"19 empty", 5, 19, {}, {}, {{CALLBACK_UNIVERSE_19, 5}}, nullptr},
      {"23",
       0,
       23,
       messages::record_fields(35, {"t1", "t2", "t3", "t4"}).bytes_,
       {},
       {{CALLBACK_UNIVERSE_23, 0}},
       [] {
         EXPECT_STREQ(api_string(ATTR_RECORD_TEXT_4), "t4");
         EXPECT_EQ(api_int(ATTR_RECORD_VALUE_5), 5);
         EXPECT_EQ(api_int(ATTR_RECORD_FLAG_1), 1);
       }},
      {"24",
       0,
       24,
       Body().string("r").bytes_,
       {},
       {{CALLBACK_UNIVERSE_24, 0}},
       [] { EXPECT_STREQ(api_string(ATTR_RECORD_TEXT_1), "r"); }},
      {"26",
       0,
       26,
       Body().long_(4321).bytes_,
       {},
       {{CALLBACK_UNIVERSE_26, 0}},
       [] { EXPECT_EQ(api_int(ATTR_CITIZEN_NUMBER), 4321); }},
      {"29", 0, 29, {}, {}, {{CALLBACK_UNIVERSE_29, 0}}, nullptr},
      {"30",
       0,
       30,
       Body().bytes({9, 0, 0, 0}).long_(2).long_(3).string("e").bytes_,
       {},
       {{CALLBACK_UNIVERSE_30, 0}},
       [] {
         EXPECT_EQ(api_int(ATTR_ENTRY_VALUE_1), 9);
         EXPECT_STREQ(api_string(ATTR_ENTRY_TEXT), "e");
       }},
      {"30 refused", 6, 30, {}, {}, {{CALLBACK_UNIVERSE_30, 6}}, nullptr},
      {"31", 0, 31, {}, {}, {{CALLBACK_UNIVERSE_31, 0}}, nullptr},
      {"41", 0, 41, Body().long_(1).bytes_, {}, {{CALLBACK_UNIVERSE_41, 0}}, nullptr},
      {"42", 0, 42, Body().byte(1).bytes_, {}, {}, nullptr},
      {"no handler", 0, 99, Body().long_(1).bytes_, {}, {}, nullptr},
  };
  for (const Case& each : cases) run(each);
}

TEST_F(UniverseReplies, NewsFiresItsEvents) {
  logged_in();
  Case cases[] = {
      {"10",
       0,
       10,
       Body().long_(1).string("a").long_string("long").byte(0).bytes_,
       {EVENT_UNIVERSE_10},
       {},
       nullptr},
      {"10 refused", 1, 10, {}, {}, {}, nullptr},
      {"15",
       0,
       15,
       messages::entries_fields(7).bytes_,
       {EVENT_UNIVERSE_15, EVENT_UNIVERSE_15, EVENT_UNIVERSE_15},
       {},
       nullptr},
      {"16", 0, 16, Body().long_(1).string("x").bytes_, {EVENT_UNIVERSE_16}, {}, nullptr},
      {"28",
       0,
       28,
       Body().word(65535).long_(-1).string("notice").long_(3).word(4).bytes_,
       {EVENT_UNIVERSE_28},
       {},
       [] {
         EXPECT_EQ(api_int(ATTR_NOTICE_VALUE_2), 65535);
         EXPECT_STREQ(api_string(ATTR_NOTICE_TEXT), "notice");
       }},
      {"43",
       0,
       43,
       Body().long_(1).byte(2).string("a").string("b").bytes_,
       {EVENT_UNIVERSE_15},
       {},
       nullptr},
  };
  for (const Case& each : cases) run(each);
}

// World lists complete their callback even when an entry cannot be read.
TEST_F(UniverseReplies, WorldListsReportEachEntryAndTheirEnd) {
  logged_in();
  run({"14",
       0,
       14,
       Body().string("one").byte(1).word(3).string("two").byte(2).word(40000).bytes_,
       {EVENT_WORLD_LIST, EVENT_WORLD_LIST},
       {{CALLBACK_WORLD_LIST, 0}},
       [] {
         EXPECT_STREQ(api_string(ATTR_WORLD_LIST_NAME), "two");
         EXPECT_EQ(api_int(ATTR_WORLD_LIST_USERS), 40000);
         EXPECT_EQ(api_int(ATTR_WORLD_LIST_MORE), 0);
       }});
  run({"33",
       0,
       33,
       Body().word(1).byte(1).long_(0).string("three").byte(1).word(5).bytes_,
       {EVENT_WORLD_LIST},
       {{CALLBACK_WORLD_LIST, 0}},
       [] { EXPECT_EQ(api_int(ATTR_WORLD_LIST_MORE), 1); }});

  calls = session::Calls{};
  ASSERT_TRUE(universe_link_.send_universe(0, 14, Body().string("one").byte(1).bytes_));
  ASSERT_TRUE(pump_until([&] { return calls.count_callback(CALLBACK_WORLD_LIST) == 1; }));
  EXPECT_TRUE(calls.events.empty());
}

// A handler may run the pump, or destroy another instance, while a world list
// is being read: the list's rest is not taken for a message of its own, and
// the message after it arrives whole.
void* other_instance = nullptr;

void list_entry_pumps() {
  calls.events.push_back(EVENT_WORLD_LIST);
  api_wait(0);
}

void list_entry_destroys_another() {
  calls.events.push_back(EVENT_WORLD_LIST);
  void* current = api_instance();
  if (other_instance != nullptr && api_instance_set(other_instance) == 0) api_destroy();
  other_instance = nullptr;
  api_instance_set(current);
}

TEST_F(UniverseReplies, AHandlerThatPumpsOrDestroysMidListKeepsTheLinkInStep) {
  logged_in();
  Bytes three = Body()
                    .string("one")
                    .byte(1)
                    .word(3)
                    .string("two")
                    .byte(2)
                    .word(4)
                    .string("three")
                    .byte(2)
                    .word(5)
                    .bytes_;
  // Sends the three entries: each reported, the list complete.
  auto run_three = [&](const char* name) {
    run({name,
         0,
         14,
         three,
         {EVENT_WORLD_LIST, EVENT_WORLD_LIST, EVENT_WORLD_LIST},
         {{CALLBACK_WORLD_LIST, 0}},
         [] { EXPECT_STREQ(api_string(ATTR_WORLD_LIST_NAME), "three"); }});
  };
  api_event_set(EVENT_WORLD_LIST, list_entry_pumps);
  run_three("pumping");

  ASSERT_EQ(api_create("127.0.0.1", universe_.host_port(), &other_instance), 0);
  ASSERT_TRUE(universe_.accept().valid());
  ASSERT_EQ(api_instance_set(instance_), 0);
  api_event_set(EVENT_WORLD_LIST, list_entry_destroys_another);
  // Another instance's end takes nothing from this list.
  run_three("destroying");
  EXPECT_EQ(other_instance, nullptr);
}

// Messages 9 and 10 (when its flag asks) are answered with message 34.
TEST_F(UniverseReplies, AcknowledgementsGoBack) {
  logged_in();
  run({"9", 0, 9, {}, {}, {}, nullptr});
  auto answer = universe_link_.receive();
  ASSERT_TRUE(answer.has_value());
  EXPECT_EQ(answer->id, 34);
  run({"10 without flag",
       0,
       10,
       Body().long_(1).string("").long_string("").byte(0).bytes_,
       {EVENT_UNIVERSE_10},
       {},
       nullptr});
  EXPECT_TRUE(universe_link_.quiet());
  run({"10 with flag",
       0,
       10,
       Body().long_(1).string("").long_string("").byte(1).bytes_,
       {EVENT_UNIVERSE_10},
       {},
       nullptr});
  EXPECT_EQ(universe_link_.receive()->id, 34);
}

// Message 10 makes its instance current whether or not its event is installed,
// as the lists do.
TEST_F(UniverseReplies, ANoticeMakesItsInstanceCurrentWithoutItsEvent) {
  logged_in();
  api_event_set(EVENT_UNIVERSE_10, nullptr);
  void* other = nullptr;
  ASSERT_EQ(api_create("127.0.0.1", universe_.host_port(), &other), 0);
  ASSERT_TRUE(universe_.accept().valid());
  ASSERT_EQ(api_instance(), other);
  run({"10", 0, 10, Body().long_(1).string("").long_string("").byte(0).bytes_, {}, {}, [&] {
         EXPECT_EQ(api_instance(), instance_);
       }});
}

// Cut one byte short, a message completes nothing and reports nothing, except
// what came before the cut; world lists still end with their callback, and the
// login reply reports the failure. Whole and without handlers, the notice and
// the world list leave their attributes alone.
TEST_F(MemoryLinkTest, MessagesCutShortFireNothing) {
  Bytes two_worlds = Body().string("one").byte(1).word(3).string("two").byte(2).word(4).bytes_;
  ShortCase cases[] = {
      {"world lookup reply", 0, 35,
       Body().string("myworld").long_(0x7f000001).word(5671).word(39).word(3).word(10).bytes_},
      {"10", 10, 35, Body().long_(1).string("a").long_string("b").byte(1).bytes_},
      {"14",
       14,
       35,
       two_worlds,
       {EVENT_WORLD_LIST},
       {{CALLBACK_WORLD_LIST, 0}},
       ATTR_WORLD_LIST_STATUS},
      {"15",
       15,
       35,
       Body().long_(1).byte(0).string("a").long_(2).byte(1).string("b").string("c").bytes_,
       {EVENT_UNIVERSE_15}},
      {"16", 16, 35, Body().long_(1).string("x").bytes_},
      {"17", 17, 35, Body().long_(1).string("x").long_(1).long_(2).long_(3).word(4).bytes_},
      {"redirect", 18, 35,
       Body().bytes({127, 0, 0, 1}).word(ntohs(loopback::closed_port())).bytes_},
      {"19", 19, 35, Body().string("x").bytes_},
      {"login reply",
       20,
       35,
       Body().word(77).string("Ball").long_(9).bytes({1, 2, 3, 4}).bytes_,
       {},
       {{CALLBACK_LOGIN, RC_STREAM_EMPTY}}},
      {"universe attributes", 21, 35, Body().byte(6).string("35").byte(3).string("x").bytes_},
      {"cipher keys", 22, 35, Body().word(5).word(7).bytes_},
      {"23 before 35", 23, 34, messages::record_fields(34).bytes_},
      {"23", 23, 35, messages::record_fields().bytes_},
      {"24", 24, 35, Body().string("x").bytes_},
      {"citizen record", 25, 35, Body().long_(5).byte(0).string("Owner").bytes_},
      {"26", 26, 35, Body().long_(5).bytes_},
      {"renumbering", 27, 35, Body().word(300).bytes_},
      {"28",
       28,
       35,
       Body().word(1).long_(2).string("n").long_(3).word(4).bytes_,
       {},
       {},
       ATTR_NOTICE_VALUE_1},
      {"30", 30, 35, Body().bytes({1, 2, 3, 4}).long_(2).long_(3).string("t").bytes_},
      {"33",
       33,
       35,
       Body().word(2).byte(1).long_(0).bytes(two_worlds).bytes_,
       {EVENT_WORLD_LIST},
       {{CALLBACK_WORLD_LIST, 0}},
       ATTR_WORLD_LIST_STATUS},
      {"41", 41, 35, Body().long_(1).bytes_},
      {"43", 43, 35, Body().long_(1).byte(2).string("a").string("b").bytes_},
  };
  for (const ShortCase& each : cases) run_universe(each);
}

}  // namespace

namespace {

std::vector<int> lookups_from_handler;

// A blocking call from a handler in the middle of a world list cannot see its
// reply behind the list: it says so instead of waiting for ever.
TEST_F(UniverseReplies, ABlockingCallInTheMiddleOfAListIsRefused) {
  logged_in();
  api_callback_set(CALLBACK_CITIZEN_LOOKUP, nullptr);
  api_event_set(EVENT_WORLD_LIST, [] { lookups_from_handler.push_back(api_citizen_lookup(1)); });
  ASSERT_TRUE(universe_link_.send_universe(
      0, 14, Body().string("one").byte(1).word(3).string("two").byte(1).word(4).bytes_));
  // At the last entry the list has been read whole: that lookup waits, and
  // gets its reply.
  ASSERT_TRUE(universe_link_.send_universe(0, 25, Body().long_(1).bytes_));
  ASSERT_TRUE(pump_until([] { return calls.count_callback(CALLBACK_WORLD_LIST) == 1; }));
  EXPECT_EQ(lookups_from_handler, (std::vector<int>{RC_QUERY_IN_PROGRESS, 0}));
  EXPECT_EQ(instance()->universe_state, kUniverseLoggedIn);
}

// Refused in the middle of a universe message, a blocking call has sent
// nothing and changed nothing: the world link stays, and the universe hears
// no request.
struct BlockingCall {
  const char* name;
  int callback;
  int (*call)();
};

int (*blocking_call)() = nullptr;
int blocking_results = 0;
int first_result = -1;

TEST_F(UniverseReplies, ABlockingCallRefusedMidMessageSendsNothing) {
  create();
  login();
  enter();
  const BlockingCall blocking[] = {
      {"login", CALLBACK_LOGIN, [] { return api_login(); }},
      {"enter", CALLBACK_ENTER, [] { return api_enter("other"); }},
      {"citizen lookup", CALLBACK_CITIZEN_LOOKUP, [] { return api_citizen_lookup(1); }},
  };
  for (const BlockingCall& each : blocking) {
    SCOPED_TRACE(each.name);
    session::install_everything();
    api_callback_set(each.callback, nullptr);
    blocking_call = each.call;
    blocking_results = 0;
    api_event_set(EVENT_WORLD_LIST, [] {
      if (blocking_results++ == 0) first_result = blocking_call();
    });
    run({"list",
         0,
         14,
         Body().string("one").byte(1).word(3).string("two").byte(1).word(4).bytes_,
         {},
         {{CALLBACK_WORLD_LIST, 0}},
         nullptr});
    EXPECT_EQ(first_result, RC_QUERY_IN_PROGRESS);
    EXPECT_TRUE(universe_link_.quiet());
    EXPECT_EQ(instance()->world_state, kWorldEntered);
    EXPECT_NE(instance()->world_stream, nullptr);
    EXPECT_STREQ(api_string(ATTR_WORLD_NAME), session::kWorld);
  }
}

}  // namespace
