// libFuzzer entry point: `make fuzz` builds and runs it.
#include <cstddef>
#include <cstdint>

#include "motion_lines_fuzz_target.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return hopster::fuzzMotionLines(data, size);
}
