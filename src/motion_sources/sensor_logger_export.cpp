#include "motion_sources/sensor_logger_export.h"

#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <deque>
#include <functional>
#include <memory>
#include <system_error>
#include <utility>

#include <simdjson.h>

#include "motion_sources/line_splitter.h"
#include "platform/data_file.h"
#include "platform/log.h"
#include "platform/posix_io.h"

namespace hopster {
namespace {

constexpr std::size_t kChunkBytes = 64 * 1024;
// Far longer than any row of a sensor's numbers; a longer one is skipped.
constexpr std::size_t kLongestLine = 64 * 1024;
constexpr std::size_t kSniffBytes = 4096;
constexpr std::string_view kZipMagic = "PK\x03\x04";
constexpr std::string_view kEmptyZipMagic = "PK\x05\x06";
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// Readings of one moment go to the builder gravity and orientation first, so
// an acceleration meets the gravity taken with it.
int sensorRank(std::string_view sensor) {
  static constexpr std::array<std::string_view, 6> kOrder = {
      "headphone", "gravity", "orientation", "gyroscope", "accelerometer", "totalacceleration"};
  return static_cast<int>(std::find(kOrder.begin(), kOrder.end(), sensor) - kOrder.begin());
}

ssize_t readAt(int fd, char* into, std::size_t size, std::uint64_t offset) {
  for (;;) {
    const ssize_t got = ::pread(fd, into, size, static_cast<off_t>(offset));
    if (got >= 0 || errno != EINTR) return got;
  }
}

// Reads up to `size` bytes into `into`: the count, 0 at the end, or nothing
// on failure, with the reason in `error`.
using ReadBytes =
    std::function<std::optional<std::size_t>(char* into, std::size_t size, std::string& error)>;

// A file from its start, refused once it grows past `cap` while it is read.
ReadBytes fileBytes(int fd, std::uint64_t cap) {
  return [fd, cap, total = std::uint64_t{0}](char* into, std::size_t size,
                                             std::string& error) mutable {
    const ssize_t got = readAt(fd, into, size, total);
    total += got < 0 ? 0 : static_cast<std::uint64_t>(got);
    if (got < 0) {
      error = errorText(errno);
    } else if (total > cap) {
      error = "larger than " + std::to_string(cap) + " bytes";
    } else {
      return std::optional(static_cast<std::size_t>(got));
    }
    return std::optional<std::size_t>();
  };
}

// A zip entry (closed with the reader), refused as soon as it yields more
// than it declared: its declared size is what the caps were checked against.
ReadBytes zipEntryBytes(zip_file_t* file, std::uint64_t declared) {
  const std::shared_ptr<zip_file_t> entry(file, &zip_fclose);
  return [entry, declared, total = std::uint64_t{0}](char* into, std::size_t size,
                                                     std::string& error) mutable {
    const zip_int64_t got = zip_fread(entry.get(), into, size);
    total += got < 0 ? 0 : static_cast<std::uint64_t>(got);
    if (got < 0) {
      error = zip_file_strerror(entry.get());
    } else if (total > declared) {
      error = "more bytes than its zip entry declares";
    } else {
      return std::optional(static_cast<std::size_t>(got));
    }
    return std::optional<std::size_t>();
  };
}

std::string_view cellText(std::string_view cell) {
  const auto first = cell.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  cell = cell.substr(first, cell.find_last_not_of(" \t") - first + 1);
  if (cell.size() >= 2 && cell.front() == '"' && cell.back() == '"') {
    cell = cell.substr(1, cell.size() - 2);
  }
  return cell;
}

// Splits a CSV row at the commas outside quotes; false when it has more than
// `most` cells.
bool splitRow(std::string_view line, std::size_t most, std::vector<std::string_view>& cells) {
  cells.clear();
  bool quoted = false;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= line.size(); ++i) {
    if (i < line.size() && line[i] == '"') quoted = !quoted;
    if (i < line.size() && (line[i] != ',' || quoted)) continue;
    if (cells.size() == most) return false;
    cells.push_back(cellText(line.substr(start, i - start)));
    start = i + 1;
  }
  return true;
}

// One sensor's CSV file, read chunk by chunk, its rows as readings. Its
// errors start with the file's name.
class CsvTable {
 public:
  CsvTable(std::string sensor, std::string fileName, ReadBytes read)
      : sensor_(std::move(sensor)),
        fileName_(std::move(fileName)),
        read_(std::move(read)),
        lines_(kLongestLine),
        chunk_(kChunkBytes) {}

  // Makes a row ready; false at the end of the file, or on failure with
  // `error` set.
  bool ready(std::string& error) {
    const auto take = [this](std::string_view line) { takeLine(line); };
    while (rows_.empty() && !ended_ && headerError_.empty()) {
      const std::optional<std::size_t> got = read_(chunk_.data(), chunk_.size(), error);
      if (!got) {
        error = fileName_ + ": " + error;
        return false;
      }
      if (*got == 0) {
        lines_.finish(take);
        ended_ = true;
      } else {
        malformed_ += lines_.feed(std::string_view(chunk_.data(), *got), take);
      }
    }
    if (!headerError_.empty()) error = fileName_ + ": " + headerError_;
    return !rows_.empty() && headerError_.empty();
  }
  [[nodiscard]] const PushReading& reading() const { return rows_.front(); }
  bool next(std::string& error) {
    rows_.pop_front();
    return ready(error);
  }
  [[nodiscard]] std::size_t malformedRows() const { return malformed_; }

 private:
  void takeLine(std::string_view line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!headerError_.empty() || line.find_first_not_of(" \t") == std::string_view::npos) return;
    if (columns_.empty()) {
      readHeader(line);
    } else if (std::optional<PushReading> row = readRow(line)) {
      rows_.push_back(std::move(*row));
    } else {
      ++malformed_;
    }
  }

  // A "time" column and the names of the fields.
  void readHeader(std::string_view line) {
    if (line.starts_with(kByteOrderMark)) line.remove_prefix(kByteOrderMark.size());
    if (!splitRow(line, kMaxReadingFields, cells_)) {
      headerError_ = "more than " + std::to_string(kMaxReadingFields) + " columns";
      return;
    }
    columns_.assign(cells_.begin(), cells_.end());
    const auto named = [&](std::string_view name) {
      return std::find_if(columns_.begin(), columns_.end(),
                          [&](const std::string& c) { return lowerCased(c) == name; });
    };
    timeColumn_ = static_cast<std::size_t>(named("time") - columns_.begin());
    if (timeColumn_ == columns_.size()) headerError_ = "no \"time\" column";
    // A lone headphone CSV renamed by its user still says what it holds.
    if (!isMotionSensorName(sensor_) && named("accelerationx") != columns_.end() &&
        named("gravityx") != columns_.end()) {
      sensor_ = "headphone";
    }
  }

  std::optional<PushReading> readRow(std::string_view line) {
    if (!splitRow(line, columns_.size(), cells_) || cells_.size() != columns_.size()) return {};
    const std::optional<std::int64_t> time = parseTimeText(cells_[timeColumn_]);
    if (!time) return {};
    PushReading row{sensor_, *time, {}};
    for (std::size_t i = 0; i < cells_.size(); ++i) {
      // Empty and text cells are fields the row does not have.
      const std::optional<double> value = parseNumberText(cells_[i]);
      if (i != timeColumn_ && value) row.fields.emplace_back(columns_[i], *value);
    }
    return row;
  }

  std::string sensor_;
  std::string fileName_;
  ReadBytes read_;
  LineSplitter lines_;
  std::vector<char> chunk_;
  std::vector<std::string> columns_;
  std::size_t timeColumn_ = 0;
  std::vector<std::string_view> cells_;
  std::deque<PushReading> rows_;  // of the chunks read so far, not yet taken
  std::string headerError_;
  bool ended_ = false;
  std::size_t malformed_ = 0;
};

// The builder and the samples it has made so far, up to the cap.
class SampleCollector {
 public:
  explicit SampleCollector(std::size_t maxSamples) : builder_(log_), maxSamples_(maxSamples) {}

  // Hands one reading on; false once the samples are full and another came.
  bool add(const PushReading& reading) {
    std::optional<TimedMotion> sample = builder_.add(reading);
    if (!sample) return true;
    if (samples_.size() == maxSamples_) {
      truncated_ = true;
      return false;
    }
    samples_.push_back(*sample);
    return true;
  }

  // The samples, with the notes filled in; nothing when there are none.
  std::optional<std::vector<TimedMotion>> finish(std::size_t malformed, std::string& error,
                                                 SensorLoggerExportNotes* notes) {
    malformed += builder_.malformedReadings();
    if (notes != nullptr) {
      notes->malformedReadings = malformed;
      notes->truncated = truncated_;
      notes->logLines = log_.lines();
    }
    if (samples_.empty()) {
      error = "no motion samples: neither headphone readings nor phone accelerations with gravity";
      if (malformed > 0) error += " (" + std::to_string(malformed) + " malformed readings)";
      return std::nullopt;
    }
    return std::move(samples_);
  }

 private:
  MemoryLog log_;
  PhoneSampleBuilder builder_;
  std::size_t maxSamples_;
  std::vector<TimedMotion> samples_;
  bool truncated_ = false;
};

// Feeds the tables' rows to the collector in time order; on a tie, gravity
// and orientation first.
std::optional<std::vector<TimedMotion>> mergeTables(std::vector<std::unique_ptr<CsvTable>>& tables,
                                                    std::size_t maxSamples, std::string& error,
                                                    SensorLoggerExportNotes* notes) {
  std::vector<CsvTable*> live;
  for (auto& table : tables) {
    if (table->ready(error)) live.push_back(table.get());
    if (!error.empty()) return std::nullopt;
  }
  std::sort(live.begin(), live.end(), [](CsvTable* a, CsvTable* b) {
    return sensorRank(a->reading().name) < sensorRank(b->reading().name);
  });
  SampleCollector collector(maxSamples);
  while (!live.empty()) {
    const auto next = std::min_element(live.begin(), live.end(), [](CsvTable* a, CsvTable* b) {
      return a->reading().timeNs < b->reading().timeNs;
    });
    if (!collector.add((*next)->reading())) break;
    if (!(*next)->next(error)) {
      if (!error.empty()) return std::nullopt;
      live.erase(next);
    }
  }
  std::size_t malformed = 0;
  for (const auto& table : tables) malformed += table->malformedRows();
  return collector.finish(malformed, error, notes);
}

std::uint64_t littleEndian(const char* bytes, int count) {
  std::uint64_t value = 0;
  for (int i = count - 1; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bytes[i]);
  return value;
}

// How many entries the zip's end record declares, read before libzip
// allocates room for every one of them.
std::optional<std::uint64_t> declaredZipEntries(int fd, std::uint64_t size, std::string& error) {
  constexpr std::size_t kEndRecord = 22, kLongestComment = 65535, kLocator = 20, kEnd64 = 56;
  std::vector<char> tail(
      static_cast<std::size_t>(std::min<std::uint64_t>(size, kEndRecord + kLongestComment)));
  const std::uint64_t tailStart = size - tail.size();
  error = "not a zip archive";
  if (tail.size() < kEndRecord ||
      readAt(fd, tail.data(), tail.size(), tailStart) != static_cast<ssize_t>(tail.size())) {
    return std::nullopt;
  }
  for (std::size_t at = tail.size() - kEndRecord + 1; at-- > 0;) {
    if (std::string_view(tail.data() + at, 4) != kEmptyZipMagic) continue;
    const std::uint64_t entries = littleEndian(tail.data() + at + 10, 2);
    if (entries != 0xFFFF && littleEndian(tail.data() + at + 12, 4) != 0xFFFFFFFF &&
        littleEndian(tail.data() + at + 16, 4) != 0xFFFFFFFF) {
      error.clear();
      return entries;
    }
    // Zip64: the locator just before the end record points at the larger record.
    std::array<char, kEnd64> record{};
    if (tailStart + at < kLocator ||
        readAt(fd, record.data(), kLocator, tailStart + at - kLocator) != kLocator ||
        std::string_view(record.data(), 4) != "PK\x06\x07" ||
        readAt(fd, record.data(), kEnd64, littleEndian(record.data() + 8, 8)) != kEnd64 ||
        std::string_view(record.data(), 4) != "PK\x06\x06") {
      return std::nullopt;
    }
    error.clear();
    return littleEndian(record.data() + 32, 8);
  }
  return std::nullopt;
}

// The zip's sensor files, wherever they lie in it, by name without regard to
// case: only Headphone.csv when there is one.
struct ZipEntry {
  std::string sensor;
  std::string name;
  zip_uint64_t index;
  std::uint64_t size;
};

std::vector<ZipEntry> sensorEntries(zip_t* archive) {
  std::vector<ZipEntry> chosen;
  const zip_int64_t count = zip_get_num_entries(archive, 0);
  for (zip_int64_t i = 0; i < count; ++i) {
    zip_stat_t stat;
    if (zip_stat_index(archive, static_cast<zip_uint64_t>(i), 0, &stat) != 0 ||
        (stat.valid & (ZIP_STAT_NAME | ZIP_STAT_SIZE)) != (ZIP_STAT_NAME | ZIP_STAT_SIZE)) {
      continue;
    }
    const std::string_view path(stat.name);
    const std::string file = lowerCased(path.substr(path.rfind('/') + 1));
    const std::string sensor = file.substr(0, file.size() - std::min<std::size_t>(4, file.size()));
    const bool taken = std::any_of(chosen.begin(), chosen.end(),
                                   [&](const ZipEntry& e) { return e.sensor == sensor; });
    if (file.ends_with(".csv") && isMotionSensorName(sensor) && !taken) {
      chosen.push_back(
          ZipEntry{sensor, std::string(path), static_cast<zip_uint64_t>(i), stat.size});
    }
  }
  if (std::any_of(chosen.begin(), chosen.end(),
                  [](const ZipEntry& e) { return e.sensor == "headphone"; })) {
    std::erase_if(chosen, [](const ZipEntry& e) { return e.sensor != "headphone"; });
  }
  return chosen;
}

std::optional<std::vector<TimedMotion>> loadZip(UniqueFd& fd, std::uint64_t size,
                                                const SensorLoggerExportLimits& limits,
                                                std::string& error,
                                                SensorLoggerExportNotes* notes) {
  const std::optional<std::uint64_t> entries = declaredZipEntries(fd.get(), size, error);
  if (!entries) return std::nullopt;
  if (*entries > limits.maxZipEntries) {
    error = "a zip of " + std::to_string(*entries) + " entries, more than an export holds";
    return std::nullopt;
  }
  int code = 0;
  zip_t* const opened = zip_fdopen(fd.get(), 0, &code);
  if (opened == nullptr) {
    zip_error_t reason;
    zip_error_init_with_code(&reason, code);
    error = std::string("not a readable zip (") + zip_error_strerror(&reason) + ")";
    zip_error_fini(&reason);
    return std::nullopt;
  }
  static_cast<void>(fd.release());  // the archive owns it now
  const std::unique_ptr<zip_t, decltype(&zip_discard)> archive(opened, &zip_discard);

  const std::vector<ZipEntry> chosen = sensorEntries(opened);
  if (std::none_of(chosen.begin(), chosen.end(), [](const ZipEntry& e) {
        return e.sensor == "headphone" || e.sensor == "accelerometer" ||
               e.sensor == "totalacceleration";
      })) {
    error = "the zip has no Headphone.csv and no Accelerometer.csv";
    return std::nullopt;
  }
  // Checked against the declared sizes, which each entry is held to as it is read.
  std::uint64_t total = 0;
  for (const ZipEntry& entry : chosen) {
    if (entry.size > limits.maxCsvBytes) {
      error = entry.name + " is larger than " + std::to_string(limits.maxCsvBytes) + " bytes";
      return std::nullopt;
    }
    total += entry.size;
  }
  if (total > limits.maxUncompressedBytes) {
    error = "the zip's sensor files hold more than " + std::to_string(limits.maxUncompressedBytes) +
            " bytes";
    return std::nullopt;
  }
  std::vector<std::unique_ptr<CsvTable>> tables;
  for (const ZipEntry& entry : chosen) {
    zip_file_t* const file = zip_fopen_index(opened, entry.index, 0);
    if (file == nullptr) {
      error = entry.name + ": " + zip_strerror(opened);
      return std::nullopt;
    }
    tables.push_back(
        std::make_unique<CsvTable>(entry.sensor, entry.name, zipEntryBytes(file, entry.size)));
  }
  return mergeTables(tables, limits.maxSamples, error, notes);
}

std::optional<std::vector<TimedMotion>> loadCsv(int fd, const std::filesystem::path& path,
                                                const SensorLoggerExportLimits& limits,
                                                std::string& error,
                                                SensorLoggerExportNotes* notes) {
  std::vector<std::unique_ptr<CsvTable>> tables;
  tables.push_back(std::make_unique<CsvTable>(lowerCased(path.stem().string()),
                                              path.filename().string(),
                                              fileBytes(fd, limits.maxCsvBytes)));
  return mergeTables(tables, limits.maxSamples, error, notes);
}

std::optional<std::vector<TimedMotion>> loadJson(int fd, std::uint64_t size,
                                                 const SensorLoggerExportLimits& limits,
                                                 std::string& error,
                                                 SensorLoggerExportNotes* notes) {
  if (size > limits.maxJsonBytes) {
    error = "larger than " + std::to_string(limits.maxJsonBytes) + " bytes";
    return std::nullopt;
  }
  std::string bytes;
  // With room for the padding simdjson reads past the end, it parses in place.
  bytes.reserve(static_cast<std::size_t>(size) + simdjson::SIMDJSON_PADDING);
  const ReadBytes read = fileBytes(fd, limits.maxJsonBytes);
  std::vector<char> chunk(kChunkBytes);
  for (;;) {
    const std::optional<std::size_t> got = read(chunk.data(), chunk.size(), error);
    if (!got) return std::nullopt;
    if (*got == 0) break;
    bytes.append(chunk.data(), *got);
  }
  if (bytes.starts_with(kByteOrderMark)) bytes.erase(0, kByteOrderMark.size());  // not JSON's
  simdjson::dom::parser parser;
  simdjson::dom::array readings;
  if (const auto code = parser.parse(bytes).get(readings)) {
    error = std::string("not a Sensor Logger JSON export (") + simdjson::error_message(code) + ")";
    return std::nullopt;
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
      error = "more than " + std::to_string(mostEntries) + " motion readings";
      return std::nullopt;
    }
    entries.push_back(Entry{reading.timeNs, sensorRank(reading.name), item});
  }
  const int headphone = sensorRank("headphone");
  if (std::any_of(entries.begin(), entries.end(),
                  [&](const Entry& e) { return e.rank == headphone; })) {
    std::erase_if(entries, [&](const Entry& e) { return e.rank != headphone; });
  }
  std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
    return a.timeNs != b.timeNs ? a.timeNs < b.timeNs : a.rank < b.rank;
  });
  SampleCollector collector(limits.maxSamples);
  for (const Entry& entry : entries) {
    if (decodeReading(entry.element, "sensor", reading) == ReadingStatus::motion &&
        !collector.add(reading)) {
      break;
    }
  }
  return collector.finish(malformed, error, notes);
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
  return comma != std::string_view::npos && lowerCased(cellText(line.substr(0, comma))) == "time";
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

std::optional<std::vector<TimedMotion>> loadSensorLoggerExport(
    const std::filesystem::path& path, std::string& error, const SensorLoggerExportLimits& limits,
    SensorLoggerExportNotes* notes) {
  // Refuses a FIFO, a device or a folder before a single read could block or never end.
  UniqueFd fd = openDataFile(path, error);
  if (!fd) return std::nullopt;
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) {
    error = errorText(errno);
    return std::nullopt;
  }
  std::array<char, kSniffBytes> first{};
  const ssize_t got = readAt(fd.get(), first.data(), first.size(), 0);
  if (got < 0) {
    error = errorText(errno);
    return std::nullopt;
  }
  std::string_view start(first.data(), static_cast<std::size_t>(got));
  if (!looksLikeSensorLoggerExport(start)) {
    error = "not a Sensor Logger export (a zip, its JSON, or one of its CSV files)";
    return std::nullopt;
  }
  const auto size = static_cast<std::uint64_t>(info.st_size);
  if (start.starts_with(kZipMagic) || start.starts_with(kEmptyZipMagic)) {
    return loadZip(fd, size, limits, error, notes);
  }
  if (start.starts_with(kByteOrderMark)) start.remove_prefix(kByteOrderMark.size());
  const auto opening = start.find_first_not_of(" \t\r\n");
  if (opening != std::string_view::npos && start[opening] == '[') {
    return loadJson(fd.get(), size, limits, error, notes);
  }
  return loadCsv(fd.get(), path, limits, error, notes);
}

}  // namespace hopster
