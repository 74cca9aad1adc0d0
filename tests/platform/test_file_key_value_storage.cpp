#include "platform/file_key_value_storage.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include "platform/atomic_file.h"
#include "platform/xdg_paths.h"
#include "support/temp_dir.h"

namespace hopster {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using Names = std::vector<std::string>;

// 2024-01-02 03:04:05 UTC.
class FixedClock final : public Clock {
 public:
  [[nodiscard]] double now() const override { return 1704164645.25; }
};

const std::string kAside = "settings.json.corrupt-20240102T030405Z";

void writeFile(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string readFile(const fs::path& path) {
  std::string content;
  EXPECT_EQ(readWholeFile(path, content), std::nullopt) << path;
  return content;
}

Names namesIn(const fs::path& folder) {
  Names names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(FileKeyValueStorage, ValuesKeepTheirTypesAcrossARestart) {
  testing::TempDir dir;
  const fs::path file = dir.path() / "config" / "hopster" / "settings.json";
  MemoryLog log;
  KeyValueStore store(std::make_unique<FileKeyValueStorage>(file), log);
  store.setStringArray("one", {"trophy-first-10"});
  store.setInteger("count", 5);
  store.setBoolean("flag", true);
  const KeyValueStore reloaded(std::make_unique<FileKeyValueStorage>(file), log);
  EXPECT_EQ(reloaded.array("one"), (std::vector<std::optional<std::string>>{"trophy-first-10"}));
  EXPECT_EQ(reloaded.integer("count"), 5);
  EXPECT_TRUE(reloaded.boolean("flag"));
  EXPECT_TRUE(log.lines().empty());
  EXPECT_EQ(namesIn(file.parent_path()), Names{"settings.json"});
}

TEST(FileKeyValueStorage, UnreadableFilesAreSetAsideUnderFreshNamesAndNeverOverwritten) {
  testing::TempDir dir;
  const fs::path file = dir.path() / "settings.json";
  const FixedClock clock;
  const Names bad{std::string("ELF\0\xff\x01", 6), "", R"(["a"])"};
  for (std::size_t i = 0; i < bad.size(); ++i) {
    writeFile(file, bad[i]);
    MemoryLog log;
    KeyValueStore(std::make_unique<FileKeyValueStorage>(file, clock), log).setInteger("n", 1);
    ASSERT_EQ(log.lines().size(), 1u);
    const std::string aside = i == 0 ? kAside : kAside + "-" + std::to_string(i + 1);
    EXPECT_TRUE(log.lines()[0].ends_with("; moved it to " + (dir.path() / aside).string()))
        << log.lines()[0];
    EXPECT_EQ(readFile(dir.path() / aside), bad[i]);
    EXPECT_EQ(json::parse(readFile(file)), json({{"n", 1}}));
  }
  EXPECT_EQ(namesIn(dir.path()), (Names{"settings.json", kAside, kAside + "-2", kAside + "-3"}));
}

TEST(FileKeyValueStorage, FolderInTheFilesPlaceIsSetAsideAndAFailedSaveLoggedWithTheValueKept) {
  testing::TempDir dir;
  const fs::path file = dir.path() / "settings.json";
  fs::create_directory(file);
  writeFile(file / "keep", "user data");
  const FixedClock clock;
  MemoryLog log;
  KeyValueStore store(std::make_unique<FileKeyValueStorage>(file, clock), log);
  int told = 0;
  const auto subscription = store.observe("totalJumps", [&] { ++told; });
  fs::create_directory(file);  // again, so that saving cannot replace it
  store.setInteger("totalJumps", 3);
  EXPECT_EQ(store.integer("totalJumps"), 3);
  EXPECT_EQ(told, 1);
  EXPECT_EQ(
      log.lines(),
      (Names{"Settings file could not be read (Could not read " + file.string() +
                 ": Is a directory); moved it to " + (dir.path() / kAside).string(),
             "Failed to save settings: Could not replace " + file.string() + ": Is a directory"}));
  EXPECT_EQ(readFile(dir.path() / kAside / "keep"), "user data");
  EXPECT_EQ(namesIn(dir.path()), (Names{"settings.json", kAside}));  // no temporary file left
  EXPECT_THROW((void)FileKeyValueStorage(dir.path() / "absent").setAside(), std::system_error);
}

TEST(AtomicFile, ReplacesContentLeavingNoTemporaryFilesAndKeepsPermissions) {
  testing::TempDir dir;
  const fs::path target = dir.path() / "doc.json";
  for (const std::string& content : {std::string("with a\0byte", 11), std::string()}) {
    ASSERT_EQ(writeFileAtomically(target, content), std::nullopt);
    EXPECT_EQ(readFile(target), content);
    EXPECT_EQ(namesIn(dir.path()), Names{"doc.json"});
  }
  const auto ownerOnly = fs::perms::owner_read | fs::perms::owner_write;
  EXPECT_EQ(fs::status(target).permissions(), ownerOnly);
  fs::permissions(target, ownerOnly | fs::perms::group_read);
  ASSERT_EQ(writeFileAtomically(target, "new"), std::nullopt);
  EXPECT_EQ(fs::status(target).permissions(), ownerOnly | fs::perms::group_read);
}

// Sets or clears one environment variable for the life of the object.
struct ScopedEnv {
  const char* name;
  std::optional<std::string> old;
  ScopedEnv(const char* variable, const char* value) : name(variable) {
    if (const char* previous = std::getenv(name)) old = previous;
    value ? ::setenv(name, value, 1) : ::unsetenv(name);
  }
  ~ScopedEnv() { old ? ::setenv(name, old->c_str(), 1) : ::unsetenv(name); }
};

TEST(XdgPaths, FollowTheVariablesOnlyWhenAbsolute) {
  struct Case {
    const char *configVar, *dataVar, *config, *data;
  };
  const Case cases[] = {
      {nullptr, nullptr, "/home/u/.config", "/home/u/.local/share"},
      {"/cfg", "/dat", "/cfg", "/dat"},
      {"relative/cfg", "", "/home/u/.config", "/home/u/.local/share"},
  };
  const ScopedEnv home("HOME", "/home/u");
  for (const Case& c : cases) {
    const ScopedEnv config("XDG_CONFIG_HOME", c.configVar), data("XDG_DATA_HOME", c.dataVar);
    EXPECT_EQ(configHome(), c.config);
    EXPECT_EQ(dataHome(), c.data);
    EXPECT_EQ(hopsterDataDir(), fs::path(c.data) / "hopster");  // where the records are
    EXPECT_EQ(FileKeyValueStorage::defaultLocation(), fs::path(c.config) / "hopster/settings.json");
  }
}

}  // namespace
}  // namespace hopster
