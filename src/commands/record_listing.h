#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/log.h"
#include "records/record_store.h"
#include "records/user_record_data.h"

namespace hopster {

// One saved recording as the command line lists it: the record's own fields
// without its motion trace, and the file it came from.
struct RecordingEntry {
  std::filesystem::path file;
  std::string id;
  double dateStart = 0.0;
  double dateEnd = 0.0;
  double timeSpent = 0.0;
  std::int64_t jumps = 0;
};

struct RecordingList {
  std::vector<RecordingEntry> entries;
  // Why the records folder could not be listed; a missing folder is no error.
  std::optional<std::string> error;
};

// Every record file in the store's folder that loads, in the history
// screen's order: latest-created file first, then latest start first (a
// stable sort, so equal starts keep the file order). Files that do not load
// are left out, each with one log line. Only the record summaries are read
// (through the store's summary index when it has one), so listing thousands
// of long recordings stays small and quick.
[[nodiscard]] RecordingList listRecordings(const RecordStore& store, Log& log);

// Reads one record file whole, up to the size a motion trace may have: the
// record, or why not (notARecord for a file of another kind).
[[nodiscard]] Outcome<UserRecordData> readRecordFile(const std::filesystem::path& path);

// Whether the file's first non-space byte opens a JSON object, as a record
// file's does (a motion CSV opens with its header or a number).
[[nodiscard]] bool looksLikeRecordFile(const std::filesystem::path& path);

}  // namespace hopster
