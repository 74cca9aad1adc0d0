#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/log.h"
#include "records/user_record_data.h"

namespace hopster {

// The record store: one JSON file per saved recording in the documents
// folder, and nothing kept in memory between calls. Outcomes go to the log;
// callers get no errors.
class FileManagerSingleton {
 public:
  // The process-wide store on the user's documents folder
  // ($XDG_DATA_HOME/hopster/Documents), logging to standard output. The
  // folder is created on first use.
  static FileManagerSingleton& shared();

  // A store on another folder (tests, scripts); the folder must exist.
  FileManagerSingleton(std::filesystem::path documentsDirectory, Log& log);

  [[nodiscard]] const std::filesystem::path& documentsDirectory() const { return documents_; }

  // Writes `record` to `<stem>.json` in the documents folder, replacing any
  // file of that name atomically: a crash leaves the old file or the new,
  // never a torn one. A stem that is not a plain file name is refused.
  // Returns why the record could not be saved (also logged), or nothing.
  std::optional<std::string> saveUserRecordData(const UserRecordData& record,
                                                std::string_view stem) const;

  // Every record file that loads, latest-created file first (files without a
  // creation date last, in listing order). Bad files are skipped and logged;
  // a FIFO, device or folder named *.json is refused without being opened
  // for a blocking read.
  [[nodiscard]] std::vector<UserRecordData> loadAllUserRecordData() const;

  // Removes the temporary files that atomic saves leave behind when they are
  // killed mid-write (".<name>.XXXXXX.tmp"), once they are older than
  // `minimumAgeSeconds` by `now` (wall-clock seconds), so a save under way in
  // another process is never touched. Logs one line when it removed any.
  void removeStaleTemporaryFiles(double now, double minimumAgeSeconds = 60.0) const;

 private:
  std::filesystem::path documents_;
  Log& log_;
};

// The file URL of `path` (file:// and the absolute path, percent-encoded).
[[nodiscard]] std::string fileUrl(const std::filesystem::path& path);

}  // namespace hopster
