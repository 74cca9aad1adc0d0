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
// Where Hopster keeps its records: dataHome()/hopster.
[[nodiscard]] std::filesystem::path hopsterDataDir();
// $XDG_CACHE_HOME, else $HOME/.cache.
[[nodiscard]] std::filesystem::path cacheHome();
// Where Hopster keeps files it can rebuild from its data: cacheHome()/hopster.
[[nodiscard]] std::filesystem::path hopsterCacheDir();

}  // namespace hopster
