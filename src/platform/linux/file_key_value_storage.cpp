#include "platform/linux/file_key_value_storage.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <ctime>
#include <stdexcept>
#include <system_error>

#include "platform/linux/atomic_file.h"
#include "platform/linux/data_file.h"
#include "platform/linux/posix_io.h"
#include "platform/linux/xdg_paths.h"

namespace hopster {

namespace {

// The instant as "YYYYMMDDTHHMMSSZ" in UTC.
std::string compactUtc(double secondsSinceEpoch) {
  const auto seconds = static_cast<std::time_t>(std::floor(secondsSinceEpoch));
  std::tm parts{};
  char text[32] = "00000000T000000Z";
  if (::gmtime_r(&seconds, &parts) != nullptr) {
    std::strftime(text, sizeof text, "%Y%m%dT%H%M%SZ", &parts);
  }
  return text;
}

// Renames without ever replacing an existing file. Returns 0 or the error.
int renameWithoutReplacing(const std::filesystem::path& from, const std::filesystem::path& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
  // The file system cannot refuse to replace: look first, then rename.
  std::error_code ignored;
  if (std::filesystem::exists(std::filesystem::symlink_status(to, ignored))) return EEXIST;
  return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

// Creates `path` (failing with EEXIST when anything is there) holding
// `bytes`, flushed to the disk. Returns 0 or the error, leaving no partial file.
int writeNewFile(const std::filesystem::path& path, std::string_view bytes) {
  UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
  if (!fd) return errno;
  int error = 0;
  while (!bytes.empty() && error == 0) {
    const ssize_t written = ::write(fd.get(), bytes.data(), bytes.size());
    if (written >= 0) {
      bytes.remove_prefix(static_cast<std::size_t>(written));
    } else if (errno != EINTR) {
      error = errno;
    }
  }
  if (error == 0 && ::fsync(fd.get()) != 0) error = errno;
  if (const int closed = fd.close(); error == 0) error = closed;
  if (error != 0) ::unlink(path.c_str());
  return error;
}

}  // namespace

std::filesystem::path FileKeyValueStorage::defaultLocation() { return hopsterSettingsFile(); }

FileKeyValueStorage::FileKeyValueStorage(std::filesystem::path file)
    : file_(std::move(file)), clock_(systemClock_) {}

FileKeyValueStorage::FileKeyValueStorage(std::filesystem::path file, const Clock& clock)
    : file_(std::move(file)), clock_(clock) {}

std::unique_ptr<FileKeyValueStorage> FileKeyValueStorage::forReading(std::filesystem::path file) {
  auto storage = std::make_unique<FileKeyValueStorage>(std::move(file));
  storage->readOnly_ = true;
  return storage;
}

namespace {

constexpr const char* kOnlyRead = "only read here; Hopster keeps it aside when it next starts";

}  // namespace

std::filesystem::path FileKeyValueStorage::lockFile() const {
  return file_.parent_path() / (file_.filename().string() + ".lock");
}

Outcome<std::optional<std::string>> FileKeyValueStorage::load() {
  std::error_code error;
  // A link to nothing yet is no document either: the first save makes the
  // file it names.
  const auto status = std::filesystem::status(file_, error);
  if (status.type() == std::filesystem::file_type::not_found) return std::optional<std::string>();
  if (error) return Failure::ofErrorCode(error, "Could not inspect " + file_.string());
  auto content = readDataFile(file_, kMaxBytes);
  if (!content) {
    Failure failure = std::move(content).error();
    failure.message = "Could not read " + file_.string() + ": " + failure.message;
    return failure;
  }
  return std::optional<std::string>(std::move(content).value());
}

Status FileKeyValueStorage::ensureFolder() const {
  std::error_code error;
  const std::filesystem::path folder = file_.parent_path();
  if (!folder.empty() && !std::filesystem::is_directory(folder, error)) {
    std::filesystem::create_directories(folder, error);
    if (error) return Failure::ofErrorCode(error, "Could not create folder " + folder.string());
  }
  return std::nullopt;
}

Status FileKeyValueStorage::save(std::string_view document, const BeforeReplace& beforeReplace) {
  if (readOnly_) return Failure{FailureKind::permission, file_.string() + " is only read here"};
  if (auto failure = ensureFolder()) return failure;
  return writeFileAtomically(file_, document,
                             {.beforeReplace = beforeReplace, .mode = std::nullopt});
}

Status FileKeyValueStorage::readWithoutLocking(const std::function<void()>& work) {
  UniqueFd lock;  // closed at the end of the scope, which releases the lock
  lock.reset(::open(lockFile().c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
  // No lock file: no writer has ever run, and a writer's rename is atomic.
  if (lock) {
    while (::flock(lock.get(), LOCK_SH) != 0 && errno == EINTR) {
    }
  }
  work();
  return std::nullopt;
}

Status FileKeyValueStorage::whileLocked(const std::function<void()>& work) {
  if (readOnly_) return readWithoutLocking(work);
  Status problem = ensureFolder();
  UniqueFd lock;  // closed at the end of the scope, which releases the lock
  if (!problem) {
    const std::filesystem::path path = lockFile();
    // Non-blocking open: a FIFO in the lock file's place must not hang us.
    lock.reset(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600));
    if (!lock) {
      problem = Failure::ofErrno(errno, "Could not open " + path.string());
    } else {
      int result = 0;
      while ((result = ::flock(lock.get(), LOCK_EX)) != 0 && errno == EINTR) {
      }
      if (result != 0) problem = Failure::ofErrno(errno, "Could not lock " + path.string());
    }
  }
  work();
  return problem;
}

std::filesystem::path FileKeyValueStorage::placeAside(
    const std::filesystem::path& beside,
    const std::function<int(const std::filesystem::path&)>& place, std::string_view what) {
  const std::string stem = beside.filename().string() + ".corrupt-" + compactUtc(clock_.now());
  constexpr int kMaxAttempts = 1000;
  for (int attempt = 1; attempt <= kMaxAttempts; ++attempt) {
    const std::string suffix = attempt == 1 ? "" : "-" + std::to_string(attempt);
    const std::filesystem::path aside = beside.parent_path() / (stem + suffix);
    const int error = place(aside);
    if (error == 0) return aside;
    if (error != EEXIST) {
      throw std::system_error(error, std::generic_category(),
                              "Could not " + std::string(what) + " " + aside.string());
    }
  }
  throw std::runtime_error("Could not find a free name to " + std::string(what) + " beside " +
                           beside.string());
}

std::string FileKeyValueStorage::setAside() {
  if (readOnly_) throw std::runtime_error(kOnlyRead);
  // Behind a link, the file it leads to is set aside in its own folder: the
  // link stays, and the next save makes its file anew through it.
  WriteDestination destination;
  const std::filesystem::path damaged =
      !writeDestination(file_, destination) && !destination.inPlace ? destination.path : file_;
  return placeAside(
             damaged,
             [&damaged](const std::filesystem::path& aside) {
               return renameWithoutReplacing(damaged, aside);
             },
             "rename " + damaged.string() + " to")
      .string();
}

std::string FileKeyValueStorage::keepCopy(std::string_view document) {
  if (readOnly_) throw std::runtime_error(kOnlyRead);
  return placeAside(
             file_,
             [document](const std::filesystem::path& aside) {
               return writeNewFile(aside, document);
             },
             "copy " + file_.string() + " to")
      .string();
}

}  // namespace hopster
