#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "platform/log.h"
#include "platform/scheduler.h"
#include "reminders/background_reminders.h"
#include "reminders/delivery_trigger.h"

namespace hopster {

// How often the running app looks for reminders that have fallen due.
constexpr double kReminderCheckSeconds = 300.0;

// Queues a check for due reminders now, then every `everySeconds` for as long
// as the returned timer is valid; invalidate it before `reminders` goes. Each
// check compares due times with the wall clock, so reminders a month ahead
// need no month-long timer, and a check after a suspend catches up. The checks
// run on the reminders' worker, never blocking the scheduler's thread.
[[nodiscard]] std::shared_ptr<Timer> startReminderDelivery(
    BackgroundReminders& reminders, Scheduler& scheduler,
    double everySeconds = kReminderCheckSeconds);

// The "--deliver-due-reminders" run, started by the user timer or the login
// entry while the app is closed: opens the schedule at `scheduleFile`, shows
// what is due on the session bus `places` name, then brings the timer or
// login entry in line with what is left (removing it after the last one).
// Returns the exit code: 0, or 1 when the schedule could not be used.
int deliverDueReminders(const std::filesystem::path& scheduleFile,
                        const DeliveryTriggerPlaces& places, Log& log);

// The "--cancel-reminders" run: removes every pending reminder from the
// schedule (the remembered permission stays) and the timer or login entry.
// Returns the exit code: 0, or 1 when something could not be removed.
int cancelReminders(const std::filesystem::path& scheduleFile, const DeliveryTriggerPlaces& places,
                    Log& log);

}  // namespace hopster
