#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace hopster {

// What one input reached, so the corpus test can tell that the seeds still
// get past the parsers' first refusals.
struct MotionLinesOutcome {
  std::size_t streamSamples = 0;  // lines read as live stream samples
  std::size_t traceSamples = 0;   // samples of the text read as a motion CSV
  std::size_t skippedLines = 0;   // lines of that CSV skipped as malformed
};

// Reads the text as live stream lines, one per line feed, and as a whole
// motion CSV, and checks what both parsers promise: a line that parses has
// exactly its number of fields, each finite and read as C's strtod reads it;
// a line of plain in-range decimals in the right number always parses; the
// CSV reads line by line as it reads whole; and every sample read, written
// back the way Hopster writes it, reads back bit for bit. Aborts, naming the
// property, when one does not hold.
MotionLinesOutcome exerciseMotionLines(std::string_view text);

// libFuzzer's view of the above.
int fuzzMotionLines(const std::uint8_t* data, std::size_t size);

}  // namespace hopster
