// The settings file: what survives a restart, files set aside, stores in
// several processes on one file, and where the file lives.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "platform/key_value_store.h"
#include "platform/linux/file_key_value_storage.h"
#include "platform/linux/memory_log.h"
#include "platform/linux/xdg_paths.h"
#include "platform/settings_files.h"
#include "support/temp_dir.h"

namespace hopster {
namespace {

using nlohmann::json;

// 2024-01-02 03:04:05 UTC.
class FixedClock final : public Clock {
 public:
  [[nodiscard]] double now() const override { return 1704164645.25; }
};

// Ends the test program with SIGALRM should the test take longer than this.
struct Deadline {
  explicit Deadline(unsigned seconds) { ::alarm(seconds); }
  ~Deadline() { ::alarm(0); }
};

const std::string kAside = "settings.json.corrupt-20240102T030405Z";

// Each unusable file is moved aside under a fresh name, never over an earlier
// one, and the settings start afresh beside it.
TEST(FileKeyValueStorage, UnusableFilesAreSetAsideUnderFreshNamesAndNeverOverwritten) {
  const Deadline deadline(60);  // a FIFO read would wait for a writer forever
  testing::TempDir dir;
  const fs::path file = dir.path() / "settings.json";
  const std::string binary("ELF\0\xff\x01", 6);
  const struct {
    std::function<void()> make;
    std::string reason;  // in the log line
  } cases[] = {
      {[&] { writeFile(file, binary); }, "not valid JSON"},
      {[&] { fs::create_directory(file); }, "not a regular file (a folder)"},
      {[&] { ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0); }, "not a regular file (a FIFO)"},
      {[&] { fs::create_symlink("/dev/zero", file); }, "not a regular file (a character device)"},
      {[&] { fs::resize_file((writeFile(file, "{}"), file), FileKeyValueStorage::kMaxBytes + 1); },
       "larger than 4194304 bytes"},
  };
  const FixedClock clock;
  Strings names{"settings.json", "settings.json.lock"};
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    fs::remove(file);  // the good file the last round wrote
    cases[i].make();
    MemoryLog log;
    KeyValueStore store(std::make_unique<FileKeyValueStorage>(file, clock), log);
    const std::string aside = i == 0 ? kAside : kAside + "-" + std::to_string(i + 1);
    names.push_back(aside);
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_NE(log.lines()[0].find(cases[i].reason), std::string::npos) << log.lines()[0];
    EXPECT_TRUE(log.lines()[0].ends_with("; moved it to " + (dir.path() / aside).string()))
        << log.lines()[0];
    store.setInteger("n", 1);
    EXPECT_EQ(json::parse(readFile(file)), json({{"n", 1}}));
  }
  EXPECT_EQ(readFile(dir.path() / kAside), binary);
  EXPECT_EQ(fs::file_size(dir.path() / (kAside + "-5")), FileKeyValueStorage::kMaxBytes + 1);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(namesIn(dir.path()), names);
}

// Stores in several processes, all adding at once, take turns and never
// lose an update. The values keep their types across a restart, in the
// folders made for the file, with nothing beside it but its owner-only lock.
TEST(FileKeyValueStorage, StoresOnOneFileTakeTurnsNeverLoseAnUpdateAndKeepTypes) {
  testing::TempDir dir;
  const fs::path file = dir.path() / "config" / "hopster" / "settings.json";
  const Deadline deadline(120);
  MemoryLog log;
  KeyValueStore(std::make_unique<FileKeyValueStorage>(file), log).setBoolean("flag", true);
  constexpr int kProcesses = 4, kAdds = 25;
  std::vector<pid_t> children;
  for (int p = 0; p < kProcesses; ++p) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      MemoryLog childLog;
      KeyValueStore store(std::make_unique<FileKeyValueStorage>(file), childLog);
      for (int i = 0; i < kAdds; ++i) store.addToInteger("totalJumps", 1);
      store.addToStringArray("unlockedTrophies", {"p" + std::to_string(p)});
      ::_exit(childLog.lines().empty() ? 0 : 1);
    }
    children.push_back(child);
  }
  for (const pid_t child : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  const KeyValueStore store(std::make_unique<FileKeyValueStorage>(file), log);
  EXPECT_EQ(store.integer("totalJumps"), kProcesses * kAdds);
  EXPECT_EQ(store.array("unlockedTrophies")->size(), std::size_t{kProcesses});
  EXPECT_TRUE(store.boolean("flag"));
  EXPECT_TRUE(log.lines().empty());
  EXPECT_EQ(namesIn(file.parent_path()), (Strings{"settings.json", "settings.json.lock"}));
  EXPECT_EQ(fs::status(file.string() + ".lock").permissions(),
            fs::perms::owner_read | fs::perms::owner_write);
}

TEST(FileKeyValueStorage, AMistypedFileIsCopiedAndBeforeReplaceSeesTheNewFileBesideTheOld) {
  testing::TempDir dir;
  const fs::path file = dir.path() / "settings.json";
  const std::string old = R"({"totalJumps": "995", "x": 1})";
  writeFile(file, old);
  const FixedClock clock;
  MemoryLog log;
  KeyValueStore store(std::make_unique<FileKeyValueStorage>(file, clock), log);
  EXPECT_EQ(readFile(dir.path() / kAside), old);
  EXPECT_EQ(readFile(file), old);  // a copy, not a move

  const auto change = [](json& document) { document["x"] = 2; };
  std::string seen;
  const Failure refused{FailureKind::inUse, "refused"};
  EXPECT_EQ(store.update(change,
                         [&](const fs::path& temporary) -> Status {
                           seen = readFile(temporary) + readFile(file);
                           return refused;
                         }),
            refused);
  EXPECT_EQ(seen, "{\n  \"x\": 2\n}\n" + old);
  EXPECT_EQ(readFile(file), old);
  EXPECT_EQ(store.integer("x"), 1) << "the refused change is dropped";
  EXPECT_EQ(namesIn(dir.path()), (Strings{"settings.json", kAside, "settings.json.lock"}));
  EXPECT_EQ(store.update(change, [](const fs::path&) -> Status { return std::nullopt; }),
            std::nullopt);
  EXPECT_EQ(readFile(file), "{\n  \"x\": 2\n}\n");
}

TEST(FileKeyValueStorage, SettingsBehindALinkStayThereThroughSavesAndSettingAside) {
  testing::TempDir dir;
  fs::create_directories(dir.path() / "config");
  fs::create_directories(dir.path() / "dotfiles");
  const fs::path real = dir.path() / "dotfiles/settings.json";
  const fs::path file = dir.path() / "config/settings.json";
  writeFile(real, "not json");
  fs::create_symlink("../dotfiles/settings.json", file);
  const FixedClock clock;
  MemoryLog log;
  KeyValueStore store(std::make_unique<FileKeyValueStorage>(file, clock), log);
  store.setInteger("totalJumps", 7);
  EXPECT_EQ(json::parse(readFile(real))["totalJumps"], 7);
  // The damaged file was set aside where it lived, beside its replacement.
  EXPECT_EQ(readFile(dir.path() / "dotfiles" / kAside), "not json");
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
  const struct {
    const char *configVar, *dataVar, *config, *data;
  } cases[] = {
      {nullptr, nullptr, "/home/u/.config", "/home/u/.local/share"},
      {"/cfg", "/dat", "/cfg", "/dat"},
      {"relative/cfg", "", "/home/u/.config", "/home/u/.local/share"},
  };
  const ScopedEnv home("HOME", "/home/u");
  for (const auto& c : cases) {
    const ScopedEnv config("XDG_CONFIG_HOME", c.configVar), data("XDG_DATA_HOME", c.dataVar);
    EXPECT_EQ(configHome(), c.config);
    EXPECT_EQ(dataHome(), c.data);
    EXPECT_EQ(hopsterDataDir(), fs::path(c.data) / "hopster");  // where the records are
    EXPECT_EQ(FileKeyValueStorage::defaultLocation(), fs::path(c.config) / "hopster/settings.json");
  }
}
}  // namespace
}  // namespace hopster
