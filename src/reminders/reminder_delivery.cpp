#include "reminders/reminder_delivery.h"

#include "platform/linux/file_key_value_storage.h"
#include "platform/linux/system_clock.h"
#include "reminders/dbus_notification_sink.h"
#include "reminders/desktop_notification_center.h"

namespace hopster {

namespace {

// Brings the trigger in line with the schedule, both under its lock.
bool syncUnderLock(ReminderSchedule& schedule, DeliveryTrigger& trigger, Log& log) {
  bool synced = false;
  const auto failure = schedule.update(
      [&](ReminderScheduleState& state) { synced = trigger.sync(dueTimes(state)); });
  if (failure) log.line("Failed to read the reminder schedule: " + failure->message);
  return synced && !failure;
}

}  // namespace

std::shared_ptr<Timer> startReminderDelivery(BackgroundReminders& reminders, Scheduler& scheduler,
                                             double everySeconds) {
  reminders.deliverDue();
  return scheduler.scheduleRepeating(everySeconds,
                                     [&reminders](Timer&) { reminders.deliverDue(); });
}

int deliverDueReminders(const std::filesystem::path& scheduleFile,
                        const DeliveryTriggerPlaces& places, Log& log) {
  const SystemClock clock;
  ReminderSchedule schedule(std::make_unique<FileKeyValueStorage>(scheduleFile, clock), log);
  DbusNotificationSink sink(places.busAddress);
  DesktopNotificationCenter center(schedule, sink, clock, log);
  center.deliverDue();
  DeliveryTrigger trigger(places, log);
  syncUnderLock(schedule, trigger, log);
  return schedule.blocked() ? 1 : 0;
}

int cancelReminders(const std::filesystem::path& scheduleFile, const DeliveryTriggerPlaces& places,
                    Log& log) {
  const SystemClock clock;
  ReminderSchedule schedule(std::make_unique<FileKeyValueStorage>(scheduleFile, clock), log);
  const auto failure =
      schedule.update([](ReminderScheduleState& state) { state.reminders.clear(); });
  if (failure) log.line("Failed to cancel the reminders: " + failure->message);
  DeliveryTrigger trigger(places, log);
  const bool removed = syncUnderLock(schedule, trigger, log);
  return !failure && removed ? 0 : 1;
}

}  // namespace hopster
