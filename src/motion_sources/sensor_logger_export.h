#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "motion/motion_data_point.h"
#include "motion_sources/phone_sample_builder.h"
#include "platform/failure.h"

namespace hopster {

// How much of an export is read. The CSV files are streamed, so the sample
// cap bounds the memory they take (a million samples in some 200 MB). The
// JSON is read whole and its parse takes about four times its size; half a
// gigabyte holds a million headphone readings, and a longer recording reads
// better from the zip.
struct SensorLoggerExportLimits {
  std::uint64_t maxCsvBytes = std::uint64_t{1} << 30;           // one CSV, a file or in a zip
  std::uint64_t maxUncompressedBytes = std::uint64_t{2} << 30;  // the CSVs read from one zip
  std::uint64_t maxJsonBytes = std::uint64_t{512} << 20;        // a JSON export
  // Entries a zip may list: an export holds a few dozen files, and libzip
  // keeps every listed entry in memory.
  std::uint64_t maxZipEntries = 10'000;
  std::size_t maxSamples = 1'000'000;
};

// What reading an export came across, besides its samples.
struct SensorLoggerExportNotes {
  std::size_t malformedReadings = 0;  // rows and readings skipped
  bool truncated = false;             // more samples followed than maxSamples
  std::vector<std::string> logLines;  // the sample builder's remarks (units that look wrong)
};

// Reads a Sensor Logger export: the zip of CSV files (Headphone.csv, or
// Accelerometer.csv with Gravity.csv and Orientation.csv [+ Gyroscope.csv,
// TotalAcceleration.csv]), one such CSV, or the JSON export (an array of
// readings whose values are strings, each with "sensor" naming it). The
// readings go through one PhoneSampleBuilder in time order across files;
// when the export holds headphone readings, only those are read. Fails
// when the file is none of these (notARecord, its text "not a …"), breaks a
// limit (tooLarge; a zip entry larger than it declares is malformed: both
// are refused as zip bombs), or is damaged or gives no sample (malformed).
// Anything but a regular file is refused without reading (notRegularFile).
[[nodiscard]] Outcome<std::vector<TimedMotion>> loadSensorLoggerExport(
    const std::filesystem::path& path, const SensorLoggerExportLimits& limits = {},
    SensorLoggerExportNotes* notes = nullptr);

// Whether a file's first bytes look like an export: a zip's magic number, a
// JSON array of objects, or a CSV whose first column is "time".
[[nodiscard]] bool looksLikeSensorLoggerExport(std::string_view firstBytes);

// An exported sample as a trace keeps it: stamped with its reading's time,
// with its world-frame acceleration the rotation matrix times the user
// acceleration, summed as computeGlobalAcceleration sums it.
[[nodiscard]] MotionDataPoint toMotionDataPoint(const TimedMotion& sample);

}  // namespace hopster
