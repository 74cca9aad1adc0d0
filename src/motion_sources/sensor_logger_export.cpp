#include "motion_sources/sensor_logger_export.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <functional>
#include <memory>
#include <system_error>
#include <utility>

#include <simdjson.h>

#include "motion_sources/sensor_logger_parts.h"
#include "platform/linux/data_file.h"
#include "platform/linux/posix_io.h"
#include "platform/log.h"

namespace hopster {
namespace {

using sensor_logger::kByteOrderMark;
using sensor_logger::kEmptyZipMagic;
using sensor_logger::kZipMagic;

constexpr std::size_t kSniffBytes = 4096;

Outcome<std::vector<TimedMotion>> loadCsv(int fd, const std::filesystem::path& path,
                                          const SensorLoggerExportLimits& limits,
                                          SensorLoggerExportNotes* notes) {
  std::vector<sensor_logger::CsvSource> sources;
  sources.push_back({lowerCased(path.stem().string()), path.filename().string(),
                     sensor_logger::fileBytes(fd, limits.maxCsvBytes)});
  return sensor_logger::mergeCsvSources(std::move(sources), limits.maxSamples, notes);
}

Outcome<std::vector<TimedMotion>> loadJson(int fd, std::uint64_t size,
                                           const SensorLoggerExportLimits& limits,
                                           SensorLoggerExportNotes* notes) {
  if (size > limits.maxJsonBytes) return tooLargeFailure(limits.maxJsonBytes);
  std::string bytes;
  // With room for the padding simdjson reads past the end, it parses in place.
  bytes.reserve(static_cast<std::size_t>(size) + simdjson::SIMDJSON_PADDING);
  const sensor_logger::ReadBytes read = sensor_logger::fileBytes(fd, limits.maxJsonBytes);
  std::vector<char> chunk(sensor_logger::kChunkBytes);
  for (;;) {
    const Outcome<std::size_t> got = read(chunk.data(), chunk.size());
    if (!got) return got.error();
    if (*got == 0) break;
    bytes.append(chunk.data(), *got);
  }
  if (bytes.starts_with(kByteOrderMark)) bytes.erase(0, kByteOrderMark.size());  // not JSON's
  simdjson::dom::parser parser;
  simdjson::dom::array readings;
  if (const auto code = parser.parse(bytes).get(readings)) {
    return Failure{FailureKind::notARecord, std::string("not a Sensor Logger JSON export (") +
                                                simdjson::error_message(code) + ")"};
  }
  std::string().swap(bytes);  // the parsed document keeps copies of its strings

  // The file groups readings by sensor; the builder takes them in time order.
  struct Entry {
    std::int64_t timeNs;
    int rank;
    simdjson::dom::element element;
  };
  std::vector<Entry> entries;
  PushReading reading;
  std::size_t malformed = 0;
  const std::size_t mostEntries = limits.maxSamples * 8;  // a handful of sensors per sample
  for (const simdjson::dom::element item : readings) {
    const ReadingStatus status = decodeReading(item, "sensor", reading);
    malformed += status == ReadingStatus::malformed ? 1 : 0;
    if (status != ReadingStatus::motion) continue;
    if (entries.size() == mostEntries) {
      return Failure{FailureKind::tooLarge,
                     "more than " + std::to_string(mostEntries) + " motion readings"};
    }
    entries.push_back(Entry{reading.timeNs, sensor_logger::sensorRank(reading.name), item});
  }
  const int headphone = sensor_logger::sensorRank("headphone");
  if (std::any_of(entries.begin(), entries.end(),
                  [&](const Entry& e) { return e.rank == headphone; })) {
    std::erase_if(entries, [&](const Entry& e) { return e.rank != headphone; });
  }
  std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
    return a.timeNs != b.timeNs ? a.timeNs < b.timeNs : a.rank < b.rank;
  });
  sensor_logger::SampleCollector collector(limits.maxSamples);
  for (const Entry& entry : entries) {
    if (decodeReading(entry.element, "sensor", reading) == ReadingStatus::motion &&
        !collector.add(reading)) {
      break;
    }
  }
  return collector.finish(malformed, notes);
}

}  // namespace

bool looksLikeSensorLoggerExport(std::string_view bytes) {
  if (bytes.starts_with(kZipMagic) || bytes.starts_with(kEmptyZipMagic)) return true;
  if (bytes.starts_with(kByteOrderMark)) bytes.remove_prefix(kByteOrderMark.size());
  constexpr std::string_view kBlank = " \t\r\n";
  const auto first = bytes.find_first_not_of(kBlank);
  if (first != std::string_view::npos && bytes[first] == '[') {
    const auto next = bytes.find_first_not_of(kBlank, first + 1);
    return next == std::string_view::npos || bytes[next] == '{' || bytes[next] == ']';
  }
  // A CSV: the first cell of the first line is "time", and more cells follow.
  const std::string_view line = bytes.substr(0, bytes.find_first_of("\r\n"));
  const auto comma = line.find(',');
  return comma != std::string_view::npos &&
         lowerCased(sensor_logger::cellText(line.substr(0, comma))) == "time";
}

MotionDataPoint toMotionDataPoint(const TimedMotion& sample) {
  const DeviceMotion& m = sample.motion;
  const Vector3& a = m.userAcceleration;
  // The same world-frame conversion as a live recording, so the digits match.
  const Vector3 global = computeGlobalAcceleration(a, m.attitude.rotationMatrix);
  return MotionDataPoint{sample.time,
                         a.x,
                         a.y,
                         a.z,
                         m.rotationRate.x,
                         m.rotationRate.y,
                         m.rotationRate.z,
                         m.attitude.pitch,
                         m.attitude.roll,
                         m.attitude.yaw,
                         m.gravity.x,
                         m.gravity.y,
                         m.gravity.z,
                         global.x,
                         global.y,
                         global.z};
}

Outcome<std::vector<TimedMotion>> loadSensorLoggerExport(const std::filesystem::path& path,
                                                         const SensorLoggerExportLimits& limits,
                                                         SensorLoggerExportNotes* notes) {
  // Refuses a FIFO, a device or a folder before a single read could block or never end.
  auto opened = openDataFile(path);
  if (!opened) return std::move(opened).error();
  UniqueFd fd = std::move(opened).value();
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) return Failure::ofErrno(errno);
  std::array<char, kSniffBytes> first{};
  const ssize_t got = sensor_logger::readAt(fd.get(), first.data(), first.size(), 0);
  if (got < 0) return Failure::ofErrno(errno);
  std::string_view start(first.data(), static_cast<std::size_t>(got));
  if (!looksLikeSensorLoggerExport(start)) {
    return Failure{FailureKind::notARecord,
                   "not a Sensor Logger export (a zip, its JSON, or one of its CSV files)"};
  }
  const auto size = static_cast<std::uint64_t>(info.st_size);
  if (start.starts_with(kZipMagic) || start.starts_with(kEmptyZipMagic)) {
    return sensor_logger::loadZip(fd, size, limits, notes);
  }
  if (start.starts_with(kByteOrderMark)) start.remove_prefix(kByteOrderMark.size());
  const auto opening = start.find_first_not_of(" \t\r\n");
  if (opening != std::string_view::npos && start[opening] == '[') {
    return loadJson(fd.get(), size, limits, notes);
  }
  return loadCsv(fd.get(), path, limits, notes);
}

}  // namespace hopster
