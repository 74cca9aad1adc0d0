#include "platform/file_key_value_storage.h"

#include <fcntl.h>
#include <stdio.h>

#include <cerrno>
#include <cmath>
#include <ctime>
#include <stdexcept>
#include <system_error>

#include "platform/atomic_file.h"
#include "platform/xdg_paths.h"

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

}  // namespace

std::filesystem::path FileKeyValueStorage::defaultLocation() {
  return hopsterConfigDir() / "settings.json";
}

FileKeyValueStorage::FileKeyValueStorage(std::filesystem::path file)
    : file_(std::move(file)), clock_(systemClock_) {}

FileKeyValueStorage::FileKeyValueStorage(std::filesystem::path file, const Clock& clock)
    : file_(std::move(file)), clock_(clock) {}

std::optional<std::string> FileKeyValueStorage::load() {
  std::error_code error;
  const auto status = std::filesystem::symlink_status(file_, error);
  if (status.type() == std::filesystem::file_type::not_found) return std::nullopt;
  if (error)
    throw std::runtime_error("Could not inspect " + file_.string() + ": " + error.message());
  std::string content;
  if (auto failure = readWholeFile(file_, content)) throw std::runtime_error(*failure);
  return content;
}

std::optional<std::string> FileKeyValueStorage::save(std::string_view document) {
  std::error_code error;
  const std::filesystem::path folder = file_.parent_path();
  if (!folder.empty() && !std::filesystem::is_directory(folder, error)) {
    std::filesystem::create_directories(folder, error);
    if (error) return "Could not create folder " + folder.string() + ": " + error.message();
  }
  return writeFileAtomically(file_, document);
}

std::string FileKeyValueStorage::setAside() {
  const std::string stem = file_.filename().string() + ".corrupt-" + compactUtc(clock_.now());
  constexpr int kMaxAttempts = 1000;
  for (int attempt = 1; attempt <= kMaxAttempts; ++attempt) {
    const std::string suffix = attempt == 1 ? "" : "-" + std::to_string(attempt);
    const std::filesystem::path aside = file_.parent_path() / (stem + suffix);
    const int error = renameWithoutReplacing(file_, aside);
    if (error == 0) return aside.string();
    if (error != EEXIST) {
      throw std::system_error(error, std::generic_category(),
                              "Could not rename " + file_.string() + " to " + aside.string());
    }
  }
  throw std::runtime_error("Could not find a free name to move " + file_.string() + " to");
}

}  // namespace hopster
