#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "platform/failure.h"

namespace hopster {

// The file name of the session autostart entry that delivers due reminders
// while the app is closed.
constexpr const char* kAutostartEntryName = "hopster-reminders.desktop";

// configHome()/autostart, where desktop sessions look for programs to start
// at login.
[[nodiscard]] std::filesystem::path defaultAutostartDir();

// Writes the entry atomically into `autostartDir`, creating the folder when
// missing: a hidden application that runs `executablePath
// --deliver-due-reminders` at login, the path quoted as desktop entries
// require when it holds spaces or other reserved characters. The path must be
// absolute and free of "=" (which desktop entries forbid there). Returns the
// failure.
[[nodiscard]] Status installAutostartEntry(const std::filesystem::path& autostartDir,
                                           const std::string& executablePath);

// Removes the entry, for when no reminder is pending. A missing entry is no
// error.
[[nodiscard]] Status removeAutostartEntry(const std::filesystem::path& autostartDir);

}  // namespace hopster
