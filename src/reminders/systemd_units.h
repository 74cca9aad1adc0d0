#pragma once

#include <optional>
#include <string>
#include <vector>

namespace hopster {

// The user units that run "hopster --deliver-due-reminders" when a reminder
// falls due while the app is closed.
inline constexpr const char* kReminderTimerName = "hopster-reminders.timer";
inline constexpr const char* kReminderServiceName = "hopster-reminders.service";

// The timer: one OnCalendar= line per due time (wall-clock seconds, rounded up
// to the next whole second, in UTC), Persistent=true so that one due while
// the machine was off fires once at the next start, and installed into
// timers.target so that it is active in every session.
[[nodiscard]] std::string reminderTimerUnit(const std::vector<double>& dueTimes);

// The service the timer starts: one run of `executable --deliver-due-reminders`,
// skipped when the program is gone or no longer executable. Nothing when
// systemd cannot run that path (relative, or holding a quote, a backslash or
// a control character).
[[nodiscard]] std::optional<std::string> reminderServiceUnit(const std::string& executable);

}  // namespace hopster
