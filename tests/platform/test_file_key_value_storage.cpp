#include "platform/file_key_value_storage.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include "platform/atomic_file.h"
#include "support/temp_dir.h"

namespace hopster {
namespace {

namespace fs = std::filesystem;

// 2024-01-02 03:04:05 UTC.
class FixedClock final : public Clock {
 public:
  [[nodiscard]] double now() const override { return 1704164645.25; }
};

constexpr const char* kAsideName = "settings.json.corrupt-20240102T030405Z";

void writeFile(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string readFile(const fs::path& path) {
  std::string content;
  EXPECT_EQ(readWholeFile(path, content), std::nullopt) << path;
  return content;
}

TEST(FileKeyValueStorage, ValuesKeepTheirTypesAcrossARestart) {
  testing::TempDir dir;
  const fs::path file = dir.path() / "config" / "hopster" / "settings.json";
  MemoryLog log;
  {
    KeyValueStore store(std::make_unique<FileKeyValueStorage>(file), log);
    store.setStringArray("one", {"trophy-first-10"});
    store.setInteger("count", 5);
    store.setBoolean("flag", true);
  }
  // Values this version never writes must survive later saves untouched.
  auto document = nlohmann::json::parse(readFile(file));
  document["text"] = "trophy-first-10";
  document["float"] = 5.0;
  writeFile(file, document.dump());
  KeyValueStore(std::make_unique<FileKeyValueStorage>(file), log).setInteger("other", 1);

  const KeyValueStore store(std::make_unique<FileKeyValueStorage>(file), log);
  EXPECT_EQ(store.array("one"), (std::vector<std::optional<std::string>>{"trophy-first-10"}));
  EXPECT_EQ(store.array("text"), std::nullopt);
  EXPECT_EQ(store.integer("count"), 5);
  EXPECT_EQ(store.integer("float"), 0);
  EXPECT_TRUE(store.boolean("flag"));
  EXPECT_FALSE(store.boolean("count", false));
  EXPECT_TRUE(log.lines().empty());
}

TEST(FileKeyValueStorage, UnreadableFileIsSetAsideWithItsBytesAndNeverOverwritten) {
  struct Case {
    const char* name;
    std::string bytes;
  };
  const std::vector<Case> cases{
      {"garbage",
       "\x7f"
       "ELF\x02\x01\x01"},
      {"truncated", R"({"totalJumps": 1)"},
      {"empty", ""},
      {"not an object", R"(["a"])"},
      {"deep", R"({"a":)" + std::string(5000, '[')},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::TempDir dir;
    const fs::path file = dir.path() / "settings.json";
    writeFile(file, c.bytes);
    FixedClock clock;
    MemoryLog log;
    KeyValueStore store(std::make_unique<FileKeyValueStorage>(file, clock), log);
    store.setInteger("totalJumps", 9);

    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_NE(log.lines()[0].find((dir.path() / kAsideName).string()), std::string::npos)
        << log.lines()[0];
    EXPECT_EQ(readFile(dir.path() / kAsideName), c.bytes);
    EXPECT_EQ(nlohmann::json::parse(readFile(file)), nlohmann::json({{"totalJumps", 9}}));
  }
}

TEST(FileKeyValueStorage, FileThatCannotBeOpenedIsSetAsideNotTreatedAsAbsent) {
  testing::TempDir dir;
  const fs::path file = dir.path() / "settings.json";
  fs::create_directory(file);
  writeFile(file / "keep", "user data");
  FixedClock clock;
  MemoryLog log;
  KeyValueStore(std::make_unique<FileKeyValueStorage>(file, clock), log).setBoolean("flag", true);

  ASSERT_EQ(log.lines().size(), 1u);
  EXPECT_NE(log.lines()[0].find("Is a directory"), std::string::npos) << log.lines()[0];
  EXPECT_EQ(readFile(dir.path() / kAsideName / "keep"), "user data");

  if (::geteuid() != 0) {  // permissions do not stop root
    writeFile(file, "{}");
    fs::permissions(file, fs::perms::none);
    KeyValueStore(std::make_unique<FileKeyValueStorage>(file, clock), log);
    EXPECT_EQ(log.lines().size(), 2u);
    fs::permissions(dir.path() / (std::string(kAsideName) + "-2"), fs::perms::owner_read);
    EXPECT_EQ(readFile(dir.path() / (std::string(kAsideName) + "-2")), "{}");
  }
}

TEST(FileKeyValueStorage, SetAsideNeverReplacesAnEarlierSetAsideFile) {
  testing::TempDir dir;
  const fs::path file = dir.path() / "settings.json";
  FixedClock clock;
  FileKeyValueStorage storage(file, clock);
  for (const std::string bytes : {"one", "two", "three"}) {
    writeFile(file, bytes);
    (void)storage.setAside();
  }
  EXPECT_EQ(readFile(dir.path() / kAsideName), "one");
  EXPECT_EQ(readFile(dir.path() / (std::string(kAsideName) + "-2")), "two");
  EXPECT_EQ(readFile(dir.path() / (std::string(kAsideName) + "-3")), "three");
  EXPECT_THROW((void)storage.setAside(), std::system_error);  // nothing left to move
}

TEST(FileKeyValueStorage, FailedSaveIsLoggedAndTheValueKept) {
  testing::TempDir dir;
  writeFile(dir.path() / "blocker", "a file where the folder should be");
  MemoryLog log;
  KeyValueStore store(
      std::make_unique<FileKeyValueStorage>(dir.path() / "blocker" / "settings.json"), log);
  store.setInteger("totalJumps", 3);
  EXPECT_EQ(store.integer("totalJumps"), 3);
  ASSERT_EQ(log.lines().size(), 1u);
  EXPECT_EQ(log.lines()[0].rfind("Failed to save settings: ", 0), 0u) << log.lines()[0];
}

}  // namespace
}  // namespace hopster
