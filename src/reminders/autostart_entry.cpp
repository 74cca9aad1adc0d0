#include "reminders/autostart_entry.h"

#include <string_view>
#include <system_error>

#include "platform/linux/atomic_file.h"
#include "platform/linux/xdg_paths.h"

namespace hopster {

namespace {

constexpr std::string_view kReserved = " \t\n\"'\\><~|&;$*?#()`";

// A desktop-entry string value: backslashes and control characters escaped.
std::string escapeValue(std::string_view value) {
  std::string escaped;
  for (const char c : value) {
    switch (c) {
      case '\\':
        escaped += "\\\\";
        break;
      case '\n':
        escaped += "\\n";
        break;
      case '\t':
        escaped += "\\t";
        break;
      case '\r':
        escaped += "\\r";
        break;
      default:
        escaped += c;
    }
  }
  return escaped;
}

// One argument of an Exec line: field-code percent signs doubled, quoted when
// it holds a reserved character, then escaped as a desktop-entry string value
// (readers undo these steps in the opposite order).
std::string execArgument(std::string_view argument) {
  std::string quoted;
  const bool needsQuotes = argument.find_first_of(kReserved) != std::string_view::npos;
  if (needsQuotes) quoted += '"';
  for (const char c : argument) {
    if (c == '%') quoted += '%';
    if (needsQuotes && std::string_view("\"`$\\").find(c) != std::string_view::npos) quoted += '\\';
    quoted += c;
  }
  if (needsQuotes) quoted += '"';
  return escapeValue(quoted);
}

}  // namespace

std::filesystem::path defaultAutostartDir() { return configHome() / "autostart"; }

Status installAutostartEntry(const std::filesystem::path& autostartDir,
                             const std::string& executablePath) {
  if (!std::filesystem::path(executablePath).is_absolute()) {
    return Failure{FailureKind::other, "The program path is not absolute: " + executablePath};
  }
  if (executablePath.find('=') != std::string::npos) {
    return Failure{
        FailureKind::other,
        "The program path holds \"=\", which an autostart entry cannot run: " + executablePath};
  }
  std::error_code error;
  std::filesystem::create_directories(autostartDir, error);
  if (error) return Failure::ofErrorCode(error, "Could not create folder " + autostartDir.string());
  const std::string text =
      "[Desktop Entry]\n"
      "Type=Application\n"
      "Name=Hopster reminders\n"
      "TryExec=" +
      escapeValue(executablePath) +
      "\n"
      "Exec=" +
      execArgument(executablePath) +
      " --deliver-due-reminders\n"
      "NoDisplay=true\n"
      "X-GNOME-Autostart-enabled=true\n";
  return writeFileAtomically(autostartDir / kAutostartEntryName, text);
}

Status removeAutostartEntry(const std::filesystem::path& autostartDir) {
  const std::filesystem::path entry = autostartDir / kAutostartEntryName;
  std::error_code error;
  std::filesystem::remove(entry, error);
  if (error) return Failure::ofErrorCode(error, "Could not remove " + entry.string());
  return std::nullopt;
}

}  // namespace hopster
