#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "motion/motion_data_point.h"
#include "platform/failure.h"

namespace hopster {

// The samples read back from a recorded motion CSV, and how many of its lines
// could not be read as samples.
struct MotionTrace {
  std::vector<MotionDataPoint> samples;
  std::size_t skippedLines = 0;
  // More samples followed than a trace keeps; they and the rest of the text
  // were left unread.
  bool truncated = false;
};

// How much of a trace file is read. Every sample kept costs its sixteen
// numbers here, a queued delivery, and over a kilobyte in the recording that
// replays and saves it, so the sample cap, not the file caps, bounds the
// memory a replay takes: a million samples (eleven hours at 25 a second)
// stay near a gigabyte and a half.
struct MotionTraceLimits {
  std::uint64_t maxCsvBytes = std::uint64_t{4} << 30;     // a motion CSV file
  std::uint64_t maxRecordBytes = std::uint64_t{1} << 30;  // a record file, read whole
  std::size_t maxSamples = 1'000'000;
};

// Reads motion CSV text: sixteen numbers a line in the column order of
// makeMotionCSV. The header line is passed over where it opens the text;
// blank lines are ignored; any other line that is not sixteen finite numbers
// is skipped and counted. At most `maxSamples` samples are kept: the text
// after them is left unread and the trace marked truncated.
[[nodiscard]] MotionTrace parseMotionTrace(std::string_view text,
                                           std::size_t maxSamples = MotionTraceLimits{}.maxSamples);

// Reads a trace file: motion CSV text, streamed, or a saved record (a file
// whose first non-space byte is "{") whose "csvText" member holds it, read
// whole, or an export of the Sensor Logger phone app (read by
// loadSensorLoggerExport; its malformed readings count as skipped lines).
// Anything but a regular file (a FIFO, a device, a socket, a folder) is
// refused without reading (notRegularFile), and so is a file beyond its cap
// in `limits` (tooLarge). A file of some other kind is notARecord, its text
// always "not a …" ("not a zip archive"), so a caller can say "FILE is …";
// damaged content of the right kind, or a file without a single sample, is
// malformed; a file that cannot be opened or read has the system's kind.
[[nodiscard]] Outcome<MotionTrace> loadMotionTrace(const std::filesystem::path& path,
                                                   const MotionTraceLimits& limits = {});

// When each sample is due, in seconds after the first: its time stamp minus
// the first usable one. A time stamp that is not finite or not later than
// the one before stands for the previous sample's time, so offsets never
// decrease; samples before the first finite time stamp are due at once. An
// offset too large for a double is held at the largest one.
[[nodiscard]] std::vector<double> deliveryOffsets(const std::vector<MotionDataPoint>& samples);

}  // namespace hopster
