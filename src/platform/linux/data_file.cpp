#include "platform/linux/data_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "platform/linux/posix_io.h"

namespace hopster {

std::string fileKindName(unsigned mode) {
  switch (mode & S_IFMT) {
    case S_IFREG:
      return "a regular file";
    case S_IFIFO:
      return "a FIFO";
    case S_IFDIR:
      return "a folder";
    case S_IFSOCK:
      return "a socket";
    case S_IFCHR:
      return "a character device";
    case S_IFBLK:
      return "a block device";
    default:
      return "a special file";
  }
}

Failure tooLargeFailure(std::size_t maxBytes) {
  return {FailureKind::tooLarge, "larger than " + std::to_string(maxBytes) + " bytes"};
}

Outcome<UniqueFd> openDataFile(const std::filesystem::path& path) {
  // O_NONBLOCK keeps the open of a FIFO from waiting for a writer; it has no
  // effect on the reads of a regular file, which is all that gets through.
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (!fd) return Failure::ofErrno(errno);
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) return Failure::ofErrno(errno);
  if (!S_ISREG(info.st_mode)) {
    return Failure{FailureKind::notRegularFile,
                   "not a regular file (" + fileKindName(info.st_mode) + ")"};
  }
  return fd;
}

Outcome<std::string> readDataFile(const std::filesystem::path& path, std::size_t maxBytes) {
  auto opened = openDataFile(path);
  if (!opened) return std::move(opened).error();
  const UniqueFd fd = std::move(opened).value();
  struct stat info {};
  if (::fstat(fd.get(), &info) == 0 && static_cast<std::size_t>(info.st_size) > maxBytes) {
    return tooLargeFailure(maxBytes);
  }
  std::string content;
  content.reserve(static_cast<std::size_t>(info.st_size));
  char buffer[65536];
  for (;;) {
    const ssize_t count = ::read(fd.get(), buffer, sizeof buffer);
    if (count == 0) break;
    if (count < 0) {
      if (errno == EINTR) continue;
      return Failure::ofErrno(errno);
    }
    content.append(buffer, static_cast<std::size_t>(count));
    // The file may grow while it is read; the cap holds all the same.
    if (content.size() > maxBytes) return tooLargeFailure(maxBytes);
  }
  return content;
}

}  // namespace hopster
