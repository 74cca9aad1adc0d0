#include "commands/record_listing.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <system_error>

#include "motion_sources/motion_trace.h"
#include "platform/linux/data_file.h"
#include "records/history_format.h"

namespace hopster {

RecordingList listRecordings(const RecordStore& store, Log& log) {
  // The store's own count line is chatter on a command's standard error;
  // every other line (a file that does not load, a rebuilt index) is kept.
  class WithoutCount final : public Log {
   public:
    explicit WithoutCount(Log& out) : out_(out) {}
    void line(std::string_view text) override {
      if (!text.starts_with("Loaded ")) out_.line(text);
    }

   private:
    Log& out_;
  } quiet(log);

  RecordingList list;
  // A folder that cannot be listed is a failure, not an empty history; a
  // missing one is a history not begun: empty, and nothing to complain of.
  std::error_code error;
  const std::filesystem::directory_iterator probe(store.documentsDirectory(), error);
  if (error == std::errc::no_such_file_or_directory) return list;
  if (error) {
    list.error = "cannot list " + store.documentsDirectory().string() + ": " + error.message();
    return list;
  }
  std::vector<RecordSummary> summaries = store.loadAllUserRecordSummaries(quiet, {});
  sortByStartDescending(summaries);
  list.entries.reserve(summaries.size());
  for (const RecordSummary& summary : summaries) {
    list.entries.push_back(RecordingEntry{store.documentsDirectory() / summary.fileName, summary.id,
                                          summary.dateStart, summary.dateEnd, summary.timeSpent,
                                          summary.jumps});
  }
  return list;
}

Outcome<UserRecordData> readRecordFile(const std::filesystem::path& path) {
  return readUserRecordFile(path, MotionTraceLimits{}.maxRecordBytes);
}

bool looksLikeRecordFile(const std::filesystem::path& path) {
  const auto fd = openDataFile(path);
  if (!fd) return false;
  std::array<char, 4096> buffer{};
  bool isRecord = false;
  for (;;) {
    const ssize_t got = ::read(fd->get(), buffer.data(), buffer.size());
    if (got <= 0) break;
    const auto end = buffer.begin() + got;
    const auto first = std::find_if(
        buffer.begin(), end, [](char c) { return !std::isspace(static_cast<unsigned char>(c)); });
    if (first != end) {
      isRecord = *first == '{';
      break;
    }
  }
  return isRecord;
}

}  // namespace hopster
