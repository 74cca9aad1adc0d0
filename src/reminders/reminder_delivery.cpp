#include "reminders/reminder_delivery.h"

#include "platform/clock.h"
#include "platform/file_key_value_storage.h"
#include "reminders/dbus_notification_sink.h"

namespace hopster {

std::shared_ptr<Timer> startReminderDelivery(DesktopNotificationCenter& center,
                                             Scheduler& scheduler, double everySeconds) {
  center.deliverDue();
  return scheduler.scheduleRepeating(everySeconds, [&center](Timer&) { center.deliverDue(); });
}

int deliverDueReminders(const std::filesystem::path& scheduleFile, Log& log,
                        const std::string& busAddress) {
  const SystemClock clock;
  ReminderSchedule schedule(std::make_unique<FileKeyValueStorage>(scheduleFile, clock), log);
  DbusNotificationSink sink(busAddress);
  DesktopNotificationCenter center(schedule, sink, clock, log);
  center.deliverDue();
  return schedule.blocked() ? 1 : 0;
}

}  // namespace hopster
