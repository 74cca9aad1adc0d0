#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace hopster {

// What of a recording whose save failed is on disk for the next start to
// recover: the jumps in its journal, counted as that recovery counts them.
struct KeptJumps {
  std::int64_t counted = 0;       // the jumps counted live
  std::int64_t kept = 0;          // the jumps the journal holds: what the next start recovers
  std::filesystem::path journal;  // where they are; empty when none is kept

  bool operator==(const KeptJumps&) const = default;
};

// What a failed save leaves for the next start, in one sentence: "All 30
// jumps counted are kept on disk: the next start will recover all 30.",
// "Only 246 of the 1198 jumps counted are kept on disk: the next start will
// recover those 246." or "None of the 1198 jumps counted is kept on disk: the
// next start will recover nothing of this recording."
[[nodiscard]] std::string keptJumpsText(const KeptJumps& kept);

}  // namespace hopster
