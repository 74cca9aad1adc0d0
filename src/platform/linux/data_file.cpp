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

UniqueFd openDataFile(const std::filesystem::path& path, std::string& error) {
  // O_NONBLOCK keeps the open of a FIFO from waiting for a writer; it has no
  // effect on the reads of a regular file, which is all that gets through.
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (!fd) {
    error = errorText(errno);
    return fd;
  }
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) {
    error = errorText(errno);
    return {};
  }
  if (!S_ISREG(info.st_mode)) {
    error = "not a regular file (" + fileKindName(info.st_mode) + ")";
    return {};
  }
  return fd;
}

std::optional<std::string> readDataFile(const std::filesystem::path& path, std::size_t maxBytes,
                                        std::string& out) {
  out.clear();
  std::string error;
  const UniqueFd fd = openDataFile(path, error);
  if (!fd) return error;
  const std::string tooLarge = "larger than " + std::to_string(maxBytes) + " bytes";
  struct stat info {};
  if (::fstat(fd.get(), &info) == 0 && static_cast<std::size_t>(info.st_size) > maxBytes) {
    return tooLarge;
  }
  std::string content;
  content.reserve(static_cast<std::size_t>(info.st_size));
  char buffer[65536];
  for (;;) {
    const ssize_t count = ::read(fd.get(), buffer, sizeof buffer);
    if (count == 0) break;
    if (count < 0) {
      if (errno == EINTR) continue;
      return errorText(errno);
    }
    content.append(buffer, static_cast<std::size_t>(count));
    // The file may grow while it is read; the cap holds all the same.
    if (content.size() > maxBytes) return tooLarge;
  }
  out = std::move(content);
  return std::nullopt;
}

}  // namespace hopster
