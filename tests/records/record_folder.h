#pragma once

// A records folder for the store's tests, whose full and summary loads can
// be compared, a record to save in it, and its files written and read byte
// for byte.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#include "platform/linux/memory_log.h"
#include "records/history_format.h"
#include "records/record_store.h"
#include "support/temp_dir.h"

namespace hopster {

namespace fs = std::filesystem;

inline UserRecordData record(const std::string& id = "6F9619FF-8B86-4011-B42D-00CF4FC964FF",
                             double dateStart = 1764942759.123456, std::int64_t jumps = 12) {
  return UserRecordData(id, dateStart, dateStart + 30.376544, 30.376544, jumps,
                        "TimeIntervalSince1970,AccelerationX\n1.5,\"0.25\"\n", std::nullopt);
}

inline void writeText(const fs::path& path, std::string_view text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

inline std::string readText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

using Row = std::tuple<std::string, double, double, double, std::int64_t>;

Row rowOf(const auto& r) { return Row(r.id, r.dateStart, r.dateEnd, r.timeSpent, r.jumps); }

// The records' rows in the order given, or after the history's sort.
template <class Record>
std::vector<Row> rowsOf(std::vector<Record> records, bool sorted) {
  if (sorted) sortByStartDescending(records);
  std::vector<Row> rows;
  for (const auto& r : records) rows.push_back(rowOf(r));
  return rows;
}

// A records folder with a summary index in its own cache folder, or in the
// one given.
struct Folder {
  testing::TempDir dir;
  testing::TempDir cache;
  MemoryLog log;
  RecordStore store;
  explicit Folder(const fs::path& sharedCache = {})
      : store(dir.path(), log, sharedCache.empty() ? cache.path() : sharedCache) {}

  fs::path file(const std::string& stem) const { return dir.path() / (stem + ".json"); }

  // Loads both ways; the summaries must say what the full load says, in the
  // same order before and after the history's sort, with the same log lines.
  SummaryLoadStats loadAndCompare(const std::string& step) {
    log.clear();
    const auto full = store.loadAllUserRecordData();
    const auto fullLog = log.lines();
    log.clear();
    SummaryLoadStats stats;
    const auto summaries = store.loadAllUserRecordSummaries(log, {}, &stats);
    std::vector<std::string> summaryLog;
    for (const auto& line : log.lines()) {
      if (line.find("record summary index") == std::string::npos) summaryLog.push_back(line);
    }
    EXPECT_EQ(summaryLog, fullLog) << step;
    EXPECT_EQ(rowsOf(summaries, false), rowsOf(full, false)) << step << ": store order";
    EXPECT_EQ(rowsOf(summaries, true), rowsOf(full, true)) << step;
    return stats;
  }
};

}  // namespace hopster
