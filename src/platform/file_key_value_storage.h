#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/clock.h"
#include "platform/key_value_store.h"

namespace hopster {

// Keeps the store's document in one file, replaced atomically on each save.
class FileKeyValueStorage final : public KeyValueStorage {
 public:
  // The settings file in the user's configuration folder.
  [[nodiscard]] static std::filesystem::path defaultLocation();

  explicit FileKeyValueStorage(std::filesystem::path file);
  // `clock` dates the names of set-aside files; it must outlive the storage.
  FileKeyValueStorage(std::filesystem::path file, const Clock& clock);
  FileKeyValueStorage(const FileKeyValueStorage&) = delete;
  FileKeyValueStorage& operator=(const FileKeyValueStorage&) = delete;

  // Nothing when the file does not exist; throws when it exists but cannot
  // be read (no permission, a folder), so it is set aside rather than overwritten.
  [[nodiscard]] std::optional<std::string> load() override;
  // Writes the file atomically, creating its folder when missing.
  [[nodiscard]] std::optional<std::string> save(std::string_view document) override;
  // Renames the file to "<name>.corrupt-<UTC time>" in its folder (with a
  // counter when that name is taken) and returns the new path.
  [[nodiscard]] std::string setAside() override;

  [[nodiscard]] const std::filesystem::path& file() const { return file_; }

 private:
  std::filesystem::path file_;
  SystemClock systemClock_;
  const Clock& clock_;
};

}  // namespace hopster
