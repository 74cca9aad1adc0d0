#pragma once

// The pieces the Sensor Logger export reader is built from: byte sources,
// the CSV tables merged in time order, the zip, and the sample collector
// that every layout feeds. Only the reader uses them.

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "motion_sources/phone_sample_builder.h"
#include "motion_sources/sensor_logger_export.h"
#include "platform/failure.h"
#include "platform/linux/memory_log.h"
#include "platform/linux/posix_io.h"

namespace hopster::sensor_logger {

inline constexpr std::size_t kChunkBytes = 64 * 1024;
inline constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
inline constexpr std::string_view kZipMagic = "PK\x03\x04";
inline constexpr std::string_view kEmptyZipMagic = "PK\x05\x06";  // the end record's

// A CSV cell's text: without its surrounding blanks and quotes.
[[nodiscard]] std::string_view cellText(std::string_view cell);

// pread that carries on after a signal: the count, 0 at the end, -1 on failure.
ssize_t readAt(int fd, char* into, std::size_t size, std::uint64_t offset);

// Reads up to `size` bytes into `into`: the count, 0 at the end, or why not.
using ReadBytes = std::function<Outcome<std::size_t>(char* into, std::size_t size)>;

// A file from its start, refused once it grows past `cap` while it is read
// (tooLarge).
[[nodiscard]] ReadBytes fileBytes(int fd, std::uint64_t cap);

// Readings of one moment go to the builder gravity and orientation first, so
// an acceleration meets the gravity taken with it.
[[nodiscard]] int sensorRank(std::string_view sensor);

// The builder and the samples it has made so far, up to the cap.
class SampleCollector {
 public:
  explicit SampleCollector(std::size_t maxSamples) : builder_(log_), maxSamples_(maxSamples) {}

  // Hands one reading on; false once the samples are full and another came.
  bool add(const PushReading& reading);
  // The samples, with the notes filled in; malformed when there are none.
  Outcome<std::vector<TimedMotion>> finish(std::size_t malformed, SensorLoggerExportNotes* notes);

 private:
  MemoryLog log_;
  PhoneSampleBuilder builder_;
  std::size_t maxSamples_;
  std::vector<TimedMotion> samples_;
  bool truncated_ = false;
};

// One sensor's CSV file: the sensor it holds ("accelerometer"), its name for
// errors, and its bytes.
struct CsvSource {
  std::string sensor;
  std::string fileName;
  ReadBytes read;
};

// Reads the CSV files side by side, feeding their rows to one collector in
// time order; on a tie, gravity and orientation first.
[[nodiscard]] Outcome<std::vector<TimedMotion>> mergeCsvSources(std::vector<CsvSource> sources,
                                                                std::size_t maxSamples,
                                                                SensorLoggerExportNotes* notes);

// The zip export at `fd` (`size` bytes), which it takes over.
[[nodiscard]] Outcome<std::vector<TimedMotion>> loadZip(UniqueFd& fd, std::uint64_t size,
                                                        const SensorLoggerExportLimits& limits,
                                                        SensorLoggerExportNotes* notes);

}  // namespace hopster::sensor_logger
