#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "recording/motion_data_point.h"

namespace hopster {

// The samples read back from a recorded motion CSV, and how many of its lines
// could not be read as samples.
struct MotionTrace {
  std::vector<MotionDataPoint> samples;
  std::size_t skippedLines = 0;
};

// Reads motion CSV text: sixteen numbers a line in the column order of
// makeMotionCSV. The header line is passed over where it opens the text;
// empty lines are ignored; any other line that is not sixteen numbers is
// skipped and counted.
[[nodiscard]] MotionTrace parseMotionTrace(std::string_view text);

// Reads a trace file: motion CSV text, or a saved record (a file whose first
// non-space byte is "{") whose "csvText" member holds it. On failure returns
// nothing and puts the reason into `error`; a file without a single sample
// fails too.
[[nodiscard]] std::optional<MotionTrace> loadMotionTrace(const std::filesystem::path& path,
                                                         std::string& error);

// When each sample is due, in seconds after the first: its time stamp minus
// the first usable one. A time stamp that is not finite or not later than
// the one before stands for the previous sample's time, so offsets never
// decrease; samples before the first finite time stamp are due at once.
[[nodiscard]] std::vector<double> deliveryOffsets(const std::vector<MotionDataPoint>& samples);

}  // namespace hopster
