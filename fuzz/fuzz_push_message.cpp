// libFuzzer entry point: `make fuzz` builds and runs it.
#include <cstddef>
#include <cstdint>

#include "push_message_fuzz_target.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return hopster::fuzzPushMessage(data, size);
}
