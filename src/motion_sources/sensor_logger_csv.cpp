#include <algorithm>
#include <array>
#include <cerrno>
#include <deque>
#include <memory>
#include <utility>

#include "motion_sources/line_splitter.h"
#include "motion_sources/sensor_logger_parts.h"
#include "platform/linux/data_file.h"

namespace hopster::sensor_logger {
namespace {

// Far longer than any row of a sensor's numbers; a longer one is skipped.
constexpr std::size_t kLongestLine = 64 * 1024;

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
  explicit CsvTable(CsvSource source)
      : sensor_(std::move(source.sensor)),
        fileName_(std::move(source.fileName)),
        read_(std::move(source.read)),
        lines_(kLongestLine),
        chunk_(kChunkBytes) {}

  // Makes a row ready: true when there is one, false at the end of the file.
  Outcome<bool> ready() {
    const auto take = [this](std::string_view line) { takeLine(line); };
    while (rows_.empty() && !ended_ && headerError_.empty()) {
      Outcome<std::size_t> got = read_(chunk_.data(), chunk_.size());
      if (!got) {
        Failure failure = std::move(got).error();
        failure.message = fileName_ + ": " + failure.message;
        return failure;
      }
      if (*got == 0) {
        lines_.finish(take);
        ended_ = true;
      } else {
        malformed_ += lines_.feed(std::string_view(chunk_.data(), *got), take);
      }
    }
    if (!headerError_.empty()) {
      return Failure{FailureKind::malformed, fileName_ + ": " + headerError_};
    }
    return !rows_.empty();
  }
  [[nodiscard]] const PushReading& reading() const { return rows_.front(); }
  Outcome<bool> next() {
    rows_.pop_front();
    return ready();
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

}  // namespace

std::string_view cellText(std::string_view cell) {
  const auto first = cell.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  cell = cell.substr(first, cell.find_last_not_of(" \t") - first + 1);
  if (cell.size() >= 2 && cell.front() == '"' && cell.back() == '"') {
    cell = cell.substr(1, cell.size() - 2);
  }
  return cell;
}

ssize_t readAt(int fd, char* into, std::size_t size, std::uint64_t offset) {
  for (;;) {
    const ssize_t got = ::pread(fd, into, size, static_cast<off_t>(offset));
    if (got >= 0 || errno != EINTR) return got;
  }
}

ReadBytes fileBytes(int fd, std::uint64_t cap) {
  return [fd, cap, total = std::uint64_t{0}](char* into,
                                             std::size_t size) mutable -> Outcome<std::size_t> {
    const ssize_t got = readAt(fd, into, size, total);
    if (got < 0) return Failure::ofErrno(errno);
    total += static_cast<std::uint64_t>(got);
    if (total > cap) return tooLargeFailure(cap);
    return static_cast<std::size_t>(got);
  };
}

int sensorRank(std::string_view sensor) {
  static constexpr std::array<std::string_view, 6> kOrder = {
      "headphone", "gravity", "orientation", "gyroscope", "accelerometer", "totalacceleration"};
  return static_cast<int>(std::find(kOrder.begin(), kOrder.end(), sensor) - kOrder.begin());
}

bool SampleCollector::add(const PushReading& reading) {
  std::optional<TimedMotion> sample = builder_.add(reading);
  if (!sample) return true;
  if (samples_.size() == maxSamples_) {
    truncated_ = true;
    return false;
  }
  samples_.push_back(*sample);
  return true;
}

Outcome<std::vector<TimedMotion>> SampleCollector::finish(std::size_t malformed,
                                                          SensorLoggerExportNotes* notes) {
  malformed += builder_.malformedReadings();
  if (notes != nullptr) {
    notes->malformedReadings = malformed;
    notes->truncated = truncated_;
    notes->logLines = log_.lines();
  }
  if (samples_.empty()) {
    std::string reason =
        "no motion samples: neither headphone readings nor phone accelerations with gravity";
    if (malformed > 0) reason += " (" + std::to_string(malformed) + " malformed readings)";
    return Failure{FailureKind::malformed, std::move(reason)};
  }
  return std::move(samples_);
}

Outcome<std::vector<TimedMotion>> mergeCsvSources(std::vector<CsvSource> sources,
                                                  std::size_t maxSamples,
                                                  SensorLoggerExportNotes* notes) {
  std::vector<std::unique_ptr<CsvTable>> tables;
  for (CsvSource& source : sources) tables.push_back(std::make_unique<CsvTable>(std::move(source)));
  std::vector<CsvTable*> live;
  for (auto& table : tables) {
    const Outcome<bool> ready = table->ready();
    if (!ready) return ready.error();
    if (*ready) live.push_back(table.get());
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
    const Outcome<bool> more = (*next)->next();
    if (!more) return more.error();
    if (!*more) live.erase(next);
  }
  std::size_t malformed = 0;
  for (const auto& table : tables) malformed += table->malformedRows();
  return collector.finish(malformed, notes);
}

}  // namespace hopster::sensor_logger
