#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <limits>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "records/history_format.h"
#include "records/record_store.h"
#include "records/record_summary_index.h"
#include "records/user_record_json.h"
#include "support/temp_dir.h"
#include "trophies/trophy_catalogue.h"

namespace hopster {
namespace {

namespace fs = std::filesystem;
using ::testing::Contains;
using ::testing::Each;
using ::testing::Not;
using ::testing::StartsWith;

using Row = std::tuple<std::string, double, double, double, std::int64_t>;

std::vector<Row> rowsOf(std::vector<UserRecordData> records) {
  sortByStartDescending(records);
  std::vector<Row> rows;
  for (const auto& r : records)
    rows.emplace_back(r.id, r.dateStart, r.dateEnd, r.timeSpent, r.jumps);
  return rows;
}

std::vector<Row> rowsOf(std::vector<RecordSummary> records) {
  sortByStartDescending(records);
  std::vector<Row> rows;
  for (const auto& r : records)
    rows.emplace_back(r.id, r.dateStart, r.dateEnd, r.timeSpent, r.jumps);
  return rows;
}

UserRecordData record(const std::string& id, double dateStart, std::int64_t jumps) {
  return UserRecordData{
      id,          dateStart, dateStart + 30.5,
      30.5,        jumps,     "TimeIntervalSince1970,AccelerationX\n1.5,\"0.25\"\n",
      std::nullopt};
}

void writeText(const fs::path& path, std::string_view text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

std::string readText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Gives a file back the modification time it had, as a careless tool might.
void restoreModificationTime(const fs::path& path, const struct stat& before) {
  const timespec times[2] = {before.st_atim, before.st_mtim};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

// Lets the last changes age past the file clock's tick, so the index may
// trust what it records next.
void settle() { std::this_thread::sleep_for(std::chrono::milliseconds(40)); }

// A records folder with a summary index in its own cache folder.
struct Folder {
  testing::TempDir dir;
  testing::TempDir cache;
  MemoryLog log;
  RecordStore store{dir.path(), log, cache.path()};

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
    EXPECT_EQ(rowsOf(summaries), rowsOf(full)) << step;
    std::vector<std::string> fullIds, summaryIds;
    for (const auto& r : full) fullIds.push_back(r.id);
    for (const auto& r : summaries) summaryIds.push_back(r.id);
    EXPECT_EQ(summaryIds, fullIds) << step << ": store order";
    return stats;
  }
};

TEST(RecordSummaryIndex, AgreesWithAFullLoadThroughEveryKindOfChangeAndReadsOnlyWhatChanged) {
  Folder f;
  struct stat before {};
  // Each step changes the folder and says how many files the next load must
  // read; a second load right after must read none.
  const std::vector<std::tuple<const char*, std::function<void()>, std::size_t>> steps = {
      {"first load",
       [&] {
         f.store.saveUserRecordData(record("A", 100, 10), "a");
         f.store.saveUserRecordData(record("B", 300, 20), "b");
         f.store.saveUserRecordData(record("C", 300, 30), "c");  // ties with B
         writeText(f.file("bad"), "{not json");
         fs::remove(f.store.summaryIndexFile());
       },
       4},
      {"added", [&] { writeText(f.file("d"), readText(f.file("a")).replace(7, 1, "D")); }, 1},
      {"removed", [&] { fs::remove(f.file("c")); }, 0},
      {"rewritten", [&] { f.store.saveUserRecordData(record("B2", 50, 7), "b"); }, 0},
      {"corrupted",
       [&] {
         const std::string text = readText(f.file("a"));
         writeText(f.file("a"), text.substr(0, text.size() / 2));
       },
       1},
      {"repaired", [&] { f.store.saveUserRecordData(record("A", 100, 11), "a"); }, 0},
      {"same size, same time, in place",
       [&] {
         ASSERT_EQ(stat(f.file("a").c_str(), &before), 0);
         std::string text = readText(f.file("a"));
         text.replace(text.find("\"jumps\":11"), 10, "\"jumps\":99");
         writeText(f.file("a"), text);  // same inode, same size
         restoreModificationTime(f.file("a"), before);
       },
       1},
      {"same size, same time, replaced",
       [&] {
         ASSERT_EQ(stat(f.file("d").c_str(), &before), 0);
         std::string text = readText(f.file("d"));
         text.replace(text.find("\"jumps\":10"), 10, "\"jumps\":42");
         writeText(f.dir.path() / "d.new", text);
         fs::rename(f.dir.path() / "d.new", f.file("d"));  // same size, new inode
         restoreModificationTime(f.file("d"), before);
       },
       1},
      {"a folder and a link named like records",
       [&] {
         fs::create_directory(f.file("folder"));
         fs::create_symlink(f.file("b"), f.file("link"));
       },
       2},
  };
  for (const auto& [step, change, expectedReads] : steps) {
    change();
    settle();
    EXPECT_EQ(f.loadAndCompare(step).parsed, expectedReads) << step;
    const auto again = f.loadAndCompare(std::string(step) + ", again");
    // A folder named like a record is looked at each time (only regular
    // files are remembered); a link is remembered by its target's stamp.
    const std::size_t alwaysRead = fs::exists(f.file("folder")) ? 1 : 0;
    EXPECT_EQ(again.parsed, alwaysRead) << step;
    EXPECT_FALSE(again.indexWritten) << step << ": nothing changed";
  }
}

TEST(RecordSummaryIndex, ADamagedForeignOrMissingIndexIsRebuiltWithOneLine) {
  Folder f;
  Folder other;
  other.store.saveUserRecordData(record("X", 1, 1), "x");
  ASSERT_FALSE(other.store.loadAllUserRecordSummaries().empty());
  for (int i = 0; i < 3; ++i)
    f.store.saveUserRecordData(record(std::to_string(i), i, i), "r" + std::to_string(i));
  settle();
  ASSERT_EQ(f.store.loadAllUserRecordSummaries().size(), 3u);
  const fs::path index = f.store.summaryIndexFile();
  const std::string good = readText(index);

  const std::vector<std::tuple<const char*, std::function<void()>, int>> cases = {
      {"garbage", [&] { writeText(index, "\x01\x02 not an index\n"); }, 1},
      {"cut off mid-line", [&] { writeText(index, good.substr(0, good.size() - 20)); }, 1},
      {"cut off at a line", [&] { writeText(index, good.substr(0, good.rfind("end "))); }, 1},
      {"another version",
       [&] { writeText(index, "hopster-record-summaries 2" + good.substr(good.find('\n'))); }, 1},
      {"another folder's",
       [&] {
         fs::copy_file(other.store.summaryIndexFile(), index, fs::copy_options::overwrite_existing);
       },
       1},
      {"a damaged number",
       [&] {
         std::string text = good;
         text.replace(text.find(" ok ") - 3, 1, "x");
         writeText(index, text);
       },
       1},
      {"deleted", [&] { fs::remove(index); }, 0},
      {"a folder in its place",
       [&] {
         fs::remove(index);
         fs::create_directory(index);
       },
       1},
  };
  for (const auto& [name, damage, lines] : cases) {
    damage();
    const auto stats = f.loadAndCompare(name);
    EXPECT_EQ(stats.parsed, 3u) << name;
    const auto rebuilt = std::ranges::count_if(f.log.lines(), [](const std::string& line) {
      return line.starts_with("Rebuilding the record summary index ");
    });
    EXPECT_EQ(rebuilt, lines) << name;
    if (fs::is_directory(index)) {
      EXPECT_THAT(f.log.lines(), Contains(StartsWith("Failed to save the record summary index")));
      fs::remove(index);
      continue;
    }
    EXPECT_EQ(f.loadAndCompare(std::string(name) + ", rebuilt").parsed, 0u) << name;
  }
}

TEST(RecordSummaryIndex, KeepsOneIndexPerFolderAndTakesSavedRecordsAtOnce) {
  Folder a;
  testing::TempDir secondFolder;
  MemoryLog secondLog;
  // The second folder shares the first one's cache folder.
  RecordStore b(secondFolder.path(), secondLog, a.cache.path());
  ASSERT_NE(a.store.summaryIndexFile(), b.summaryIndexFile());
  a.store.saveUserRecordData(record("in-a", 1, 1), "1");
  b.saveUserRecordData(record("in-b", 2, 2), "2");
  b.saveUserRecordData(record("in-b-2", 3, 3), "3");
  settle();
  SummaryLoadStats stats;
  const auto inA = a.store.loadAllUserRecordSummaries(a.log, {}, &stats);
  EXPECT_EQ(stats.parsed, 0u) << "saves indexed their records";
  const auto inB = b.loadAllUserRecordSummaries(secondLog, {}, &stats);
  EXPECT_EQ(stats.parsed, 0u);
  ASSERT_EQ(inA.size(), 1u);
  ASSERT_EQ(inB.size(), 2u);
  EXPECT_EQ(inA[0].id, "in-a");
  EXPECT_EQ(inA[0].fileName, "1.json");

  // A record with a trophy is left to the next load, which reads it.
  UserRecordData withTrophy = record("trophy", 4, 4);
  withTrophy.unlockedTrophy = trophyCatalogue()[0];
  a.store.saveUserRecordData(withTrophy, "4");
  settle();
  EXPECT_EQ(a.loadAndCompare("trophy").parsed, 1u);
}

TEST(RecordSummaryIndex, AStoreWithoutACacheFolderReadsEveryFileAndWritesNoIndex) {
  testing::TempDir dir;
  MemoryLog log;
  RecordStore store(dir.path(), log);
  store.saveUserRecordData(record("A", 1, 1), "a");
  SummaryLoadStats stats;
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(store.loadAllUserRecordSummaries(log, {}, &stats).size(), 1u);
    EXPECT_EQ(stats.parsed, 1u);
  }
  EXPECT_TRUE(store.summaryIndexFile().empty());
}

TEST(RecordSummaryIndex, AStoppedLoadGivesNothingAndLeavesTheIndexAlone) {
  Folder f;
  f.store.saveUserRecordData(record("A", 1, 1), "a");
  fs::remove(f.store.summaryIndexFile());
  std::stop_source stop;
  stop.request_stop();
  f.log.clear();
  EXPECT_TRUE(f.store.loadAllUserRecordSummaries(f.log, stop.get_token()).empty());
  EXPECT_THAT(f.log.lines(), Each(Not(StartsWith("Loaded "))));
  EXPECT_FALSE(fs::exists(f.store.summaryIndexFile()));
}

// Files the fast path must judge exactly as the full decoder does.
TEST(RecordSummaryReader, JudgesOddFilesExactlyAsTheFullDecoder) {
  Folder f;
  const std::string head = R"({"id":"x","dateStart":1,"dateEnd":2.5,"timeSpent":1.5,"jumps":3,)";
  const std::vector<std::pair<const char*, std::string>> files = {
      {"escapes", head + R"("csvText":"a\"b\\c\/d\te\r\nf\b\f"})"},
      {"unicode-escape", head + R"("csvText":"caf\u00e9 \ud83d\ude00"})"},
      {"lone-surrogate", head + R"("csvText":"\ud800"})"},
      {"bad-escape", head + R"("csvText":"a\qb"})"},
      {"bad-unicode", head + R"("csvText":"\u12G4"})"},
      {"raw-control", head + "\"csvText\":\"a\tb\"}"},
      {"latin1-in-csv", head + "\"csvText\":\"caf\xe9\"}"},
      {"csv-number", head + R"("csvText":12})"},
      {"csv-null", head + R"("csvText":null})"},
      {"csv-missing", R"({"id":"x","dateStart":1,"dateEnd":2,"timeSpent":1,"jumps":3})"},
      {"csv-twice", head + R"("csvText":"first","csvText":"second"})"},
      {"csv-twice-bad", head + R"("csvText":"first","csvText":7})"},
      {"id-twice", head + R"("csvText":"","id":"y"})"},
      {"csv-first",
       R"({"csvText":"t\n","jumps":3,"id":"z","dateStart":1,"dateEnd":2,"timeSpent":1})"},
      {"escaped-key", head + R"("csv\u0054ext":"t"})"},
      {"spaces",
       " { \"csvText\" : \"t\" \n, \"id\":\"s\",\"dateStart\":1,\"dateEnd\":2,"
       "\"timeSpent\":1,\"jumps\":3 } \n"},
      {"trailing", head + R"("csvText":"t"} x)"},
      {"bad-literal-elsewhere", head + R"("csvText":"t","extra":tru})"},
      {"bad-number-elsewhere", head + R"("csvText":"t","extra":01})"},
      {"unclosed", head + R"("csvText":"t)"},
      {"jumps-12.0",
       R"({"id":"x","dateStart":1,"dateEnd":2,"timeSpent":1,"jumps":12.0,"csvText":""})"},
      {"jumps-12.5",
       R"({"id":"x","dateStart":1,"dateEnd":2,"timeSpent":1,"jumps":12.5,"csvText":""})"},
      {"huge-date",
       R"({"id":"x","dateStart":1e999,"dateEnd":2,"timeSpent":1,"jumps":1,"csvText":""})"},
      {"null-trophy", head + R"("csvText":"t","unlockedTrophy":null})"},
      {"bad-trophy", head + R"("csvText":"t","unlockedTrophy":{"id":3}})"},
      {"not-an-object", R"(["csvText"])"},
      {"nested-first", R"({"extra":{"csvText":"fake"},"id":"n","dateStart":1,"dateEnd":2,)"
                       R"("timeSpent":1,"jumps":3,"csvText":"real"})"},
      {"nested-first-bad", R"({"extra":{"csvText":"fake"},"id":"n","dateStart":1,"dateEnd":2,)"
                           R"("timeSpent":1,"jumps":3,"csvText":"re\qal"})"},
      {"escaped-quote-key", head + R"("x\"csvText":"v","csvText":"t"})"},
      {"backslash-before-n", head + R"("csvText":"a\\nb\\"})"},
      {"backslash-escape-bad", head + R"("csvText":"a\\\qb"})"},
      {"non-ascii-in-csv", head + "\"csvText\":\"caf\xc3\xa9\"}"},
      {"long-csv-with-one-bad-escape",
       head + "\"csvText\":\"" + std::string(100, 'x') + "\\q" + std::string(100, 'y') + "\"}"},
      {"long-csv-with-control",
       head + "\"csvText\":\"" + std::string(100, 'x') + "\x01" + std::string(100, 'y') + "\"}"},
  };
  // Traces that run over the 256 KiB chunks the streaming path reads, with
  // an escape cut in two at the first chunk's end.
  const std::string open = head + R"("csvText":")";
  const std::string toEdge(256 * 1024 - 1 - open.size(), 'a');
  const std::string far(300000, 'b');
  const std::vector<std::pair<const char*, std::string>> longFiles = {
      {"split-newline", open + toEdge + "\\n" + far + "\"}"},
      {"split-bad-escape", open + toEdge + "\\q" + far + "\"}"},
      {"split-tab-escape", open + toEdge + "\\t" + far + "\"}"},
      {"control-far-on", open + toEdge + far + "\x1f" + far + "\"}"},
      {"escaped-quote-far-on", open + far + "\\\"" + far + "\"}"},
      {"unclosed-far-on", open + far + far},
      {"trophy-after-long-trace", open + far + "\",\"unlockedTrophy\":{\"id\":1}}"},
  };
  for (const auto& [name, text] : files) writeText(f.file(name), text);
  for (const auto& [name, text] : longFiles) writeText(f.file(name), text);
  f.loadAndCompare("odd files");
}

TEST(RecordSummaryReader, ReadsUsualRecordsWithoutTheFullDecoder) {
  // The fast paths must carry the usual records themselves; giving up on
  // them would make every load as slow as a full one.
  UserRecordData r = record("6F9619FF-8B86-4011-B42D-00CF4FC964FF", 1764942759.123456, 150);
  r.timeSpent = 65.257;
  r.csvText = "TimeIntervalSince1970,AccelerationX\n";  // no quotes, as real traces
  for (int i = 0; i < 12000; ++i)
    r.csvText += "1764942759.5,0.25,-0.5,1,0,0,0,0,0,0,0,0,-1,0,0,0\n";
  std::string compact;
  ASSERT_EQ(encodeUserRecordData(r, compact), std::nullopt);
  std::string spaced = compact;  // another writer's spacing: the on-demand path
  for (auto at = spaced.find("\":"); at != std::string::npos; at = spaced.find("\":", at + 3)) {
    spaced.replace(at, 2, "\" : ");
  }
  for (std::string json : {compact, spaced}) {
    const std::size_t length = json.size();
    json.append(simdjson::SIMDJSON_PADDING, '\0');
    RecordSummaryReader reader;
    const auto summary = reader.summarize(json.data(), length);
    ASSERT_TRUE(summary.has_value()) << json.substr(0, 120);
    EXPECT_EQ(
        Row(summary->id, summary->dateStart, summary->dateEnd, summary->timeSpent, summary->jumps),
        Row(r.id, r.dateStart, r.dateEnd, r.timeSpent, r.jumps));
  }
  // The compact form also streams from its file, over several chunks.
  testing::TempDir dir;
  writeText(dir.path() / "r.json", compact);
  const int fd = ::open((dir.path() / "r.json").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  RecordSummaryReader reader;
  const auto streamed = reader.summarizeFile(fd);
  ::close(fd);
  ASSERT_TRUE(streamed.has_value());
  EXPECT_EQ(Row(streamed->id, streamed->dateStart, streamed->dateEnd, streamed->timeSpent,
                streamed->jumps),
            Row(r.id, r.dateStart, r.dateEnd, r.timeSpent, r.jumps));
}

TEST(RecordSummaryIndexFormat, KeepsEveryValueThroughItsText) {
  RecordSummaryEntries entries;
  const auto big = std::numeric_limits<std::int64_t>::max();
  entries["plain.json"] = {{4400000, 1, 2, 3}, true,    true, {}, "ID",
                           1764942759.123456,  1.0 / 3, -0.0, 150};
  entries["with space %20 and\nline.json"] = {
      {0, -big, big, ~0ull}, false, true, {}, "", 1e300, 5e-324, 0, -big - 1};
  entries["bad.json"] = {
      {1, 2, 3, 4}, true, false, "not valid JSON (with\ttab and %)", {}, 0, 0, 0, 0};
  const fs::path folder = "/records/my folder";
  RecordSummaryEntries back;
  ASSERT_EQ(parseRecordSummaryIndex(formatRecordSummaryIndex(folder, entries), folder, back),
            std::nullopt);
  EXPECT_EQ(back, entries);
  EXPECT_TRUE(std::signbit(back["plain.json"].timeSpent));
  EXPECT_NE(parseRecordSummaryIndex(formatRecordSummaryIndex(folder, entries), "/other", back),
            std::nullopt);
  EXPECT_TRUE(back.empty()) << "nothing of a foreign index is kept";
}

}  // namespace
}  // namespace hopster
