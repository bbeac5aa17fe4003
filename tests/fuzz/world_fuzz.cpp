// Arbitrary bytes as the world stream of an instance that is in a world.
#include "fuzz/fuzz_session.h"

using namespace orbilo;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::start();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::run(data, size, true);
  return 0;
}
