#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "platform/log.h"
#include "platform/scheduler.h"
#include "reminders/desktop_notification_center.h"

namespace hopster {

// How often the running app looks for reminders that have fallen due.
constexpr double kReminderCheckSeconds = 300.0;

// Shows the reminders due now, then checks again every `everySeconds` for as
// long as the returned timer is valid; invalidate it before `center` goes.
// Each check compares due times with the wall clock, so reminders a month
// ahead need no month-long timer, and a check after a suspend catches up.
[[nodiscard]] std::shared_ptr<Timer> startReminderDelivery(
    DesktopNotificationCenter& center, Scheduler& scheduler,
    double everySeconds = kReminderCheckSeconds);

// The "--deliver-due-reminders" run, started by the session's autostart while
// the app is closed: opens the schedule at `scheduleFile`, shows what is due on
// the session bus at `busAddress` (empty: the user's own) and returns the exit
// code: 0, or 1 when the schedule could not be used. Problems go to `log`.
int deliverDueReminders(const std::filesystem::path& scheduleFile, Log& log,
                        const std::string& busAddress = "");

}  // namespace hopster
