#pragma once

#include <filesystem>

namespace hopster {

// The user's folders for settings and data, after the XDG base directory
// rules: the environment variable when it holds an absolute path (relative
// values are ignored, as the rules require), else the default under $HOME.

// $XDG_CONFIG_HOME, else $HOME/.config.
[[nodiscard]] std::filesystem::path configHome();
// $XDG_DATA_HOME, else $HOME/.local/share.
[[nodiscard]] std::filesystem::path dataHome();
// Where Hopster keeps its settings: configHome()/hopster.
[[nodiscard]] std::filesystem::path hopsterConfigDir();

// The settings file: "settings.json" in hopsterConfigDir().
[[nodiscard]] std::filesystem::path hopsterSettingsFile();
// Where Hopster keeps its records: dataHome()/hopster.
[[nodiscard]] std::filesystem::path hopsterDataDir();
// $XDG_CACHE_HOME, else $HOME/.cache.
[[nodiscard]] std::filesystem::path cacheHome();
// Where Hopster keeps files it can rebuild from its data: cacheHome()/hopster.
[[nodiscard]] std::filesystem::path hopsterCacheDir();

// Where Hopster keeps the user's data.
struct DataLocations {
  std::filesystem::path documents;     // record files
  std::filesystem::path settingsFile;  // the key-value store
  // Where the record summaries are cached; none (every listing reads the
  // files) when empty.
  std::filesystem::path summaryCache;
  // The user's folders, after $XDG_DATA_HOME, $XDG_CONFIG_HOME and
  // $XDG_CACHE_HOME.
  [[nodiscard]] static DataLocations forUser();
};

}  // namespace hopster
