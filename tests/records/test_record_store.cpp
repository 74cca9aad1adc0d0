#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <limits>
#include <string>

#include "records/file_manager_singleton.h"
#include "support/temp_dir.h"
#include "trophies/trophy_catalogue.h"

namespace hopster {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::StartsWith;

UserRecordData sampleRecord(std::int64_t jumps = 12) {
  return UserRecordData{"6F9619FF-8B86-4011-B42D-00CF4FC964FF",
                        1764942759.123456,
                        1764942789.5,
                        1764942789.5 - 1764942759.123456,
                        jumps,
                        "TimeIntervalSince1970,AccelerationX\n1764942759.1,0.5\n",
                        std::nullopt};
}

void writeText(const fs::path& path, std::string_view text) {
  std::ofstream(path, std::ios::binary) << text;
}

std::string readText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Whether this file system records a file's birth time.
bool recordsBirthTime(const fs::path& file) {
  struct statx info {};
  return statx(AT_FDCWD, file.c_str(), 0, STATX_BTIME, &info) == 0 &&
         (info.stx_mask & STATX_BTIME) != 0;
}

struct Store {
  testing::TempDir dir;
  MemoryLog log;
  FileManagerSingleton store{dir.path(), log};
};

TEST(RecordStore, SavesAndLoadsARecordExactly) {
  Store s;
  UserRecordData record = sampleRecord();
  s.store.saveUserRecordData(record, "1764942759.123456");
  const fs::path file = s.dir.path() / "1764942759.123456.json";
  ASSERT_EQ(s.log.lines(), std::vector<std::string>{"UserRecordData saved successfully to file://" +
                                                    file.string() + "."});
  const std::string text = readText(file);
  EXPECT_EQ(text.find('\n'), std::string::npos) << "written compactly";
  EXPECT_EQ(text.find("unlockedTrophy"), std::string::npos) << "no trophy, no key";
  EXPECT_THAT(text, HasSubstr(R"("csvText":"TimeIntervalSince1970,AccelerationX\n1764942759.1)"));

  const auto loaded = s.store.loadAllUserRecordData();
  ASSERT_EQ(loaded.size(), 1u);
  EXPECT_EQ(loaded[0].id, record.id);
  EXPECT_EQ(loaded[0].dateStart, record.dateStart);
  EXPECT_EQ(loaded[0].dateEnd, record.dateEnd);
  EXPECT_EQ(loaded[0].timeSpent, record.timeSpent);
  EXPECT_EQ(loaded[0].jumps, 12);
  EXPECT_EQ(loaded[0].csvText, record.csvText);
  EXPECT_FALSE(loaded[0].unlockedTrophy);
  EXPECT_EQ(s.log.lines().back(), "Loaded 1 UserRecordData objects.");
}

TEST(RecordStore, KeepsATrophyAndReadsNullAsNone) {
  Store s;
  UserRecordData record = sampleRecord();
  record.unlockedTrophy = trophyCatalogue()[4];
  record.unlockedTrophy->isUnlocked = true;
  s.store.saveUserRecordData(record, "a");
  writeText(
      s.dir.path() / "b.json",
      R"({"id":"x","dateStart":1,"dateEnd":2,"timeSpent":1,"jumps":3,"csvText":"","unlockedTrophy":null})");
  const auto loaded = s.store.loadAllUserRecordData();
  ASSERT_EQ(loaded.size(), 2u);
  int withTrophy = 0;
  for (const auto& r : loaded) {
    if (!r.unlockedTrophy) continue;
    ++withTrophy;
    EXPECT_EQ(r.unlockedTrophy->id, "750-under-5min");
    EXPECT_TRUE(r.unlockedTrophy->hidden);
    EXPECT_TRUE(r.unlockedTrophy->isUnlocked);
    EXPECT_EQ(r.unlockedTrophy->difficulty, DifficultyLevels::normal);
  }
  EXPECT_EQ(withTrophy, 1);
}

TEST(RecordStore, RefusesWhatCannotBeSavedAndSaysSo) {
  Store s;
  for (double bad : {std::numeric_limits<double>::infinity(), std::nan("")}) {
    UserRecordData record = sampleRecord();
    record.timeSpent = bad;
    s.store.saveUserRecordData(record, "bad");
  }
  s.store.saveUserRecordData(sampleRecord(), "../escape");
  s.store.saveUserRecordData(sampleRecord(), "");
  ASSERT_EQ(s.log.lines().size(), 4u);
  for (const auto& line : s.log.lines())
    EXPECT_THAT(line, StartsWith("Failed to save UserRecordData: "));
  EXPECT_TRUE(fs::is_empty(s.dir.path()));
  EXPECT_FALSE(fs::exists(s.dir.path().parent_path() / "escape.json"));
}

TEST(RecordStore, SavingTwiceUnderOneNameKeepsTheSecondAndNoLeftovers) {
  Store s;
  s.store.saveUserRecordData(sampleRecord(1), "same");
  s.store.saveUserRecordData(sampleRecord(2), "same");
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(s.dir.path())) {
    names.push_back(entry.path().filename().string());
  }
  EXPECT_EQ(names, std::vector<std::string>{"same.json"});
  const auto loaded = s.store.loadAllUserRecordData();
  ASSERT_EQ(loaded.size(), 1u);
  EXPECT_EQ(loaded[0].jumps, 2);
}

TEST(RecordStore, SkipsEveryKindOfBadFileAndLoadsTheRest) {
  Store s;
  s.store.saveUserRecordData(sampleRecord(), "good");
  const std::string valid = readText(s.dir.path() / "good.json");
  const std::string deep = std::string(100000, '[') + std::string(100000, ']');

  struct Bad {
    const char* name;
    std::string content;
    const char* reason;
  };
  const std::vector<Bad> bad = {
      {"empty", "", "not valid JSON"},
      {"binary", std::string("\x00\x01\xff\xfe\x7f", 5), "not valid JSON"},
      {"truncated", valid.substr(0, valid.size() / 2), "not valid JSON"},
      {"latin1", "{\"id\":\"caf\xe9\"}", "not valid JSON"},
      {"deep", deep, "not valid JSON"},
      {"array", "[1,2,3]", "typeMismatch"},
      {"fractional-jumps",
       R"({"id":"x","dateStart":1,"dateEnd":2,"timeSpent":1,"jumps":12.5,"csvText":""})", "jumps"},
      {"no-csv", R"({"id":"x","dateStart":1,"dateEnd":2,"timeSpent":1,"jumps":12})", "csvText"},
      {"string-date",
       R"({"id":"x","dateStart":"1","dateEnd":2,"timeSpent":1,"jumps":1,"csvText":""})",
       "dateStart"},
      {"bad-trophy",
       R"({"id":"x","dateStart":1,"dateEnd":2,"timeSpent":1,"jumps":1,"csvText":"","unlockedTrophy":{"id":"t"}})",
       "unlockedTrophy"},
  };
  for (const auto& b : bad) writeText(s.dir.path() / (std::string(b.name) + ".json"), b.content);
  fs::create_directory(s.dir.path() / "folder.json");
  fs::create_symlink(s.dir.path() / "nowhere", s.dir.path() / "dangling.json");
  writeText(s.dir.path() / "c.txt", "not a record");
  writeText(s.dir.path() / "notes.JSON", valid);

  s.log.clear();
  const auto loaded = s.store.loadAllUserRecordData();
  ASSERT_EQ(loaded.size(), 1u);
  EXPECT_EQ(loaded[0].id, sampleRecord().id);

  const auto& lines = s.log.lines();
  ASSERT_EQ(lines.size(), bad.size() + 3);  // + folder, dangling link, count line
  EXPECT_EQ(lines.back(), "Loaded 1 UserRecordData objects.");
  for (const auto& b : bad) {
    const std::string prefix =
        "Failed to load UserRecordData from file://" + (s.dir.path() / b.name).string() + ".json: ";
    const auto line = std::find_if(lines.begin(), lines.end(),
                                   [&](const std::string& l) { return l.starts_with(prefix); });
    ASSERT_NE(line, lines.end()) << b.name;
    EXPECT_THAT(*line, HasSubstr(b.reason)) << b.name;
  }
  for (const char* name : {"folder.json", "dangling.json"}) {
    EXPECT_EQ(
        std::count_if(lines.begin(), lines.end(),
                      [&](const std::string& l) { return l.find(name) != std::string::npos; }),
        1)
        << name;
  }
  for (const auto& line : lines) {
    EXPECT_EQ(line.find("c.txt"), std::string::npos);
    EXPECT_EQ(line.find("notes.JSON"), std::string::npos);
  }
}

TEST(RecordStore, ListsLatestCreatedFirstRegardlessOfNamesAndStarts) {
  Store s;
  // Created in the order b, c, a; each starts earlier than the one before.
  const std::vector<std::pair<std::string, double>> order = {{"b", 300}, {"c", 200}, {"a", 100}};
  for (const auto& [name, start] : order) {
    UserRecordData record = sampleRecord();
    record.id = name;
    record.dateStart = start;
    s.store.saveUserRecordData(record, name);
    usleep(20000);  // birth times need to differ
  }
  if (!recordsBirthTime(s.dir.path() / "a.json")) GTEST_SKIP() << "no birth times on this disk";
  const auto loaded = s.store.loadAllUserRecordData();
  ASSERT_EQ(loaded.size(), 3u);
  EXPECT_EQ(loaded[0].id, "a");
  EXPECT_EQ(loaded[1].id, "c");
  EXPECT_EQ(loaded[2].id, "b");
}

TEST(RecordStore, AnEmptyOrMissingFolderGivesNoRecords) {
  Store s;
  EXPECT_TRUE(s.store.loadAllUserRecordData().empty());
  EXPECT_EQ(s.log.lines(), std::vector<std::string>{"Loaded 0 UserRecordData objects."});

  MemoryLog log;
  FileManagerSingleton missing(s.dir.path() / "gone", log);
  EXPECT_TRUE(missing.loadAllUserRecordData().empty());
  ASSERT_EQ(log.lines().size(), 1u);
  EXPECT_THAT(log.lines()[0], StartsWith("Failed to list directory contents: "));
}

TEST(FileUrl, PercentEncodesWhatAPathMayNotHold) {
  EXPECT_EQ(fileUrl("/tmp/My Records/1.5.json"), "file:///tmp/My%20Records/1.5.json");
  EXPECT_EQ(fileUrl("/tmp/caf\xc3\xa9#?%.json"), "file:///tmp/caf%C3%A9%23%3F%25.json");
}

}  // namespace
}  // namespace hopster
