#include "platform/atomic_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace hopster {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> namesIn(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  return names;
}

std::string contentOf(const fs::path& path) {
  std::string content;
  EXPECT_EQ(readWholeFile(path, content), std::nullopt);
  return content;
}

TEST(AtomicFile, ReplacesContentAndLeavesNoTemporaryFiles) {
  testing::TempDir dir;
  const fs::path target = dir.path() / "doc.json";
  // Larger than one write usually takes, with bytes a text-mode write would alter.
  std::string big(3 * 1024 * 1024 + 7, 'x');
  big[1] = '\0';
  big[2] = '\n';

  for (const std::string& content : {std::string("first version"), big, std::string()}) {
    ASSERT_EQ(writeFileAtomically(target, content), std::nullopt);
    EXPECT_EQ(contentOf(target), content);
    EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"doc.json"});
  }
}

TEST(AtomicFile, KeepsThePermissionsOfTheFileItReplaces) {
  testing::TempDir dir;
  const fs::path target = dir.path() / "doc.json";
  ASSERT_EQ(writeFileAtomically(target, "old"), std::nullopt);
  EXPECT_EQ(fs::status(target).permissions(), fs::perms::owner_read | fs::perms::owner_write);
  fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);

  ASSERT_EQ(writeFileAtomically(target, "new"), std::nullopt);
  EXPECT_EQ(fs::status(target).permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST(AtomicFile, FailureIsDescribedAndCleansUp) {
  testing::TempDir dir;
  fs::create_directories(dir.path() / "taken" / "inside");

  struct Case {
    const char* name;
    fs::path target;
    const char* expectedError;
  };
  const std::vector<Case> cases{
      {"missing folder", dir.path() / "absent" / "doc.json", "No such file or directory"},
      {"target is a folder", dir.path() / "taken", "Is a directory"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::optional<std::string> error = writeFileAtomically(c.target, "content");
    ASSERT_TRUE(error.has_value());
    EXPECT_NE(error->find(c.expectedError), std::string::npos) << *error;
    EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"taken"});
    EXPECT_TRUE(fs::is_directory(dir.path() / "taken" / "inside"));
  }
}

TEST(AtomicFile, ReadWholeFileReportsWhatItCannotRead) {
  testing::TempDir dir;
  std::string out = "stale";
  EXPECT_TRUE(readWholeFile(dir.path() / "absent", out).has_value());
  EXPECT_TRUE(readWholeFile(dir.path(), out).has_value());
  EXPECT_EQ(out, "");
}

}  // namespace
}  // namespace hopster
