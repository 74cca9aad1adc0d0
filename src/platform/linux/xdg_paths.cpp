#include "platform/linux/xdg_paths.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>

namespace hopster {

namespace {

std::optional<std::filesystem::path> absoluteFromEnvironment(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr) return std::nullopt;
  std::filesystem::path path(value);
  if (!path.is_absolute()) return std::nullopt;
  return path;
}

// $HOME, or the home folder in the user database when $HOME is unset or not
// absolute (as for some services); the current folder as a last resort.
std::filesystem::path home() {
  if (auto path = absoluteFromEnvironment("HOME")) return *path;
  if (const passwd* entry = ::getpwuid(::getuid());
      entry != nullptr && entry->pw_dir != nullptr && entry->pw_dir[0] == '/') {
    return entry->pw_dir;
  }
  return ".";
}

}  // namespace

std::filesystem::path configHome() {
  if (auto path = absoluteFromEnvironment("XDG_CONFIG_HOME")) return *path;
  return home() / ".config";
}

std::filesystem::path dataHome() {
  if (auto path = absoluteFromEnvironment("XDG_DATA_HOME")) return *path;
  return home() / ".local" / "share";
}

std::filesystem::path hopsterConfigDir() { return configHome() / "hopster"; }

std::filesystem::path hopsterDataDir() { return dataHome() / "hopster"; }

std::filesystem::path cacheHome() {
  if (auto path = absoluteFromEnvironment("XDG_CACHE_HOME")) return *path;
  return home() / ".cache";
}

std::filesystem::path hopsterCacheDir() { return cacheHome() / "hopster"; }

std::filesystem::path hopsterSettingsFile() { return hopsterConfigDir() / "settings.json"; }

DataLocations DataLocations::forUser() {
  return DataLocations{hopsterDataDir() / "Documents", hopsterSettingsFile(), hopsterCacheDir()};
}

}  // namespace hopster
