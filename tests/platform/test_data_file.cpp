// Reading data files: what is refused, and the kind of failure a caller can
// branch on.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <system_error>

#include "platform/linux/data_file.h"
#include "platform/settings_files.h"
#include "support/temp_dir.h"

namespace hopster {
namespace {

TEST(DataFile, EachRefusalHasItsKindAndAReadableReason) {
  testing::TempDir dir;
  const fs::path file = dir.path() / "doc.json";
  writeFile(file, std::string(100, 'x'));
  const fs::path fifo = dir.path() / "fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  fs::create_symlink("nowhere", dir.path() / "dangling");
  struct Case {
    fs::path path;
    std::size_t maxBytes;
    FailureKind kind;
    std::string message;
  };
  const Case cases[] = {
      {dir.path() / "missing.json", 1000, FailureKind::notFound, "No such file or directory"},
      {dir.path() / "dangling", 1000, FailureKind::notFound, "No such file or directory"},
      {dir.path() / "doc.json" / "below", 1000, FailureKind::notFound, "Not a directory"},
      {fifo, 1000, FailureKind::notRegularFile, "not a regular file (a FIFO)"},
      {dir.path(), 1000, FailureKind::notRegularFile, "not a regular file (a folder)"},
      {"/dev/null", 1000, FailureKind::notRegularFile, "not a regular file (a character device)"},
      {file, 99, FailureKind::tooLarge, "larger than 99 bytes"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path.string());
    const auto read = readDataFile(c.path, c.maxBytes);
    ASSERT_FALSE(read);
    EXPECT_EQ(read.error(), (Failure{c.kind, c.message}));
  }
  const auto whole = readDataFile(file, 100);
  ASSERT_TRUE(whole);
  EXPECT_EQ(*whole, std::string(100, 'x'));
}

TEST(DataFile, ErrnoValuesMapToTheKindsCallersBranchOn) {
  EXPECT_EQ(Failure::ofErrno(ENOSPC), (Failure{FailureKind::noSpace, "No space left on device"}));
  EXPECT_EQ(Failure::ofErrno(EDQUOT).kind, FailureKind::noSpace);
  EXPECT_EQ(Failure::ofErrno(EACCES).kind, FailureKind::permission);
  EXPECT_EQ(Failure::ofErrno(EROFS).kind, FailureKind::permission);
  EXPECT_EQ(Failure::ofErrno(ENOENT).kind, FailureKind::notFound);
  EXPECT_EQ(Failure::ofErrno(EIO), (Failure{FailureKind::other, "Input/output error"}));
  // The standard library's error codes map alike; a context leads the text.
  EXPECT_EQ(Failure::ofErrorCode(std::make_error_code(std::errc::read_only_file_system), "At /a"),
            (Failure{FailureKind::permission, "At /a: Read-only file system"}));
  EXPECT_EQ(Failure::ofErrorCode(std::make_error_code(std::io_errc::stream)).kind,
            FailureKind::other);
}

}  // namespace
}  // namespace hopster
