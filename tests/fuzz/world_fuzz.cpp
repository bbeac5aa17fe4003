// Arbitrary bytes as the world stream of an instance that is in a world.
#include "fuzz/fuzz_session.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return orbilo::fuzz::run(data, size, true);
}
