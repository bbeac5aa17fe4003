// The world handler tests' shared fixture: a session entered into a scripted
// world with every event and callback recording, and a table row that sends
// one message and says exactly what it must fire and write.
#pragma once

#include <functional>
#include <utility>
#include <vector>

#include "support/session.h"

namespace orbilo {

namespace world_handler_test {

using scripted::Body;
using scripted::Bytes;

struct Case {
  const char* name;
  int id;
  Bytes body;
  std::vector<int> events;
  std::vector<std::pair<int, int>> callbacks;
  std::function<void()> check;
};

class WorldHandlers : public session::SessionTest {
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
    session::calls = session::Calls{};
    instance()->last_world_message_id = -1;
    ASSERT_TRUE(world_link_.send_world(id, body));
    ASSERT_TRUE(world_link_.send(messages::keep_alive_from_world()));
    ASSERT_TRUE(pump_until([&] {
      return instance()->last_world_message_id == 16 || instance()->world_stream == nullptr;
    }));
  }

  void run(const Case& each) {
    SCOPED_TRACE(each.name);
    deliver(each.id, each.body);
    EXPECT_EQ(session::calls.events, each.events);
    EXPECT_EQ(session::calls.callbacks, each.callbacks);
    if (each.check) each.check();
    EXPECT_EQ(instance()->world_state, kWorldEntered);
  }
};

// An object's fields from its number on, as a world of build 39 and above
// sends them (tilted false: as older worlds do, without tilt and roll).
inline Body object(Body body, int number, int x, bool tilted = true) {
  body.long_(number).long_(11).long_(12).word(x).word(-5).word(20).word(900);
  if (tilted) body.word(3).word(-4);
  return body.string("model").string("description").string("action");
}

}  // namespace world_handler_test

}  // namespace orbilo
