#pragma once

#include <filesystem>
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
  void saveUserRecordData(const UserRecordData& record, std::string_view stem) const;

  // Every record file that loads, latest-created file first (files without a
  // creation date last, in listing order). Bad files are skipped and logged.
  [[nodiscard]] std::vector<UserRecordData> loadAllUserRecordData() const;

 private:
  std::filesystem::path documents_;
  Log& log_;
};

// The file URL of `path` (file:// and the absolute path, percent-encoded).
[[nodiscard]] std::string fileUrl(const std::filesystem::path& path);

}  // namespace hopster
