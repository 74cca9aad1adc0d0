#include "motion_sources/motion_trace.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <limits>
#include <system_error>
#include <utility>
#include <vector>

#include <simdjson.h>

#include "motion_sources/line_splitter.h"
#include "motion_sources/number_fields.h"
#include "motion_sources/sensor_logger_export.h"
#include "platform/linux/data_file.h"
#include "platform/linux/posix_io.h"
#include "records/motion_csv.h"

namespace hopster {
namespace {

constexpr std::size_t kColumns = sizeof(MotionDataPoint) / sizeof(double);
constexpr std::size_t kChunkBytes = 64 * 1024;
// Far longer than any line of sixteen numbers; a longer one is skipped
// without being buffered whole.
constexpr std::size_t kLongestLine = 64 * 1024;

MotionDataPoint toDataPoint(const std::array<double, kColumns>& v) {
  return MotionDataPoint{v[0], v[1], v[2],  v[3],  v[4],  v[5],  v[6],  v[7],
                         v[8], v[9], v[10], v[11], v[12], v[13], v[14], v[15]};
}

// Collects a trace line by line, as parseMotionTrace describes.
class TraceBuilder {
 public:
  explicit TraceBuilder(std::size_t maxSamples) : maxSamples_(maxSamples) {}

  void add(std::string_view line) {
    if (trace_.truncated) return;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const bool header = firstLine_ && line == kMotionCSVHeader;
    firstLine_ = false;
    if (header || line.find_first_not_of(" \t") == std::string_view::npos) return;
    if (!parseFiniteNumberFields(line, values_)) {
      ++trace_.skippedLines;
    } else if (trace_.samples.size() >= maxSamples_) {
      trace_.truncated = true;
    } else {
      trace_.samples.push_back(toDataPoint(values_));
    }
  }
  void skip(std::size_t lines) { trace_.skippedLines += lines; }
  void reserve(std::size_t lines) { trace_.samples.reserve(std::min(lines, maxSamples_)); }
  [[nodiscard]] bool full() const { return trace_.truncated; }
  MotionTrace take() { return std::move(trace_); }

 private:
  std::size_t maxSamples_;
  MotionTrace trace_;
  std::array<double, kColumns> values_{};
  bool firstLine_ = true;
};

// Reads up to `size` bytes, retrying after a signal. Returns the count, 0
// at the end, or -1 with errno set.
ssize_t readSome(int fd, char* into, std::size_t size) {
  for (;;) {
    const ssize_t got = ::read(fd, into, size);
    if (got >= 0 || errno != EINTR) return got;
  }
}

// Whether the text after any leading blanks starts with "{": a saved record
// rather than a motion CSV. Reads from the current offset.
Outcome<bool> startsWithBrace(int fd, std::uint64_t maxBytes, std::vector<char>& chunk) {
  for (std::uint64_t total = 0; total <= maxBytes;) {
    const ssize_t got = readSome(fd, chunk.data(), chunk.size());
    if (got < 0) return Failure::ofErrno(errno);
    if (got == 0) return false;
    total += static_cast<std::uint64_t>(got);
    const std::string_view text(chunk.data(), static_cast<std::size_t>(got));
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first != std::string_view::npos) return text[first] == '{';
  }
  return false;  // blanks beyond any cap: not a record; the CSV reader stops at its cap
}

// The motion CSV at the descriptor, streamed chunk by chunk: only the
// samples are kept, never the text.
Outcome<MotionTrace> readCsv(int fd, std::vector<char>& chunk, const MotionTraceLimits& limits) {
  TraceBuilder builder(limits.maxSamples);
  LineSplitter lines(kLongestLine);
  const auto add = [&](std::string_view line) { builder.add(line); };
  std::uint64_t total = 0;
  bool cut = false;
  while (!builder.full()) {
    const ssize_t got = readSome(fd, chunk.data(), chunk.size());
    if (got < 0) return Failure::ofErrno(errno);
    if (got == 0) {
      lines.finish(add);
      break;
    }
    // The file may grow past its cap while it is read: what came before is kept.
    auto take = static_cast<std::uint64_t>(got);
    cut = total + take > limits.maxCsvBytes;
    if (cut) take = limits.maxCsvBytes - total;
    total += take;
    builder.skip(lines.feed(std::string_view(chunk.data(), static_cast<std::size_t>(take)), add));
    if (cut) break;
  }
  MotionTrace trace = builder.take();
  if (cut) trace.truncated = true;
  return trace;
}

// The record at the descriptor, read whole within its cap, and the motion
// CSV in its "csvText".
Outcome<MotionTrace> readRecord(int fd, std::uint64_t size, std::vector<char>& chunk,
                                const MotionTraceLimits& limits) {
  const Failure tooLarge{
      FailureKind::tooLarge,
      "a record file larger than " + std::to_string(limits.maxRecordBytes) + " bytes"};
  if (size > limits.maxRecordBytes) return tooLarge;
  std::string bytes;
  // With room for the padding simdjson reads past the end, it parses in place.
  bytes.reserve(static_cast<std::size_t>(size) + simdjson::SIMDJSON_PADDING);
  for (;;) {
    const ssize_t got = readSome(fd, chunk.data(), chunk.size());
    if (got < 0) return Failure::ofErrno(errno);
    if (got == 0) break;
    // The file may grow while it is read; the cap holds all the same.
    if (bytes.size() + static_cast<std::size_t>(got) > limits.maxRecordBytes) return tooLarge;
    bytes.append(chunk.data(), static_cast<std::size_t>(got));
  }
  simdjson::dom::parser parser;
  simdjson::dom::element root;
  if (const auto code = parser.parse(bytes).get(root)) {
    return Failure{FailureKind::notARecord,
                   std::string("not a valid record file (") + simdjson::error_message(code) + ")"};
  }
  std::string_view csv;
  if (root["csvText"].get(csv) != simdjson::SUCCESS) {
    return Failure{FailureKind::malformed, "the record has no \"csvText\" string"};
  }
  return parseMotionTrace(csv, limits.maxSamples);
}

// Whether the file at the descriptor starts like a Sensor Logger export.
// Reads the first bytes without moving the file offset.
Outcome<bool> startsLikeExport(int fd) {
  std::array<char, 4096> first{};
  ssize_t got = 0;
  do {
    got = ::pread(fd, first.data(), first.size(), 0);
  } while (got < 0 && errno == EINTR);
  if (got < 0) return Failure::ofErrno(errno);
  return looksLikeSensorLoggerExport(std::string_view(first.data(), static_cast<std::size_t>(got)));
}

// A Sensor Logger export as a trace: each sample stamped with its reading's
// time, and its world-frame acceleration computed as a live recording does.
Outcome<MotionTrace> readExport(const std::filesystem::path& path,
                                const MotionTraceLimits& limits) {
  SensorLoggerExportLimits exportLimits;
  // Read whole, as a record is, and never beyond a record's cap.
  exportLimits.maxJsonBytes = std::min(exportLimits.maxJsonBytes, limits.maxRecordBytes);
  exportLimits.maxSamples = limits.maxSamples;
  SensorLoggerExportNotes notes;
  Outcome<std::vector<TimedMotion>> samples = loadSensorLoggerExport(path, exportLimits, &notes);
  if (!samples) return std::move(samples).error();
  MotionTrace trace;
  trace.samples.reserve(samples->size());
  for (const TimedMotion& sample : *samples) trace.samples.push_back(toMotionDataPoint(sample));
  trace.skippedLines = notes.malformedReadings;
  trace.truncated = notes.truncated;
  return trace;
}

}  // namespace

MotionTrace parseMotionTrace(std::string_view text, std::size_t maxSamples) {
  TraceBuilder builder(maxSamples);
  // A line a sample: counting them first (a fast scan) spares an hour-long
  // trace's samples being moved each time the list outgrows itself.
  builder.reserve(static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1);
  while (!text.empty() && !builder.full()) {
    const auto end = text.find('\n');
    builder.add(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
  }
  return builder.take();
}

Outcome<MotionTrace> loadMotionTrace(const std::filesystem::path& path,
                                     const MotionTraceLimits& limits) {
  // Refuses a FIFO, a device or a folder before a single read could block or never end.
  auto opened = openDataFile(path);
  if (!opened) return std::move(opened).error();
  const UniqueFd fd = std::move(opened).value();
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) return Failure::ofErrno(errno);
  const auto size = static_cast<std::uint64_t>(info.st_size);
  if (size > limits.maxCsvBytes) return tooLargeFailure(limits.maxCsvBytes);

  // The phone app's exports have their own reader, which opens the file again.
  const Outcome<bool> exported = startsLikeExport(fd.get());
  if (!exported) return exported.error();
  if (*exported) return readExport(path, limits);

  std::vector<char> chunk(kChunkBytes);
  const Outcome<bool> record = startsWithBrace(fd.get(), limits.maxCsvBytes, chunk);
  if (!record) return record.error();
  // Both readers start from the first byte again: the header of a CSV must be its first line.
  if (::lseek(fd.get(), 0, SEEK_SET) != 0) return Failure::ofErrno(errno);
  Outcome<MotionTrace> trace =
      *record ? readRecord(fd.get(), size, chunk, limits) : readCsv(fd.get(), chunk, limits);
  if (!trace || !trace->samples.empty()) return trace;
  std::string reason = "no motion samples";
  if (trace->skippedLines > 0) {
    reason += " (" + std::to_string(trace->skippedLines) + " malformed lines)";
  }
  return Failure{FailureKind::malformed, std::move(reason)};
}

std::vector<double> deliveryOffsets(const std::vector<MotionDataPoint>& samples) {
  std::vector<double> offsets;
  offsets.reserve(samples.size());
  bool started = false;
  double first = 0.0, latest = 0.0;
  for (const MotionDataPoint& sample : samples) {
    const double t = sample.timeStamp;
    if (std::isfinite(t) && (!started || t > latest)) {
      if (!started) first = t;
      started = true;
      latest = t;
    }
    // Time stamps of one recording lie close together, so the difference is
    // exact; only a hostile file gets a difference that overflows.
    offsets.push_back(started ? std::min(latest - first, std::numeric_limits<double>::max()) : 0.0);
  }
  return offsets;
}

}  // namespace hopster
