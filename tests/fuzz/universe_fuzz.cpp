// Arbitrary bytes as the universe stream of a logged-in instance.
#include "fuzz/fuzz_session.h"

using namespace orbilo;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::start();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::run(data, size, false);
  return 0;
}
