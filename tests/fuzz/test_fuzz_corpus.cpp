#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "decoder_fuzz_target.h"

namespace hopster {
namespace {

// Every input the fuzzer has kept, crashes it once found included, goes
// through the decoders again on every test run, so a fixed crash stays fixed.
TEST(FuzzCorpus, EveryKeptInputDecodesWithoutHarm) {
  int replayed = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(HOPSTER_FUZZ_CORPUS)) {
    if (!entry.is_regular_file()) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    const std::string bytes(std::istreambuf_iterator<char>(in), {});
    SCOPED_TRACE(entry.path().string());
    EXPECT_EQ(fuzzDecoders(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), 0);
    ++replayed;
  }
  EXPECT_GT(replayed, 5);
}

}  // namespace
}  // namespace hopster
