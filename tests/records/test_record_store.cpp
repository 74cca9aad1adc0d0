#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <fstream>
#include <limits>
#include <string>
#include <tuple>

#include "records/record_store.h"
#include "support/temp_dir.h"
#include "trophies/trophy_catalogue.h"

namespace hopster {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::SizeIs;
using ::testing::StartsWith;

UserRecordData sampleRecord(std::int64_t jumps = 12) {
  return UserRecordData("6F9619FF-8B86-4011-B42D-00CF4FC964FF", 1764942759.123456, 1764942789.5,
                        30.376544, jumps, "TimeIntervalSince1970,AccelerationX\n1764942759.1,0.5",
                        std::nullopt);
}

// What a record holds, comparable (its trophy's own fields round-trip in the
// trophy tests).
auto fields(const UserRecordData& r) {
  const Trophy t = r.unlockedTrophy.value_or(Trophy{});
  return std::tuple(r.id, r.dateStart, r.dateEnd, r.timeSpent, r.jumps, r.csvText,
                    r.unlockedTrophy.has_value(), t.id, t.isUnlocked);
}

void writeText(const fs::path& path, std::string_view text) {
  std::ofstream(path, std::ios::binary) << text;
}

std::string readText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

struct Store {
  testing::TempDir dir;
  MemoryLog log;
  RecordStore store{dir.path(), log};
};

TEST(RecordStore, SavesAndLoadsARecordExactlyAndReplacesOneOfTheSameName) {
  Store s;
  UserRecordData withTrophy = sampleRecord(13);
  withTrophy.unlockedTrophy = trophyCatalogue()[4];
  withTrophy.unlockedTrophy->isUnlocked = true;
  const fs::path file = s.dir.path() / "1764942759.123456.json";
  for (const UserRecordData& record : {sampleRecord(), withTrophy}) {
    s.store.saveUserRecordData(record, "1764942759.123456");
    EXPECT_EQ(s.log.lines().back(),
              "UserRecordData saved successfully to file://" + file.string() + ".");
    const std::string text = readText(file);
    EXPECT_EQ(text.find('\n'), std::string::npos) << "written compactly";
    EXPECT_EQ(text.find("unlockedTrophy") != std::string::npos, record.unlockedTrophy.has_value());
    EXPECT_EQ(std::distance(fs::directory_iterator(s.dir.path()), {}), 1) << "no leftovers";
    const auto loaded = s.store.loadAllUserRecordData();
    ASSERT_EQ(loaded.size(), 1u);
    EXPECT_EQ(fields(loaded[0]), fields(record));
  }
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
  EXPECT_THAT(s.log.lines(), AllOf(SizeIs(4), Each(StartsWith("Failed to save UserRecordData: "))));
  EXPECT_TRUE(fs::is_empty(s.dir.path()));
  EXPECT_FALSE(fs::exists(s.dir.path().parent_path() / "escape.json"));
}

TEST(RecordStore, SkipsEveryKindOfBadFileWithItsReasonAndLoadsTheRest) {
  Store s;
  s.store.saveUserRecordData(sampleRecord(), "good");
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
  writeText(s.dir.path() / "notes.JSON", valid);
  writeText(s.dir.path() / "null-trophy.json",
            head + R"("jumps":3,"csvText":"","unlockedTrophy":null})");

  s.log.clear();
  const auto loaded = s.store.loadAllUserRecordData();
  ASSERT_EQ(loaded.size(), 2u) << "good.json and null-trophy.json";
  EXPECT_FALSE(loaded[0].unlockedTrophy || loaded[1].unlockedTrophy) << "null is no trophy";
  const auto& lines = s.log.lines();
  ASSERT_EQ(lines.size(), bad.size() + 3);  // + folder, link, count line
  EXPECT_EQ(lines.back(), "Loaded 2 UserRecordData objects.");
  // The reason logged for the file of that name.
  const auto reason = [&](const std::string& name) {
    const std::string prefix =
        "Failed to load UserRecordData from file://" + (s.dir.path() / name).string() + ".json: ";
    const auto line = std::ranges::find_if(lines, [&](auto& l) { return l.starts_with(prefix); });
    return line == lines.end() ? std::string("(none)") : line->substr(prefix.size());
  };
  for (const auto& [name, content, why] : bad) EXPECT_THAT(reason(name), HasSubstr(why)) << name;
  EXPECT_NE(reason("folder"), "(none)");
  EXPECT_NE(reason("dangling"), "(none)");
}

TEST(RecordStore, ListsLatestCreatedFirstRegardlessOfNamesAndStarts) {
  Store s;
  // Created in the order b, c, a; each starts earlier than the one before.
  for (const auto& [name, start] : {std::pair{"b", 300.0}, {"c", 200.0}, {"a", 100.0}}) {
    UserRecordData record = sampleRecord();
    record.id = name;
    record.dateStart = start;
    s.store.saveUserRecordData(record, name);
    usleep(20000);  // birth times need to differ
  }
  struct statx info {};
  if (statx(AT_FDCWD, (s.dir.path() / "a.json").c_str(), 0, STATX_BTIME, &info) != 0 ||
      (info.stx_mask & STATX_BTIME) == 0) {
    GTEST_SKIP() << "no birth times on this disk";
  }
  const auto loaded = s.store.loadAllUserRecordData();
  ASSERT_EQ(loaded.size(), 3u);
  EXPECT_EQ(loaded[0].id + loaded[1].id + loaded[2].id, "acb");
}

TEST(RecordStore, AnEmptyOrMissingFolderGivesNoRecords) {
  Store s;
  EXPECT_TRUE(s.store.loadAllUserRecordData().empty());
  EXPECT_EQ(s.log.lines(), std::vector<std::string>{"Loaded 0 UserRecordData objects."});
  MemoryLog log;
  EXPECT_TRUE(RecordStore(s.dir.path() / "gone", log).loadAllUserRecordData().empty());
  EXPECT_THAT(log.lines(), ElementsAre(StartsWith("Failed to list directory contents: ")));
}

TEST(FileUrl, PercentEncodesWhatAPathMayNotHold) {
  EXPECT_EQ(fileUrl("/tmp/My Records/1.5.json"), "file:///tmp/My%20Records/1.5.json");
  EXPECT_EQ(fileUrl("/tmp/caf\xc3\xa9#?%.json"), "file:///tmp/caf%C3%A9%23%3F%25.json");
}

}  // namespace
}  // namespace hopster
