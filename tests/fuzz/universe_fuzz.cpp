// Arbitrary bytes as the universe stream of a logged-in instance.
#include "fuzz/fuzz_session.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return orbilo::fuzz::run(data, size, false);
}
