// The record store: saving and loading record files, and surviving a
// killed saver.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cmath>
#include <limits>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "platform/linux/memory_log.h"
#include "records/record_folder.h"
#include "records/record_store.h"
#include "trophies/trophy_catalogue.h"

namespace hopster {
namespace {

using ::testing::Each;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::SizeIs;
using ::testing::StartsWith;

// What a record holds, comparable (its trophy's own fields round-trip in the
// trophy tests).
auto fields(const UserRecordData& r) {
  const Trophy t = r.unlockedTrophy.value_or(Trophy{});
  return std::tuple(r.id, r.dateStart, r.dateEnd, r.timeSpent, r.jumps, r.csvText,
                    r.unlockedTrophy.has_value(), t.id, t.isUnlocked);
}

// Waits until files made from now on are born after the one at `path`; false
// when the disk records no birth times. File times come from the coarse
// clock, so once it has passed this birth, the next file is born later.
bool waitPastBirthOf(const fs::path& path) {
  struct statx info {};
  if (statx(AT_FDCWD, path.c_str(), 0, STATX_BTIME, &info) != 0 ||
      (info.stx_mask & STATX_BTIME) == 0) {
    return false;
  }
  const auto ns = [](const auto& t) { return t.tv_sec * 1'000'000'000LL + t.tv_nsec; };
  timespec now{};
  while (clock_gettime(CLOCK_REALTIME_COARSE, &now) == 0 && ns(now) <= ns(info.stx_btime)) {
    std::this_thread::yield();
  }
  return true;
}

TEST(RecordStore, SavesAndLoadsARecordExactlyAndReplacesOneOfTheSameName) {
  Folder s;
  UserRecordData withTrophy = record();
  withTrophy.jumps = 13;
  withTrophy.unlockedTrophy = trophyCatalogue()[4];
  withTrophy.unlockedTrophy->isUnlocked = true;
  for (const UserRecordData& saved : {record(), withTrophy}) {
    s.store.saveUserRecordData(saved, "1764942759.123456");
    EXPECT_EQ(s.log.lines().back(), "UserRecordData saved successfully to file://" +
                                        s.file("1764942759.123456").string() + ".");
    EXPECT_EQ(std::distance(fs::directory_iterator(s.dir.path()), {}), 1) << "no leftovers";
    const auto loaded = s.store.loadAllUserRecordData();
    ASSERT_EQ(loaded.size(), 1u);
    EXPECT_EQ(fields(loaded[0]), fields(saved));
  }
}

TEST(RecordStore, RefusesWhatCannotBeSavedAndSaysSo) {
  Folder s;
  for (double bad : {std::numeric_limits<double>::infinity(), std::nan("")})
    s.store.saveUserRecordData({"id", 1, 2, bad, 3, "", std::nullopt}, "bad");
  s.store.saveUserRecordData(record(), "../escape");
  s.store.saveUserRecordData(record(), "");
  EXPECT_THAT(s.log.lines(), AllOf(SizeIs(4), Each(StartsWith("Failed to save UserRecordData: "))));
  EXPECT_TRUE(fs::is_empty(s.dir.path()));
  EXPECT_FALSE(fs::exists(s.dir.path().parent_path() / "escape.json"));
}

TEST(RecordStore, SkipsEveryKindOfBadFileWithItsReasonAndLoadsTheRest) {
  Folder s;
  s.store.saveUserRecordData(record(), "good");
  const std::string valid = readText(s.dir.path() / "good.json");
  const std::string head = R"({"id":"x","dateStart":1,"dateEnd":2,"timeSpent":1,)";
  // Each bad file, named for itself, with what its failure must name.
  const std::vector<std::array<std::string, 3>> bad = {
      {"empty", "", "not valid JSON"},
      {"truncated", valid.substr(0, valid.size() / 2), "not valid JSON"},
      {"latin1", "{\"id\":\"caf\xe9\"}", "not valid JSON"},
      {"deep", std::string(100000, '[') + std::string(100000, ']'), "not valid JSON"},
      {"array", "[1,2,3]", "typeMismatch"},
      {"fractional-jumps", head + R"("jumps":12.5,"csvText":""})", "jumps"},
      {"no-csv", head + R"("jumps":12})", "csvText"},
      {"string-date", R"({"id":"x","dateStart":"1"})", "dateStart"},
      {"bad-trophy", head + R"("jumps":1,"csvText":"","unlockedTrophy":{}})", "unlockedTrophy"}};
  for (const auto& [name, content, why] : bad) writeText(s.dir.path() / (name + ".json"), content);
  fs::create_directory(s.dir.path() / "folder.json");
  fs::create_symlink(s.dir.path() / "nowhere", s.dir.path() / "dangling.json");
  ASSERT_EQ(::mkfifo((s.dir.path() / "fifo.json").c_str(), 0600), 0);  // never waited on
  writeText(s.dir.path() / "notes.JSON", valid);
  writeText(s.dir.path() / "null-trophy.json",
            head + R"("jumps":3,"csvText":"","unlockedTrophy":null})");

  s.log.clear();
  const auto loaded = s.store.loadAllUserRecordData();
  ASSERT_EQ(loaded.size(), 2u) << "good.json and null-trophy.json";
  EXPECT_FALSE(loaded[0].unlockedTrophy || loaded[1].unlockedTrophy) << "null is no trophy";
  const auto& lines = s.log.lines();
  ASSERT_EQ(lines.size(), bad.size() + 4);  // + folder, link, FIFO, count line
  EXPECT_EQ(lines.back(), "Loaded 2 UserRecordData objects.");
  // The reason logged for the file of that name.
  const auto reason = [&](const std::string& name) {
    const std::string prefix =
        "Failed to load UserRecordData from file://" + (s.dir.path() / name).string() + ".json: ";
    const auto line = std::ranges::find_if(lines, [&](auto& l) { return l.starts_with(prefix); });
    return line == lines.end() ? std::string("(none)") : line->substr(prefix.size());
  };
  for (const auto& [name, content, why] : bad) EXPECT_THAT(reason(name), HasSubstr(why)) << name;
  for (const char* other : {"folder", "dangling"}) EXPECT_NE(reason(other), "(none)") << other;
  EXPECT_THAT(reason("fifo"), HasSubstr("not a regular file (a FIFO)"));
  s.loadAndCompare("bad files");  // the summaries judge them alike
}

TEST(RecordStore, ListsLatestCreatedFirstRegardlessOfNamesAndStarts) {
  Folder s;
  // Created in the order b, c, a; each starts earlier than the one before.
  for (const auto& [name, start] : {std::pair{"b", 300.0}, {"c", 200.0}, {"a", 100.0}}) {
    s.store.saveUserRecordData(record(name, start), name);
    if (!waitPastBirthOf(s.file(name))) GTEST_SKIP() << "no birth times on this disk";
  }
  const auto loaded = s.store.loadAllUserRecordData();
  ASSERT_EQ(loaded.size(), 3u);
  EXPECT_EQ(loaded[0].id + loaded[1].id + loaded[2].id, "acb");
}

TEST(RecordStore, AnEmptyOrMissingFolderGivesNoRecords) {
  Folder s;
  EXPECT_TRUE(s.store.loadAllUserRecordData().empty());
  EXPECT_EQ(s.log.lines(), std::vector<std::string>{"Loaded 0 UserRecordData objects."});
  MemoryLog log;
  EXPECT_TRUE(RecordStore(s.dir.path() / "gone", log).loadAllUserRecordData().empty());
  EXPECT_THAT(log.lines(), ElementsAre(StartsWith("Failed to list directory contents: ")));
}

TEST(RecordStoreSpecialFiles, StaleTemporaryFilesOfInterruptedSavesAreRemovedAndNothingElse) {
  testing::TempDir dir;
  MemoryLog log;
  const auto make = [&](const std::string& name, time_t age) {
    std::ofstream(dir.path() / name) << "x";
    const timespec times[2] = {{1'000'000 - age, 0}, {1'000'000 - age, 0}};
    ::utimensat(AT_FDCWD, (dir.path() / name).c_str(), times, 0);
  };
  make(".1764942759.5.json.AbC123.tmp", 120);   // stale: removed
  make(".1764942759.6.json.XyZ789.tmp", 10);    // a save under way: kept
  make("notes.tmp", 120);                       // not ours: kept
  make(".hopster-recording-1-1.journal", 120);  // a journal: kept
  RecordStore(dir.path(), log).removeStaleTemporaryFiles(1'000'000.0);

  std::set<std::string> left;
  for (const auto& entry : fs::directory_iterator(dir.path())) left.insert(entry.path().filename());
  EXPECT_THAT(left, ElementsAre(".1764942759.6.json.XyZ789.tmp", ".hopster-recording-1-1.journal",
                                "notes.tmp"));
  EXPECT_THAT(log.lines(), ElementsAre(HasSubstr("Removed 1 unfinished temporary files")));
}

TEST(FileUrl, PercentEncodesWhatAPathMayNotHold) {
  EXPECT_EQ(fileUrl("/tmp/My Records/1.5.json"), "file:///tmp/My%20Records/1.5.json");
  EXPECT_EQ(fileUrl("/tmp/caf\xc3\xa9#?%.json"), "file:///tmp/caf%C3%A9%23%3F%25.json");
}

// Every fifth save replaces the same file, the others make new ones.
bool isShared(int id) { return id % 5 == 0; }

// Saves records in a loop until killed, reporting each save that completed.
[[noreturn]] void saveForever(const std::filesystem::path& folder, int firstId, int report) {
  MemoryLog log;
  RecordStore store(folder, log);
  const std::string csv(64 * 1024, '7');
  for (int id = firstId;; ++id) {
    log.clear();
    const auto failure =
        store.saveUserRecordData({std::to_string(id), 1.0, 2.0, 1.0, id, csv, std::nullopt},
                                 isShared(id) ? "shared" : std::to_string(id));
    if (!failure && write(report, &id, sizeof id) != sizeof id) _exit(1);
  }
}

TEST(RecordStoreCrash, AKilledSaverNeverLeavesATornFileOrLosesASavedRecord) {
  testing::TempDir dir;
  std::mt19937 random(20261206);
  std::set<int> reported;
  for (int round = 0; round < 40; ++round) {
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      close(pipeFds[0]);
      saveForever(dir.path(), round * 1000000, pipeFds[1]);
    }
    close(pipeFds[1]);
    // Wait for the first completed save, so every round saves something
    // however slow the machine, then kill at a random moment after it.
    int id = 0;
    ASSERT_EQ(read(pipeFds[0], &id, sizeof id), static_cast<ssize_t>(sizeof id));
    usleep(std::uniform_int_distribution<useconds_t>(0, 20000)(random));
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    reported.insert(id);
    while (read(pipeFds[0], &id, sizeof id) == sizeof id) reported.insert(id);
    close(pipeFds[0]);
  }

  MemoryLog log;
  const auto records = RecordStore(dir.path(), log).loadAllUserRecordData();
  ASSERT_EQ(log.lines().size(), 1u) << "no file failed to load: " << log.lines()[0];
  std::set<int> loaded;
  int shared = -1;
  for (const auto& record : records) {
    const int id = std::stoi(record.id);
    EXPECT_EQ(record.jumps, id);
    loaded.insert(id);
    if (isShared(id)) shared = id;
  }
  // The shared file holds the last reported save to it, or one that completed
  // just before the kill could be reported.
  for (int id : reported) {
    EXPECT_TRUE(isShared(id) ? shared >= id : loaded.count(id) == 1) << "record " << id << " lost";
  }
}

}  // namespace
}  // namespace hopster
