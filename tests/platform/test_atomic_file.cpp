// Atomic file writes: replacing content, and what a write does through links,
// FIFOs, descriptors and devices.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include "platform/linux/atomic_file.h"
#include "platform/settings_files.h"
#include "recording/file_size_limit.h"
#include "support/temp_dir.h"

namespace hopster {
namespace {

// The content is written in pieces, in order; a write the disk cuts short
// leaves the old content, and no write leaves a temporary file.
TEST(AtomicFile, ReplacesContentLeavingNoTemporaryFilesAndKeepsOrSetsPermissions) {
  testing::TempDir dir;
  const fs::path target = dir.path() / "doc.json";
  const std::string big(3000, 'x');
  const std::vector<std::string_view> pieces = {"", "with a", std::string_view("\0byte", 5), "",
                                                big};
  const std::string whole = std::string("with a\0byte", 11) + big;
  ASSERT_EQ(writeFileAtomically(target, pieces), std::nullopt);
  EXPECT_EQ(readFile(target), whole);
  {
    const testing::FileSizeLimit full(2048);
    const auto error = writeFileAtomically(target, std::vector<std::string_view>{"new,", big});
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind, FailureKind::tooLarge) << *error;
    EXPECT_TRUE(error->message.starts_with("Could not write ")) << *error;
  }
  EXPECT_EQ(readFile(target), whole) << "the old content stays";
  ASSERT_EQ(writeFileAtomically(target, ""), std::nullopt);
  EXPECT_EQ(readFile(target), "");
  EXPECT_EQ(namesIn(dir.path()), Strings{"doc.json"});
  const auto ownerOnly = fs::perms::owner_read | fs::perms::owner_write;
  EXPECT_EQ(fs::status(target).permissions(), ownerOnly);
  fs::permissions(target, ownerOnly | fs::perms::group_read);
  ASSERT_EQ(writeFileAtomically(target, "new"), std::nullopt);
  EXPECT_EQ(fs::status(target).permissions(), ownerOnly | fs::perms::group_read);
  // A set mode wins over the mode of the file replaced.
  ASSERT_EQ(writeFileAtomically(target, "new", {.beforeReplace = {}, .mode = 0600}), std::nullopt);
  EXPECT_EQ(fs::status(target).permissions(), ownerOnly);
}

// What a path is, without following it.
inline std::string kindOf(const fs::path& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return "missing";
  if (S_ISLNK(info.st_mode)) return "link";
  if (S_ISREG(info.st_mode)) return "file";
  if (S_ISFIFO(info.st_mode)) return "fifo";
  if (S_ISCHR(info.st_mode)) return "device";
  return "other";
}

// Every name under `folder`, recursively, with its kind.
Strings inventory(const fs::path& folder) {
  Strings names;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    names.push_back(entry.path().lexically_relative(folder).string() + ":" + kindOf(entry.path()));
  }
  std::sort(names.begin(), names.end());
  return names;
}

TEST(AtomicFile, AWriteThroughALinkReplacesWhatItLeadsToAndKeepsTheLink) {
  const struct {
    const char* name;
    // Each link and what it says; the first is the path written.
    std::vector<std::pair<const char*, const char*>> links;
    const char* lands;  // where the bytes land
  } cases[] = {
      {"absolute link", {{"cfg/settings.json", "@dot/settings.json"}}, "dot/settings.json"},
      {"relative link from its own folder",
       {{"cfg/settings.json", "../dot/settings.json"}},
       "dot/settings.json"},
      {"a chain of links",
       {{"cfg/settings.json", "../dot/hop"}, {"dot/hop", "settings.json"}},
       "dot/settings.json"},
      {"a link to nothing yet", {{"cfg/out.csv", "../dot/new.csv"}}, "dot/new.csv"},
  };
  for (const auto& c : cases) {
    testing::TempDir dir;
    fs::create_directories(dir.path() / "cfg");
    fs::create_directories(dir.path() / "dot");
    writeFile(dir.path() / "dot/settings.json", "old");
    for (const auto& [link, text] : c.links) {
      const std::string says = text[0] == '@' ? (dir.path() / (text + 1)).string() : text;
      fs::create_symlink(says, dir.path() / link);
    }
    ASSERT_EQ(writeFileAtomically(dir.path() / c.links[0].first, "new"), std::nullopt) << c.name;
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

// What can be read from `fd` now, without waiting.
std::string drain(int fd) {
  ::fcntl(fd, F_SETFL, O_NONBLOCK);
  char text[64] = {};
  const ssize_t length = ::read(fd, text, sizeof text);
  return std::string(text, static_cast<std::size_t>(std::max<ssize_t>(length, 0)));
}

TEST(AtomicFile, WhatIsNeitherAFileNorALinkIsWrittenInPlaceOrRefusedAndKept) {
  testing::TempDir dir;
  const auto at = [&dir](const char* name) { return dir.path() / name; };
  // A FIFO with a reader waiting: the reader gets the bytes, the FIFO stays.
  ASSERT_EQ(::mkfifo(at("fifo").c_str(), 0600), 0);
  const int reader = ::open(at("fifo").c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(reader, 0);
  EXPECT_EQ(writeFileAtomically(at("fifo"), "through the fifo"), std::nullopt);
  EXPECT_EQ(drain(reader), "through the fifo");
  ::close(reader);

  // This process's own descriptors behind links, as /dev/stdout is: a pipe,
  // and a log as a shell's `>> log.txt` hands it over, whose offset and
  // append mode hold.
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  writeFile(at("log.txt"), "first\n");
  const int log = ::open(at("log.txt").c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  ASSERT_GE(log, 0);
  fs::create_symlink("/proc/self/fd/" + std::to_string(fds[1]), at("stdout"));
  fs::create_symlink("/proc/self/fd/" + std::to_string(log), at("out"));
  EXPECT_EQ(writeFileAtomically(at("stdout"), "through the pipe"), std::nullopt);
  EXPECT_EQ(writeFileAtomically(at("out"), "second\n"), std::nullopt);
  ::close(fds[1]);
  ::close(log);
  EXPECT_EQ(drain(fds[0]), "through the pipe");
  ::close(fds[0]);
  EXPECT_EQ(readFile(at("log.txt")), "first\nsecond\n");

  // A loop of links and a folder are refused.
  fs::create_symlink("b", at("a"));
  fs::create_symlink("a", at("b"));
  EXPECT_NE(writeFileAtomically(at("a"), "x"), std::nullopt);
  EXPECT_EQ(writeFileAtomically(dir.path(), "x").value_or(Failure{}).kind,
            FailureKind::notRegularFile);
  EXPECT_EQ(inventory(dir.path()),
            (Strings{"a:link", "b:link", "fifo:fifo", "log.txt:file", "out:link", "stdout:link"}));

  // Copies of /dev/full and /dev/null: the error is told, the nodes stay.
  if (::mknod(at("full").c_str(), S_IFCHR | 0600, makedev(1, 7)) != 0 ||
      ::mknod(at("null").c_str(), S_IFCHR | 0600, makedev(1, 3)) != 0) {
    GTEST_SKIP() << "devices cannot be made here";
  }
  EXPECT_EQ(writeFileAtomically(at("full"), "x"),
            Failure::ofErrno(ENOSPC, "Could not write " + at("full").string()));
  EXPECT_EQ(writeFileAtomically(at("null"), "x"), std::nullopt);
  for (const char* node : {"full", "null"}) EXPECT_EQ(kindOf(at(node)), "device") << node;
}
}  // namespace
}  // namespace hopster
