// Holds the library clock still for the life of the object: only the test's
// own clock_advance calls move it, so that a time-out is tested to the very
// millisecond and a slow run cannot step past it.
//
//   class PumpTest : public SessionTest {
//     steady_clock::Hold clock_;  // from before SetUp to after TearDown
//   };
#pragma once

#include "net/clock.h"

namespace orbilo {

namespace steady_clock {

class Hold {
 public:
  Hold() { clock_set_source(clock_still); }
  ~Hold() { clock_set_source(nullptr); }
  Hold(const Hold&) = delete;
  Hold& operator=(const Hold&) = delete;
};

}  // namespace steady_clock

}  // namespace orbilo
