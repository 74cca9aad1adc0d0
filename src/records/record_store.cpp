#include "records/record_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <optional>
#include <system_error>

#include <simdjson.h>

#include "platform/linux/atomic_file.h"
#include "platform/linux/data_file.h"
#include "platform/linux/posix_io.h"
#include "platform/linux/xdg_paths.h"
#include "records/record_summary_index.h"
#include "records/user_record_json.h"

namespace hopster {
namespace {

// Undated files count as created at 0001-01-01 00:00:00 UTC.
constexpr double kUndated = -62135596800.0;

// What a record file's listing entry tells: its birth time, where the file
// system records one, and its stamp when it is a regular file.
struct RecordFile {
  std::filesystem::path path;
  double created = kUndated;
  std::optional<RecordFileStamp> stamp;
};

void describe(RecordFile& file) {
  struct statx info {};
  if (statx(AT_FDCWD, file.path.c_str(), 0, STATX_BASIC_STATS | STATX_BTIME, &info) != 0) return;
  if ((info.stx_mask & STATX_BTIME) != 0) {
    file.created = static_cast<double>(info.stx_btime.tv_sec) + info.stx_btime.tv_nsec * 1e-9;
  }
  constexpr unsigned kStampFields = STATX_TYPE | STATX_SIZE | STATX_MTIME | STATX_CTIME | STATX_INO;
  if ((info.stx_mask & kStampFields) == kStampFields && S_ISREG(info.stx_mode)) {
    const auto ns = [](const statx_timestamp& t) {
      return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
    };
    file.stamp =
        RecordFileStamp{info.stx_size, ns(info.stx_mtime), ns(info.stx_ctime), info.stx_ino};
  }
}

// Wall-clock time in nanoseconds since 1970.
std::int64_t nowNs() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

// How long after a file's last change its stamp can be trusted to catch the
// next change: file times come from a clock that only moves once a tick, so a
// change within the tick of the last one leaves the times as they were.
std::int64_t settlingNs() {
  timespec tick{};
  if (clock_getres(CLOCK_REALTIME_COARSE, &tick) != 0) tick.tv_nsec = 10'000'000;
  const std::int64_t ns = static_cast<std::int64_t>(tick.tv_sec) * 1'000'000'000 + tick.tv_nsec;
  return std::max<std::int64_t>(2 * ns, 20'000'000);
}

bool isPlainFileName(std::string_view stem) {
  return !stem.empty() && stem != "." && stem != ".." && stem.find('/') == std::string_view::npos &&
         stem.find('\0') == std::string_view::npos;
}

// The path extension: the text after the last "." of the file name.
bool hasJsonExtension(const std::string& name) {
  const auto dot = name.rfind('.');
  return dot != std::string::npos && name.compare(dot + 1, std::string::npos, "json") == 0;
}

}  // namespace

RecordStore::RecordStore(std::filesystem::path documentsDirectory, Log& log,
                         std::filesystem::path summaryCacheDirectory)
    : documents_(std::move(documentsDirectory)),
      log_(log),
      summaryCache_(std::move(summaryCacheDirectory)) {}

namespace {

Status refuseStem(std::string_view stem, Log& log) {
  if (isPlainFileName(stem)) return std::nullopt;
  std::string reason = "\"" + std::string(stem) + "\" is not a plain file name.";
  log.line("Failed to save UserRecordData: " + reason);
  return Failure{FailureKind::other, std::move(reason)};
}

}  // namespace

Status RecordStore::saveUserRecordData(const UserRecordData& record, std::string_view stem) const {
  if (auto refused = refuseStem(stem, log_)) return refused;
  std::string encoded;
  if (auto error = encodeUserRecordData(record, encoded)) {
    log_.line("Failed to save UserRecordData: " + error->message);
    return error;
  }
  const std::string_view piece = encoded;
  return writeRecordFile(record, std::span(&piece, 1), documents_ / (std::string(stem) + ".json"));
}

Status RecordStore::saveUserRecordData(const UserRecordData& record,
                                       std::span<const std::string_view> escapedCsv,
                                       std::string_view stem) const {
  if (auto refused = refuseStem(stem, log_)) return refused;
  std::string head, tail;
  if (auto error = encodeUserRecordParts(record, head, tail)) {
    log_.line("Failed to save UserRecordData: " + error->message);
    return error;
  }
  std::vector<std::string_view> pieces;
  pieces.reserve(escapedCsv.size() + 2);
  pieces.emplace_back(head);
  pieces.insert(pieces.end(), escapedCsv.begin(), escapedCsv.end());
  pieces.emplace_back(tail);
  return writeRecordFile(record, pieces, documents_ / (std::string(stem) + ".json"));
}

Status RecordStore::writeRecordFile(const UserRecordData& record,
                                    std::span<const std::string_view> pieces,
                                    const std::filesystem::path& target) const {
  if (auto error = writeFileAtomically(target, pieces)) {
    log_.line("Failed to save UserRecordData: " + error->message);
    return error;
  }
  log_.line("UserRecordData saved successfully to " + fileUrl(target) + ".");
  indexSavedRecord(target.filename().string(), record);
  return std::nullopt;
}

void RecordStore::removeStaleTemporaryFiles(double now, double minimumAgeSeconds) const {
  std::error_code error;
  std::size_t removed = 0;
  std::uintmax_t bytes = 0;
  std::filesystem::directory_iterator listing(documents_, error);
  for (; !error && listing != std::filesystem::directory_iterator(); listing.increment(error)) {
    const std::string name = listing->path().filename().string();
    // Only the names writeFileAtomically makes: "." + target + ".XXXXXX.tmp".
    if (name.size() < 13 || name[0] != '.' || !name.ends_with(".tmp") ||
        name[name.size() - 11] != '.') {
      continue;
    }
    struct stat info {};
    if (::lstat(listing->path().c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
    const double modified = static_cast<double>(info.st_mtim.tv_sec) + info.st_mtim.tv_nsec * 1e-9;
    if (now - modified < minimumAgeSeconds) continue;
    if (::unlink(listing->path().c_str()) == 0) {
      ++removed;
      bytes += static_cast<std::uintmax_t>(info.st_size);
    }
  }
  if (removed > 0) {
    log_.line("Removed " + std::to_string(removed) + " unfinished temporary files (" +
              std::to_string(bytes) + " bytes) left in " + documents_.string() +
              " by interrupted saves.");
  }
}

namespace {

// The ".json" entries of `folder`, latest-created first (undated ones last,
// in listing order), or nothing when the folder cannot be listed (logged).
std::optional<std::vector<RecordFile>> listRecordFiles(const std::filesystem::path& folder,
                                                       Log& log) {
  std::vector<RecordFile> files;
  std::error_code error;
  std::filesystem::directory_iterator listing(folder, error);
  for (; !error && listing != std::filesystem::directory_iterator(); listing.increment(error)) {
    const auto& path = listing->path();
    if (hasJsonExtension(path.filename().string())) files.push_back({path, kUndated, {}});
  }
  if (error) {
    log.line("Failed to list directory contents: " + error.message());
    return std::nullopt;
  }
  // Each date is read once, so the order cannot change while sorting.
  for (auto& file : files) describe(file);
  std::stable_sort(files.begin(), files.end(),
                   [](const RecordFile& a, const RecordFile& b) { return a.created > b.created; });
  return files;
}

void logLoadFailure(Log& log, const std::filesystem::path& path, const std::string& reason) {
  log.line("Failed to load UserRecordData from " + fileUrl(path) + ": " + reason);
}

void logCount(Log& log, std::size_t count) {
  log.line("Loaded " + std::to_string(count) + " UserRecordData objects.");
}

}  // namespace

std::vector<UserRecordData> RecordStore::loadAllUserRecordData() const {
  const auto files = listRecordFiles(documents_, log_);
  if (!files) return {};
  std::vector<UserRecordData> records;
  records.reserve(files->size());
  simdjson::dom::parser parser;
  std::vector<char> buffer;
  for (const auto& file : *files) {
    std::size_t length = 0;
    UserRecordData record;
    Status failure = readPaddedFile(file.path, buffer, length);
    if (!failure) failure = decodeRecordFile(parser, buffer, length, record);
    if (failure) {
      logLoadFailure(log_, file.path, failure->message);
    } else {
      records.push_back(std::move(record));
    }
  }
  logCount(log_, records.size());
  return records;
}

std::filesystem::path RecordStore::summaryIndexFile() const {
  if (summaryCache_.empty()) return {};
  return recordSummaryIndexPath(summaryCache_, documents_);
}

std::vector<RecordSummary> RecordStore::loadAllUserRecordSummaries() const {
  return loadAllUserRecordSummaries(log_, {});
}

std::vector<RecordSummary> RecordStore::loadAllUserRecordSummaries(Log& log, std::stop_token stop,
                                                                   SummaryLoadStats* stats) const {
  SummaryLoadStats counts;
  // Taken before any file is looked at, so every stamp is younger.
  const std::int64_t scanStart = nowNs();
  const auto files = listRecordFiles(documents_, log);
  if (!files) return {};

  const std::filesystem::path indexFile = summaryIndexFile();
  RecordSummaryEntries known;
  // A missing or unusable index is written afresh even when it stays empty.
  bool rewriteIndex = false;
  if (!indexFile.empty()) {
    std::error_code error;
    rewriteIndex = !std::filesystem::exists(std::filesystem::symlink_status(indexFile, error));
    if (auto problem = readRecordSummaryIndex(indexFile, documents_, known)) {
      log.line("Rebuilding the record summary index " + indexFile.string() + ": " +
               problem->message);
      rewriteIndex = true;
    }
  }

  RecordSummaryEntries current;
  std::vector<RecordSummary> summaries;
  summaries.reserve(files->size());
  RecordSummaryReader reader;
  simdjson::dom::parser fullParser;
  std::vector<char> buffer;
  const std::int64_t settling = settlingNs();
  for (const auto& file : *files) {
    if (stop.stop_requested()) return {};
    std::string name = file.path.filename().string();
    IndexedRecord entry;
    const auto cached = known.find(name);
    if (file.stamp && cached != known.end() && cached->second.settled &&
        cached->second.stamp == *file.stamp) {
      entry = cached->second;
      ++counts.fromIndex;
    } else {
      ++counts.parsed;
      std::optional<RecordSummary> summary;
      Status failure;
      // Nearly every record is summarised as it streams by; the others are
      // read whole.
      if (const auto fd = openDataFile(file.path)) summary = reader.summarizeFile(fd->get());
      std::size_t length = 0;
      if (!summary) failure = readPaddedFile(file.path, buffer, length);
      if (!summary && !failure) summary = reader.summarize(buffer.data(), length);
      if (!failure && !summary) {
        // Only the full decoder can tell: it gives the verdict and the reason.
        UserRecordData record;
        failure = decodeRecordFile(fullParser, buffer, length, record);
        if (!failure) {
          summary =
              RecordSummary{std::move(record.id), {},          record.dateStart, record.dateEnd,
                            record.timeSpent,     record.jumps};
        }
      }
      if (summary) {
        entry.loads = true;
        entry.id = std::move(summary->id);
        entry.dateStart = summary->dateStart;
        entry.dateEnd = summary->dateEnd;
        entry.timeSpent = summary->timeSpent;
        entry.jumps = summary->jumps;
      } else {
        entry.failure = std::move(failure->message);
      }
      if (file.stamp) {
        entry.stamp = *file.stamp;
        entry.settled = file.stamp->changedNs + settling < scanStart;
      }
    }
    if (entry.loads) {
      summaries.push_back(RecordSummary{entry.id, name, entry.dateStart, entry.dateEnd,
                                        entry.timeSpent, entry.jumps, file.created});
    } else {
      logLoadFailure(log, file.path, entry.failure);
    }
    // Only regular files are remembered: anything else is refused at once.
    if (file.stamp) current.emplace(std::move(name), std::move(entry));
  }
  logCount(log, summaries.size());

  if (!indexFile.empty() && (rewriteIndex || current != known)) {
    if (auto error = writeRecordSummaryIndex(indexFile, documents_, current)) {
      log.line("Failed to save the record summary index " + indexFile.string() + ": " +
               error->message);
    } else {
      counts.indexWritten = true;
    }
  }
  if (stats != nullptr) *stats = counts;
  return summaries;
}

void RecordStore::indexSavedRecord(const std::string& fileName,
                                   const UserRecordData& record) const {
  // A trophy's own checks belong to the full decoder; such a record (which
  // the recorder never saves) is left to the next load.
  if (summaryCache_.empty() || record.unlockedTrophy) return;
  RecordFile file{documents_ / fileName, kUndated, {}};
  describe(file);
  if (!file.stamp) return;
  const std::filesystem::path indexFile = summaryIndexFile();
  RecordSummaryEntries entries;
  if (auto problem = readRecordSummaryIndex(indexFile, documents_, entries)) {
    log_.line("Rebuilding the record summary index " + indexFile.string() + ": " +
              problem->message);
  }
  // The file holds exactly what was encoded from `record`, and was replaced
  // by a rename just now, so its stamp is its own.
  IndexedRecord& entry = entries[fileName];
  entry = IndexedRecord{
      *file.stamp,      true,        true, {}, record.id, record.dateStart, record.dateEnd,
      record.timeSpent, record.jumps};
  if (auto error = writeRecordSummaryIndex(indexFile, documents_, entries)) {
    log_.line("Failed to save the record summary index " + indexFile.string() + ": " +
              error->message);
  }
}

}  // namespace hopster
