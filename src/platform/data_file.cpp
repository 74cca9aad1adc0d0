#include "platform/data_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace hopster {
namespace {

std::string errorText(int error) { return std::generic_category().message(error); }

}  // namespace

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

int openDataFile(const std::filesystem::path& path, std::string& error) {
  // O_NONBLOCK keeps the open of a FIFO from waiting for a writer; it has no
  // effect on the reads of a regular file, which is all that gets through.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    error = errorText(errno);
    return -1;
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    error = errorText(errno);
    ::close(fd);
    return -1;
  }
  if (!S_ISREG(info.st_mode)) {
    error = "not a regular file (" + fileKindName(info.st_mode) + ")";
    ::close(fd);
    return -1;
  }
  return fd;
}

std::optional<std::string> readDataFile(const std::filesystem::path& path, std::size_t maxBytes,
                                        std::string& out) {
  out.clear();
  std::string error;
  const int fd = openDataFile(path, error);
  if (fd < 0) return error;
  struct stat info {};
  if (::fstat(fd, &info) == 0 && static_cast<std::size_t>(info.st_size) > maxBytes) {
    ::close(fd);
    return "larger than " + std::to_string(maxBytes) + " bytes";
  }
  std::string content;
  content.reserve(static_cast<std::size_t>(info.st_size));
  char buffer[65536];
  for (;;) {
    const ssize_t count = ::read(fd, buffer, sizeof buffer);
    if (count == 0) break;
    if (count < 0) {
      if (errno == EINTR) continue;
      const int failure = errno;
      ::close(fd);
      return errorText(failure);
    }
    content.append(buffer, static_cast<std::size_t>(count));
    // The file may grow while it is read; the cap holds all the same.
    if (content.size() > maxBytes) {
      ::close(fd);
      return "larger than " + std::to_string(maxBytes) + " bytes";
    }
  }
  ::close(fd);
  out = std::move(content);
  return std::nullopt;
}

}  // namespace hopster
