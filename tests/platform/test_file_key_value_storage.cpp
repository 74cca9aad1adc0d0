#include "platform/file_key_value_storage.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <string>
#include <system_error>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/atomic_file.h"
#include "platform/data_file.h"
#include "platform/xdg_paths.h"
#include "support/temp_dir.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

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

// Ends the test program with SIGALRM should the test take longer than this.
struct Deadline {
  explicit Deadline(unsigned seconds) { ::alarm(seconds); }
  ~Deadline() { ::alarm(0); }
};

const std::string kAside = "settings.json.corrupt-20240102T030405Z";

void writeFile(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string readFile(const fs::path& path) {
  std::string content;
  EXPECT_EQ(readDataFile(path, 1 << 20, content), std::nullopt) << path;
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
  EXPECT_EQ(namesIn(file.parent_path()), (Names{"settings.json", "settings.json.lock"}));
  EXPECT_EQ(fs::status(file.string() + ".lock").permissions(),
            fs::perms::owner_read | fs::perms::owner_write);
}

// Each unusable file is moved aside under a fresh name, never over an earlier
// one, and the settings start afresh beside it.
TEST(FileKeyValueStorage, UnusableFilesAreSetAsideUnderFreshNamesAndNeverOverwritten) {
  const Deadline deadline(60);  // a FIFO read would wait for a writer forever
  testing::TempDir dir;
  const fs::path file = dir.path() / "settings.json";
  const std::string binary("ELF\0\xff\x01", 6);
  const struct {
    std::function<void()> make;
    std::string reason, content;  // in the log line; what the set-aside file holds
  } cases[] = {
      {[&] { writeFile(file, binary); }, "not valid JSON", binary},
      {[&] { writeFile(file, ""); }, "the file is empty", ""},
      {[&] { writeFile(file, R"(["a"])"); }, "expected a JSON object", R"(["a"])"},
      {[&] { fs::create_directory(file); }, "not a regular file (a folder)", ""},
      {[&] { ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0); }, "not a regular file (a FIFO)", ""},
      {[&] { fs::create_symlink("/dev/zero", file); }, "not a regular file (a character device)",
       ""},
      {[&] { fs::resize_file((writeFile(file, "{}"), file), FileKeyValueStorage::kMaxBytes + 1); },
       "larger than 4194304 bytes", ""},
  };
  const FixedClock clock;
  Names names{"settings.json", "settings.json.lock"};
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
    if (i < 3) {
      EXPECT_EQ(readFile(dir.path() / aside), cases[i].content);
    }
    store.setInteger("n", 1);
    EXPECT_EQ(json::parse(readFile(file)), json({{"n", 1}}));
  }
  EXPECT_EQ(fs::file_size(dir.path() / (kAside + "-7")), FileKeyValueStorage::kMaxBytes + 1);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(namesIn(dir.path()), names);
}

TEST(FileKeyValueStorage, StoresOnOneFileTakeTurnsAndNeverLoseAnUpdate) {
  testing::TempDir dir;
  const fs::path file = dir.path() / "settings.json";
  MemoryLog log;
  KeyValueStore a(std::make_unique<FileKeyValueStorage>(file), log);
  KeyValueStore b(std::make_unique<FileKeyValueStorage>(file), log);
  for (int i = 0; i < 3; ++i) {
    a.addToInteger("totalJumps", 1);
    a.addToStringArray("unlockedTrophies", {"a" + std::to_string(i)});
    b.addToInteger("totalJumps", 10);
    b.addToStringArray("unlockedTrophies", {"b" + std::to_string(i)});
  }
  EXPECT_EQ(b.integer("totalJumps"), 33);
  EXPECT_EQ(json::parse(readFile(file))["unlockedTrophies"],
            json({"a0", "b0", "a1", "b1", "a2", "b2"}));

  // Real processes, all adding at once.
  const Deadline deadline(120);
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
  a.reload();
  EXPECT_EQ(a.integer("totalJumps"), 33 + kProcesses * kAdds);
  EXPECT_EQ(a.array("unlockedTrophies")->size(), 6u + kProcesses);
  EXPECT_TRUE(log.lines().empty());
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
  EXPECT_EQ(store.update(change,
                         [&](const fs::path& temporary) -> std::optional<std::string> {
                           seen = readFile(temporary) + readFile(file);
                           return "refused";
                         }),
            "refused");
  EXPECT_EQ(seen, "{\n  \"x\": 2\n}\n" + old);
  EXPECT_EQ(readFile(file), old);
  EXPECT_EQ(namesIn(dir.path()), (Names{"settings.json", kAside, "settings.json.lock"}));
  EXPECT_EQ(store.update(change, [](const fs::path&) { return std::nullopt; }), std::nullopt);
  EXPECT_EQ(readFile(file), "{\n  \"x\": 2\n}\n");
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

// What a path is, without following it.
std::string kindOf(const fs::path& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return "missing";
  if (S_ISLNK(info.st_mode)) return "link";
  if (S_ISREG(info.st_mode)) return "file";
  if (S_ISFIFO(info.st_mode)) return "fifo";
  if (S_ISCHR(info.st_mode)) return "device";
  return "other";
}

// Every name under `folder`, recursively, with its kind.
Names inventory(const fs::path& folder) {
  Names names;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    names.push_back(fs::relative(entry.path(), folder).string() + ":" + kindOf(entry.path()));
  }
  std::sort(names.begin(), names.end());
  return names;
}

TEST(AtomicFile, AWriteThroughALinkReplacesWhatItLeadsToAndKeepsTheLink) {
  struct Case {
    const char* name;
    std::vector<std::pair<const char*, const char*>> links;  // link, what it says
    const char* written;                                     // the path written
    const char* lands;                                       // where the bytes land
  };
  const Case cases[] = {
      {"absolute link",
       {{"cfg/settings.json", "@dot/settings.json"}},
       "cfg/settings.json",
       "dot/settings.json"},
      {"relative link from its own folder",
       {{"cfg/settings.json", "../dot/settings.json"}},
       "cfg/settings.json",
       "dot/settings.json"},
      {"a chain of links",
       {{"cfg/settings.json", "../dot/hop"}, {"dot/hop", "settings.json"}},
       "cfg/settings.json",
       "dot/settings.json"},
      {"a link to nothing yet", {{"cfg/out.csv", "../dot/new.csv"}}, "cfg/out.csv", "dot/new.csv"},
  };
  for (const Case& c : cases) {
    testing::TempDir dir;
    fs::create_directories(dir.path() / "cfg");
    fs::create_directories(dir.path() / "dot");
    writeFile(dir.path() / "dot/settings.json", "old");
    for (const auto& [link, text] : c.links) {
      const std::string says = text[0] == '@' ? (dir.path() / (text + 1)).string() : text;
      fs::create_symlink(says, dir.path() / link);
    }
    ASSERT_EQ(writeFileAtomically(dir.path() / c.written, "new"), std::nullopt) << c.name;
    EXPECT_EQ(readFile(dir.path() / c.lands), "new") << c.name;
    for (const auto& [link, text] : c.links) {
      EXPECT_EQ(kindOf(dir.path() / link), "link") << c.name << ": " << link;
    }
    // Nothing else appeared: no temporary file left, no file beside the link.
    for (const std::string& entry : inventory(dir.path())) {
      EXPECT_EQ(entry.find(".tmp"), std::string::npos) << c.name << ": " << entry;
    }
  }
}

TEST(AtomicFile, AnythingButAFileOrLinkIsWrittenInPlaceAndKept) {
  testing::TempDir dir;
  // A FIFO with a reader waiting: the reader gets the bytes, the FIFO stays.
  const fs::path fifo = dir.path() / "fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(reader, 0);
  EXPECT_EQ(writeFileAtomically(fifo, "through the fifo"), std::nullopt);
  char heard[64] = {};
  const ssize_t length = ::read(reader, heard, sizeof heard);
  ::close(reader);
  EXPECT_EQ(std::string(heard, static_cast<std::size_t>(std::max<ssize_t>(length, 0))),
            "through the fifo");

  // A pipe behind a link to this process's descriptor, as /dev/stdout is.
  int pipe[2];
  ASSERT_EQ(::pipe(pipe), 0);
  const fs::path toPipe = dir.path() / "stdout";
  fs::create_symlink("/proc/self/fd/" + std::to_string(pipe[1]), toPipe);
  EXPECT_EQ(writeFileAtomically(toPipe, "through the pipe"), std::nullopt);
  ::close(pipe[1]);
  ::fcntl(pipe[0], F_SETFL, O_NONBLOCK);
  char got[64] = {};
  const ssize_t piped = ::read(pipe[0], got, sizeof got);
  EXPECT_EQ(std::string(got, static_cast<std::size_t>(std::max<ssize_t>(piped, 0))),
            "through the pipe");
  ::close(pipe[0]);

  // Copies of /dev/full and /dev/null: the error is told, the nodes stay.
  const fs::path full = dir.path() / "full", null = dir.path() / "null";
  if (::mknod(full.c_str(), S_IFCHR | 0600, makedev(1, 7)) != 0 ||
      ::mknod(null.c_str(), S_IFCHR | 0600, makedev(1, 3)) != 0) {
    GTEST_SKIP() << "devices cannot be made here";
  }
  const std::optional<std::string> fullError = writeFileAtomically(full, "x");
  ASSERT_TRUE(fullError.has_value());
  EXPECT_NE(fullError->find("No space left on device"), std::string::npos) << *fullError;
  EXPECT_EQ(writeFileAtomically(null, "x"), std::nullopt);
  EXPECT_EQ(inventory(dir.path()),
            (Names{"fifo:fifo", "full:device", "null:device", "stdout:link"}));
}

TEST(AtomicFile, OwnDescriptorsKeepTheirOffsetAndAppendMode) {
  testing::TempDir dir;
  const fs::path log = dir.path() / "log.txt";
  writeFile(log, "first\n");
  // What a shell's `>> log.txt` hands a program as its standard output.
  const int fd = ::open(log.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  const fs::path link = dir.path() / "out";
  fs::create_symlink("/proc/self/fd/" + std::to_string(fd), link);
  EXPECT_EQ(writeFileAtomically(link, "second\n"), std::nullopt);
  ::close(fd);
  EXPECT_EQ(readFile(log), "first\nsecond\n");
  EXPECT_EQ(kindOf(link), "link");
}

TEST(AtomicFile, RefusesFoldersAndLinkLoopsAndSetsAModeWhenAsked) {
  testing::TempDir dir;
  fs::create_symlink("b", dir.path() / "a");
  fs::create_symlink("a", dir.path() / "b");
  EXPECT_NE(writeFileAtomically(dir.path() / "a", "x"), std::nullopt);
  EXPECT_NE(writeFileAtomically(dir.path(), "x"), std::nullopt);
  EXPECT_EQ(kindOf(dir.path() / "a"), "link");

  // A set mode wins over the mode of the file replaced.
  const fs::path secret = dir.path() / "secret";
  writeFile(secret, "old");
  fs::permissions(secret, fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read);
  ASSERT_EQ(writeFileAtomically(secret, "new", {.beforeReplace = {}, .mode = 0600}), std::nullopt);
  EXPECT_EQ(fs::status(secret).permissions(), fs::perms::owner_read | fs::perms::owner_write);
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
  EXPECT_EQ(kindOf(file), "link");
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
