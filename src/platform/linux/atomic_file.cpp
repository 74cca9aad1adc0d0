#include "platform/linux/atomic_file.h"

#include <fcntl.h>
#include <limits.h>
#include <linux/magic.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <memory>
#include <system_error>

#include "platform/linux/posix_io.h"

namespace hopster {

namespace {

// How many links a path may pass through, as the kernel allows.
constexpr int kMaxLinks = 40;

// The failure of errno `error`, read as "<what> <path>: <the system's text>".
Failure describe(std::string_view what, const std::filesystem::path& path, int error) {
  return Failure::ofErrno(error, std::string(what) + ' ' + path.string());
}

int syncFile(int fd) {
  while (::fsync(fd) != 0) {
    if (errno != EINTR) return errno;
  }
  return 0;
}

std::filesystem::path folderOf(const std::filesystem::path& path) {
  std::filesystem::path folder = path.parent_path();
  return folder.empty() ? "." : folder;
}

bool onProcFileSystem(const std::filesystem::path& folder) {
  struct statfs info {};
  return ::statfs(folder.c_str(), &info) == 0 && info.f_type == PROC_SUPER_MAGIC;
}

// The text of the link at `path`, or the error.
int readLink(const std::filesystem::path& path, std::string& text) {
  text.resize(256);
  for (;;) {
    const ssize_t length = ::readlink(path.c_str(), text.data(), text.size());
    if (length < 0) return errno;
    if (static_cast<std::size_t>(length) < text.size()) {
      text.resize(static_cast<std::size_t>(length));
      return 0;
    }
    text.resize(text.size() * 2);
  }
}

// The descriptor that `link`, one of /proc's descriptor links, names when it
// lists this process's own descriptors; otherwise -1.
int ownDescriptorBehind(const std::filesystem::path& link) {
  const std::unique_ptr<char, decltype(&::free)> folder(::realpath(folderOf(link).c_str(), nullptr),
                                                        &::free);
  if (!folder) return -1;
  const std::string_view listing = folder.get();
  const std::string process = "/proc/" + std::to_string(::getpid()) + "/";
  const bool own =
      listing.starts_with(process) && listing.ends_with("/fd") &&
      (listing.size() == process.size() + 2 || listing.substr(process.size()).starts_with("task/"));
  if (!own) return -1;
  const std::string name = link.filename().string();
  int fd = -1;
  const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), fd);
  if (error != std::errc() || end != name.data() + name.size()) return -1;
  return ::fcntl(fd, F_GETFD) == -1 ? -1 : fd;
}

Status writePieces(int fd, const std::filesystem::path& path,
                   std::span<const std::string_view> pieces) {
  for (const std::string_view bytes : pieces) {
    if (const int error = writeAll(fd, bytes); error != 0) {
      return describe("Could not write", path, error);
    }
  }
  return std::nullopt;
}

// Writes into what is at `destination` as it stands: no file is created,
// renamed or truncated beside it.
Status writeInPlace(const WriteDestination& destination, std::span<const std::string_view> pieces,
                    const FileWriteOptions& options) {
  if (options.beforeReplace) {
    if (auto refused = options.beforeReplace({})) return refused;
  }
  const bool owned = destination.ownDescriptor < 0;
  UniqueFd opened(owned ? ::open(destination.path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY) : -1);
  const int fd = owned ? opened.get() : destination.ownDescriptor;
  if (fd < 0) return describe("Could not open", destination.path, errno);
  struct stat info {};
  const bool regular = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
  Status error;
  // A regular file reached through another process's descriptor link gets
  // the new content alone, as a replaced file would.
  if (owned && regular && ::ftruncate(fd, 0) != 0) {
    error = describe("Could not truncate", destination.path, errno);
  }
  if (!error) error = writePieces(fd, destination.path, pieces);
  if (!error && regular) {
    if (const int failed = syncFile(fd); failed != 0 && failed != EINVAL) {
      error = describe("Could not flush", destination.path, failed);
    }
  }
  if (const int closed = opened.close(); closed != 0 && !error) {
    error = describe("Could not close", destination.path, closed);
  }
  return error;
}

Status replaceAtomically(const std::filesystem::path& target,
                         std::span<const std::string_view> pieces,
                         const FileWriteOptions& options) {
  const std::filesystem::path folder = folderOf(target);
  std::string temporary = (folder / ("." + target.filename().string() + ".XXXXXX.tmp")).string();
  constexpr int kSuffixLength = 4;  // ".tmp"

  UniqueFd fd(::mkostemps(temporary.data(), kSuffixLength, O_CLOEXEC));
  if (!fd) return describe("Could not create a temporary file in", folder, errno);
  const auto fail = [&temporary](std::string_view what, const std::filesystem::path& about,
                                 int error) -> Status {
    ::unlink(temporary.c_str());
    return describe(what, about, error);
  };
  const auto closeAndFail = [&fd, &temporary](Status error) {
    fd.reset();
    ::unlink(temporary.c_str());
    return error;
  };

  // mkostemps made the file readable by its owner only.
  std::optional<unsigned> mode = options.mode;
  struct stat existing {};
  if (!mode && ::stat(target.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) {
    mode = existing.st_mode & 07777;
  }
  if (mode && ::fchmod(fd.get(), static_cast<mode_t>(*mode)) != 0) {
    return closeAndFail(describe("Could not set the permissions of", temporary, errno));
  }
  if (auto error = writePieces(fd.get(), temporary, pieces)) return closeAndFail(error);
  if (const int error = syncFile(fd.get()); error != 0) {
    return closeAndFail(describe("Could not flush", temporary, error));
  }
  // After a failed close the descriptor is gone either way; it must not be retried.
  if (const int closed = fd.close(); closed != 0) return fail("Could not close", temporary, closed);
  if (options.beforeReplace) {
    Status refused;
    try {
      refused = options.beforeReplace(temporary);
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

}  // namespace

Status writeDestination(const std::filesystem::path& target, WriteDestination& out) {
  std::filesystem::path current = target;
  for (int hop = 0; hop <= kMaxLinks; ++hop) {
    struct stat own {};
    if (::lstat(current.c_str(), &own) != 0) {
      if (errno != ENOENT) return describe("Could not inspect", current, errno);
      out = {current, false, -1};  // missing: made anew
      return std::nullopt;
    }
    if (S_ISDIR(own.st_mode)) return describe("Could not write", current, EISDIR);
    if (S_ISREG(own.st_mode) || !S_ISLNK(own.st_mode)) {
      out = {current, !S_ISREG(own.st_mode), -1};
      return std::nullopt;
    }
    const std::filesystem::path folder = folderOf(current);
    if (onProcFileSystem(folder)) {
      // /proc's descriptor links name what they lead to ("pipe:[1234]"), not
      // a path to it: only opening the link itself reaches it.
      struct stat led {};
      if (::stat(current.c_str(), &led) != 0) return describe("Could not open", current, errno);
      if (S_ISDIR(led.st_mode)) return describe("Could not write", current, EISDIR);
      out = {current, true, ownDescriptorBehind(current)};
      return std::nullopt;
    }
    std::string text;
    if (const int error = readLink(current, text); error != 0) {
      return describe("Could not read the link", current, error);
    }
    const std::filesystem::path next(text);
    current = next.is_absolute() ? next : folder / next;
  }
  return describe("Could not follow", target, ELOOP);
}

Status writeFileAtomically(const std::filesystem::path& target, std::string_view bytes,
                           const FileWriteOptions& options) {
  return writeFileAtomically(target, std::span<const std::string_view>(&bytes, 1), options);
}

Status writeFileAtomically(const std::filesystem::path& target,
                           std::span<const std::string_view> pieces,
                           const FileWriteOptions& options) {
  WriteDestination destination;
  if (auto error = writeDestination(target, destination)) return error;
  if (destination.inPlace) return writeInPlace(destination, pieces, options);
  return replaceAtomically(destination.path, pieces, options);
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

Status syncFolder(const std::filesystem::path& folder) {
  const UniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fd) return describe("Could not open folder", folder, errno);
  const int error = syncFile(fd.get());
  if (error != 0 && error != EINVAL) return describe("Could not flush folder", folder, error);
  return std::nullopt;
}

}  // namespace hopster
