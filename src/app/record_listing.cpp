#include "app/record_listing.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstring>

#include <simdjson.h>

#include "motion_sources/motion_trace.h"
#include "platform/data_file.h"
#include "records/history_format.h"
#include "records/user_record_json.h"

namespace hopster {
namespace {

std::optional<UserRecordData> readRecord(simdjson::dom::parser& parser,
                                         const std::filesystem::path& path,
                                         std::vector<char>& buffer, std::string& error) {
  std::size_t length = 0;
  if (auto failure = readPaddedFile(path, buffer, length, MotionTraceLimits{}.maxRecordBytes)) {
    error = *failure;
    return std::nullopt;
  }
  simdjson::dom::element root;
  if (const auto code = parser.parse(buffer.data(), length, false).get(root)) {
    error = std::string("dataCorrupted: The given data was not valid JSON. (") +
            simdjson::error_message(code) + ")";
    return std::nullopt;
  }
  auto record = decodeUserRecordData(root);
  if (!record) {
    error = record.error().description();
    return std::nullopt;
  }
  return std::move(record).value();
}

}  // namespace

RecordingList listRecordings(const FileManagerSingleton& store, Log& log) {
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

std::optional<UserRecordData> readRecordFile(const std::filesystem::path& path,
                                             std::string& error) {
  simdjson::dom::parser parser;
  std::vector<char> buffer;
  return readRecord(parser, path, buffer, error);
}

bool looksLikeRecordFile(const std::filesystem::path& path) {
  std::string error;
  const int fd = openDataFile(path, error);
  if (fd < 0) return false;
  std::array<char, 4096> buffer{};
  bool isRecord = false;
  for (;;) {
    const ssize_t got = ::read(fd, buffer.data(), buffer.size());
    if (got <= 0) break;
    const auto end = buffer.begin() + got;
    const auto first = std::find_if(
        buffer.begin(), end, [](char c) { return !std::isspace(static_cast<unsigned char>(c)); });
    if (first != end) {
      isRecord = *first == '{';
      break;
    }
  }
  ::close(fd);
  return isRecord;
}

}  // namespace hopster
