#pragma once

#include <filesystem>
#include <limits>
#include <optional>
#include <span>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "platform/failure.h"
#include "platform/log.h"
#include "records/record_file.h"
#include "records/record_summary.h"
#include "records/user_record_data.h"

namespace hopster {

// How a summary load went: how many record files the summary index answered
// for and how many had to be read.
struct SummaryLoadStats {
  std::size_t fromIndex = 0;
  std::size_t parsed = 0;
  bool indexWritten = false;
};

// The record store: one JSON file per saved recording in the documents
// folder, and nothing kept in memory between calls. A file that does not
// load is skipped and logged; a save that fails says why (and logs it).
// Summaries of the records (all but their motion traces) may be kept in a
// disposable index in a cache folder, so listing them does not read every
// file again.
class RecordStore {
 public:
  // A store on `documentsDirectory`, which must exist, logging to `log`. With
  // no `summaryCacheDirectory`, summaries are read from the files each time.
  RecordStore(std::filesystem::path documentsDirectory, Log& log,
              std::filesystem::path summaryCacheDirectory = {});

  [[nodiscard]] const std::filesystem::path& documentsDirectory() const { return documents_; }
  [[nodiscard]] Log& log() const { return log_; }
  // The summary index of this folder; empty when summaries are not cached.
  [[nodiscard]] std::filesystem::path summaryIndexFile() const;

  // Writes `record` to `<stem>.json` in the documents folder, replacing any
  // file of that name atomically: a crash leaves the old file or the new,
  // never a torn one. A stem that is not a plain file name is refused.
  // A record saved without a trophy also goes into the summary index at once.
  // Returns why the record could not be saved (also logged), or nothing.
  Status saveUserRecordData(const UserRecordData& record, std::string_view stem) const;
  // The same for a record whose motion trace is given apart from it, as the
  // pieces of its CSV text already escaped for a JSON string (see
  // MotionCsvText); the record's own csvText is not used.
  Status saveUserRecordData(const UserRecordData& record,
                            std::span<const std::string_view> escapedCsv,
                            std::string_view stem) const;

  // Every record file that loads, latest-created file first (files without a
  // creation date last, in listing order). Bad files are skipped and logged;
  // a FIFO, device or folder named *.json is refused without being opened
  // for a blocking read.
  [[nodiscard]] std::vector<UserRecordData> loadAllUserRecordData() const;

  // The summaries of the records loadAllUserRecordData() gives, in the same
  // order and with the same log lines, without keeping any motion trace in
  // memory. Files the summary index knows unchanged are not read; the index
  // is brought up to date (a damaged or foreign index is logged once and
  // rebuilt). The second form logs to `log`, and gives up early, returning
  // nothing and logging no count, once `stop` is requested; it may run on
  // any thread.
  [[nodiscard]] std::vector<RecordSummary> loadAllUserRecordSummaries() const;
  [[nodiscard]] std::vector<RecordSummary> loadAllUserRecordSummaries(
      Log& log, std::stop_token stop, SummaryLoadStats* stats = nullptr) const;

  // Removes the temporary files that atomic saves leave behind when they are
  // killed mid-write (".<name>.XXXXXX.tmp"), once they are older than
  // `minimumAgeSeconds` by `now` (wall-clock seconds), so a save under way in
  // another process is never touched. Logs one line when it removed any.
  void removeStaleTemporaryFiles(double now, double minimumAgeSeconds = 60.0) const;

 private:
  // Puts a record just saved under `fileName` into the summary index.
  // Writes the file of a record made of `pieces` and logs the outcome.
  Status writeRecordFile(const UserRecordData& record, std::span<const std::string_view> pieces,
                         const std::filesystem::path& target) const;
  void indexSavedRecord(const std::string& fileName, const UserRecordData& record) const;

  std::filesystem::path documents_;
  Log& log_;
  std::filesystem::path summaryCache_;
};

}  // namespace hopster
