#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/clock.h"
#include "platform/key_value_store.h"
#include "platform/linux/system_clock.h"

namespace hopster {

// Keeps the store's document in one file, replaced atomically on each save.
// Writers take turns through an advisory lock (flock) on "<name>.lock" beside
// it, created when missing and never removed: removing it while another
// process waits on it would let a third lock a new file at the same time.
class FileKeyValueStorage final : public KeyValueStorage {
 public:
  // Larger files are refused like unreadable ones: no settings or schedule
  // comes near this, and a reader must not try to hold whatever a link points at.
  static constexpr std::size_t kMaxBytes = std::size_t{4} << 20;

  // The settings file in the user's configuration folder.
  [[nodiscard]] static std::filesystem::path defaultLocation();

  explicit FileKeyValueStorage(std::filesystem::path file);
  // `clock` dates the names of set-aside files; it must outlive the storage.
  FileKeyValueStorage(std::filesystem::path file, const Clock& clock);
  // A storage that only reads `file`: it creates, locks, sets aside and saves
  // nothing (saves return an error, setting aside throws), taking a shared
  // lock only when the lock file already exists. For commands that show the
  // user's data, which must not change it.
  [[nodiscard]] static std::unique_ptr<FileKeyValueStorage> forReading(std::filesystem::path file);
  FileKeyValueStorage(const FileKeyValueStorage&) = delete;
  FileKeyValueStorage& operator=(const FileKeyValueStorage&) = delete;

  // Nothing when the file does not exist; fails when it exists but cannot
  // be read (no permission, larger than kMaxBytes, anything but a regular
  // file: a folder, a FIFO, a device), so it is set aside rather than
  // overwritten. Never blocks on a FIFO.
  [[nodiscard]] Outcome<std::optional<std::string>> load() override;
  // Writes the file atomically, creating its folder when missing.
  [[nodiscard]] Status save(std::string_view document,
                            const BeforeReplace& beforeReplace = {}) override;
  // Renames the file to "<name>.corrupt-<UTC time>" in its folder (with a
  // counter when that name is taken) and returns the new path. Behind a
  // symbolic link, the file the link leads to is renamed, and the link kept.
  [[nodiscard]] std::string setAside() override;
  // Writes `document` to a new file named as setAside() would name it,
  // readable by its owner only, and returns its path.
  [[nodiscard]] std::string keepCopy(std::string_view document) override;
  // Holds flock(LOCK_EX) on the lock file while `work` runs, creating the
  // folder and the lock file (owner-only) when missing.
  [[nodiscard]] Status whileLocked(const std::function<void()>& work) override;

  [[nodiscard]] const std::filesystem::path& file() const { return file_; }
  [[nodiscard]] std::filesystem::path lockFile() const;

 private:
  [[nodiscard]] Status ensureFolder() const;
  // Tries the free names for a file kept aside until `place` succeeds or
  // fails with an error other than EEXIST; returns the name it used.
  // The names are those of `beside` with the ending, in its folder.
  std::filesystem::path placeAside(const std::filesystem::path& beside,
                                   const std::function<int(const std::filesystem::path&)>& place,
                                   std::string_view what);

  [[nodiscard]] Status readWithoutLocking(const std::function<void()>& work);

  std::filesystem::path file_;
  bool readOnly_ = false;
  SystemClock systemClock_;
  const Clock& clock_;
};

}  // namespace hopster
