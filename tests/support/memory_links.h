// An instance whose universe and world links are streams in memory: a test
// frames a message as a server would, hands it over and calls the receiving
// function itself, with no peer and no pump. It serves the cases a scripted
// peer cannot play cheaply, such as a message cut short, which ends its link.
//
//   links_.reset(instance(), 35, 39);             // logged in, in a world of build 39
//   EXPECT_EQ(links_.world(44, Body().word(1).word(2).bytes_), 0);
#pragma once

#include <utility>
#include <vector>

#include "sdk/instance.h"
#include "support/session.h"

namespace orbilo {

namespace memory_links {

using scripted::Bytes;

class Links {
 public:
  Links() = default;
  Links(const Links&) = delete;
  Links& operator=(const Links&) = delete;
  ~Links() { release(); }

  // Gives instance fresh streams in memory, logged in to a universe of
  // universe_build and entered into a world of world_build (the entry
  // completed, no state sent). The links it had are closed.
  void reset(Instance* instance, int universe_build, int world_build);
  // Frames a message from the universe (result, id, fields) or from the world
  // (id, fields), delivers it and reads it: what receive_universe_message or
  // receive_world_message returns.
  int universe(int result, int id, const Bytes& fields);
  int world(int id, const Bytes& fields);

 private:
  void release();

  Instance* instance_ = nullptr;
  Stream* universe_ = nullptr;
  Stream* world_ = nullptr;
};

// A message of a handler's table and what it may fire once cut one byte
// short: the reports that came before the field that failed, and nothing
// after it.
struct ShortCase {
  const char* name;
  int id;
  int build;  // the world build; for universe messages the universe build
  Bytes body;
  std::vector<int> events = {};
  std::vector<std::pair<int, int>> callbacks = {};
  // An integer attribute that the whole message leaves alone when no handler
  // is installed (-1: none).
  int untouched = -1;
};

class MemoryLinkTest : public session::SessionTest {
 protected:
  void SetUp() override;

  // Runs the message whole with no handler installed (read to its end,
  // untouched left alone), then cut one byte short with every handler
  // installed (the link fails, and only the case's reports fire).
  void run_world(const ShortCase& each);
  void run_universe(const ShortCase& each, int result = 0);

  Links links_;
};

}  // namespace memory_links

}  // namespace orbilo
