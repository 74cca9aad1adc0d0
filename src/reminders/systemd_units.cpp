#include "reminders/systemd_units.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <filesystem>
#include <set>

namespace hopster {

namespace {

// "2026-12-08 00:56:45 UTC", the form OnCalendar= reads as one point in time.
std::string calendarPoint(std::int64_t seconds) {
  const std::time_t time = static_cast<std::time_t>(seconds);
  std::tm utc{};
  ::gmtime_r(&time, &utc);
  char text[64] = "";
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &utc);
  return text;
}

// A path as systemd reads it where specifiers are expanded: "%" doubled.
std::string withoutSpecifiers(const std::string& path) {
  std::string escaped;
  for (const char c : path) {
    if (c == '%') escaped += '%';
    escaped += c;
  }
  return escaped;
}

// The program as the first word of ExecStart=: quoted for its spaces, with
// specifiers' "%" doubled. systemd expands no variables in the program name.
std::string execWord(const std::string& path) { return '"' + withoutSpecifiers(path) + '"'; }

// What systemd refuses in a program name: quotes, backslashes and control
// characters.
bool runnableByUnit(const std::string& path) {
  if (!std::filesystem::path(path).is_absolute()) return false;
  return std::none_of(path.begin(), path.end(), [](const char c) {
    const auto byte = static_cast<unsigned char>(c);
    return c == '"' || c == '\'' || c == '\\' || byte < 0x20 || byte == 0x7f;
  });
}

}  // namespace

std::string reminderTimerUnit(const std::vector<double>& dueTimes) {
  // Whole seconds, each once: a timer that fires a moment late finds the
  // reminder due, one that fires early would find nothing to show.
  std::set<std::int64_t> points;
  for (const double due : dueTimes) {
    if (std::isfinite(due) && due > 0 && due < 253402300799.0) {  // before the year 10000
      points.insert(static_cast<std::int64_t>(std::ceil(due)));
    }
  }
  std::string text =
      "[Unit]\n"
      "Description=Hopster's daily reminders\n"
      "\n"
      "[Timer]\n";
  for (const std::int64_t point : points) text += "OnCalendar=" + calendarPoint(point) + "\n";
  text += std::string("AccuracySec=1s\n") +
          "Persistent=true\n"
          "Unit=" +
          kReminderServiceName +
          "\n"
          "\n"
          "[Install]\n"
          "WantedBy=timers.target\n";
  return text;
}

std::optional<std::string> reminderServiceUnit(const std::string& executable) {
  if (!runnableByUnit(executable)) return std::nullopt;
  return "[Unit]\n"
         "Description=Show Hopster's reminders that are due\n"
         "ConditionFileIsExecutable=" +
         withoutSpecifiers(executable) +
         "\n"
         "\n"
         "[Service]\n"
         "Type=oneshot\n"
         "ExecStart=" +
         execWord(executable) + " --deliver-due-reminders\n";
}

}  // namespace hopster
