#include "platform/atomic_file.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace hopster {

namespace {

std::string describe(std::string_view what, const std::filesystem::path& path, int error) {
  std::string text(what);
  text += ' ';
  text += path.string();
  text += ": ";
  text += std::generic_category().message(error);
  return text;
}

int syncFile(int fd) {
  while (::fsync(fd) != 0) {
    if (errno != EINTR) return errno;
  }
  return 0;
}

}  // namespace

std::optional<std::string> writeFileAtomically(const std::filesystem::path& target,
                                               std::string_view bytes,
                                               const BeforeReplace& beforeReplace) {
  return writeFileAtomically(target, std::span<const std::string_view>(&bytes, 1), beforeReplace);
}

std::optional<std::string> writeFileAtomically(const std::filesystem::path& target,
                                               std::span<const std::string_view> pieces,
                                               const BeforeReplace& beforeReplace) {
  std::filesystem::path folder = target.parent_path();
  if (folder.empty()) folder = ".";
  std::string temporary = (folder / ("." + target.filename().string() + ".XXXXXX.tmp")).string();
  constexpr int kSuffixLength = 4;  // ".tmp"

  const int fd = ::mkostemps(temporary.data(), kSuffixLength, O_CLOEXEC);
  if (fd < 0) return describe("Could not create a temporary file in", folder, errno);
  const auto fail = [&temporary](std::string_view what, const std::filesystem::path& about,
                                 int error) -> std::optional<std::string> {
    ::unlink(temporary.c_str());
    return describe(what, about, error);
  };
  const auto closeAndFail = [fd, &fail, &temporary](std::string_view what, int error) {
    ::close(fd);
    return fail(what, temporary, error);
  };

  struct stat existing {};
  if (::stat(target.c_str(), &existing) == 0 && S_ISREG(existing.st_mode) &&
      ::fchmod(fd, existing.st_mode & 07777) != 0) {
    return closeAndFail("Could not set the permissions of", errno);
  }
  for (const std::string_view bytes : pieces) {
    if (const int error = writeAll(fd, bytes); error != 0)
      return closeAndFail("Could not write", error);
  }
  if (const int error = syncFile(fd); error != 0) return closeAndFail("Could not flush", error);
  // After a failed close the descriptor is gone either way; it must not be retried.
  if (::close(fd) != 0) return fail("Could not close", temporary, errno);
  if (beforeReplace) {
    std::optional<std::string> refused;
    try {
      refused = beforeReplace(temporary);
    } catch (...) {
      ::unlink(temporary.c_str());
      throw;
    }
    if (refused) {
      ::unlink(temporary.c_str());
      return refused;
    }
  }
  if (::rename(temporary.c_str(), target.c_str()) != 0) {
    return fail("Could not replace", target, errno);
  }
  return syncFolder(folder);
}

int writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return 0;
}

std::optional<std::string> syncFolder(const std::filesystem::path& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return describe("Could not open folder", folder, errno);
  const int error = syncFile(fd);
  ::close(fd);
  if (error != 0 && error != EINVAL) return describe("Could not flush folder", folder, error);
  return std::nullopt;
}

}  // namespace hopster
