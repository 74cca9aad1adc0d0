// The summary index the history list loads from, and its reader of record
// files, which must judge every file as the full decoder does.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "platform/linux/memory_log.h"
#include "records/record_folder.h"
#include "records/record_summary_index.h"
#include "records/user_record_json.h"
#include "trophies/trophy_catalogue.h"

namespace hopster {
namespace {

using ::testing::Contains;
using ::testing::Each;
using ::testing::Not;
using ::testing::StartsWith;

// Changes the jumps a record file holds without changing its size, then
// gives it back its modification time, as a careless tool might: written in
// place, or as a new file renamed over it.
void changeJumpsKeepingTime(const fs::path& file, std::string_view jumps, bool inPlace) {
  struct stat before {};
  ASSERT_EQ(stat(file.c_str(), &before), 0);
  std::string text = readText(file);
  text.replace(text.find("\"jumps\":") + 8, jumps.size(), jumps);
  const fs::path written = inPlace ? file : fs::path(file.string() + ".new");
  writeText(written, text);
  fs::rename(written, file);
  const timespec times[2] = {before.st_atim, before.st_mtim};
  ASSERT_EQ(utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
}

// Lets the last changes age past the file clock's tick, so the index may
// trust what it records next. The index goes by the clock itself: it trusts
// a file's stamp only once the file has been left alone for two ticks of the
// file clock, and at least 20 ms, so there is no event to wait for instead.
void settle() { std::this_thread::sleep_for(std::chrono::milliseconds(40)); }

TEST(RecordSummaryIndex, AgreesWithAFullLoadThroughEveryKindOfChangeAndReadsOnlyWhatChanged) {
  Folder f;
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
      {"corrupted", [&] { writeText(f.file("a"), readText(f.file("a")).substr(0, 40)); }, 1},
      {"repaired", [&] { f.store.saveUserRecordData(record("A", 100, 11), "a"); }, 0},
      {"same size, same time, in place", [&] { changeJumpsKeepingTime(f.file("a"), "99", true); },
       1},
      {"same size, same time, replaced", [&] { changeJumpsKeepingTime(f.file("d"), "42", false); },
       1},
      {"saved with a trophy, left to the next load",
       [&] {
         UserRecordData withTrophy = record("T", 5, 5);
         withTrophy.unlockedTrophy = trophyCatalogue()[0];
         f.store.saveUserRecordData(withTrophy, "t");
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
    EXPECT_EQ(again.parsed, fs::exists(f.file("folder")) ? 1u : 0u) << step;
    EXPECT_FALSE(again.indexWritten) << step << ": nothing changed";
  }
}

TEST(RecordSummaryIndex, ADamagedForeignOrMissingIndexIsRebuiltWithOneLine) {
  Folder f;
  Folder other(f.cache.path());  // each folder has its own index
  other.store.saveUserRecordData(record("X", 1, 1), "x");
  for (int i = 0; i < 3; ++i)
    f.store.saveUserRecordData(record(std::to_string(i), i, i), "r" + std::to_string(i));
  settle();
  // Saves put their records into the index at once.
  ASSERT_EQ(f.loadAndCompare("saved").parsed, 0u);
  ASSERT_EQ(other.loadAndCompare("saved elsewhere").parsed, 0u);
  EXPECT_EQ(other.store.loadAllUserRecordSummaries()[0].fileName, "x.json");
  const fs::path index = f.store.summaryIndexFile();
  const std::string good = readText(index);

  const std::vector<std::tuple<const char*, std::function<void()>, int>> cases = {
      {"garbage", [&] { writeText(index, "\x01\x02 not an index\n"); }, 1},
      {"cut off mid-line", [&] { writeText(index, good.substr(0, good.size() - 20)); }, 1},
      {"cut off at a line", [&] { writeText(index, good.substr(0, good.rfind("end "))); }, 1},
      {"another version",
       [&] { writeText(index, "hopster-record-summaries 2" + good.substr(good.find('\n'))); }, 1},
      {"another folder's", [&] { writeText(index, readText(other.store.summaryIndexFile())); }, 1},
      {"a damaged number",
       [&] { writeText(index, std::string(good).replace(good.find(" ok ") - 3, 1, "x")); }, 1},
      {"deleted", [&] { fs::remove(index); }, 0},
      {"a folder in its place",
       [&] {
         fs::remove(index);
         fs::create_directory(index);
       },
       1},
  };
  for (const auto& [name, damage, lines] : cases) {
    SCOPED_TRACE(name);
    damage();
    EXPECT_EQ(f.loadAndCompare(name).parsed, 3u);
    EXPECT_THAT(f.log.lines(),
                Contains(StartsWith("Rebuilding the record summary index ")).Times(lines));
    if (fs::is_directory(index)) {
      EXPECT_THAT(f.log.lines(), Contains(StartsWith("Failed to save the record summary index")));
      fs::remove(index);
      continue;
    }
    EXPECT_EQ(f.loadAndCompare(std::string(name) + ", rebuilt").parsed, 0u);
  }
}

TEST(RecordSummaryIndex, AStoreWithoutACacheFolderReadsEveryFileAndWritesNoIndex) {
  testing::TempDir dir;
  MemoryLog log;
  RecordStore store(dir.path(), log);
  store.saveUserRecordData(record("A", 1, 1), "a");
  SummaryLoadStats stats;
  EXPECT_EQ(store.loadAllUserRecordSummaries(log, {}, &stats).size(), 1u);
  EXPECT_EQ(stats.parsed, 1u) << "the save indexed nothing";
  EXPECT_FALSE(stats.indexWritten);
  EXPECT_TRUE(store.summaryIndexFile().empty());
}

TEST(RecordSummaryIndex, AStoppedLoadGivesNothingAndLeavesTheIndexAlone) {
  Folder f;
  f.store.saveUserRecordData(record("A", 1, 1), "a");
  fs::remove(f.store.summaryIndexFile());
  std::stop_source stop;
  stop.request_stop();
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
      {"unclosed", head + R"("csvText":"t)"},
      {"jumps-12.0",
       R"({"id":"x","dateStart":1,"dateEnd":2,"timeSpent":1,"jumps":12.0,"csvText":""})"},
      {"huge-date",
       R"({"id":"x","dateStart":1e999,"dateEnd":2,"timeSpent":1,"jumps":1,"csvText":""})"},
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
    EXPECT_EQ(rowOf(*summary), rowOf(r));
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
  EXPECT_EQ(rowOf(*streamed), rowOf(r));
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
