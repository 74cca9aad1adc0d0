#include "reminders/desktop_notification_center.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace hopster {

namespace {

using Status = NotificationAuthorizationStatus;

bool anyDue(const ReminderScheduleState& state, double now) {
  return std::any_of(state.reminders.begin(), state.reminders.end(),
                     [now](const ScheduledReminder& reminder) { return reminder.due <= now; });
}

}  // namespace

DesktopNotificationCenter::DesktopNotificationCenter(ReminderSchedule& schedule,
                                                     NotificationSink& sink, const Clock& clock,
                                                     Log& log)
    : schedule_(schedule), sink_(sink), clock_(clock), log_(log) {}

void DesktopNotificationCenter::getAuthorizationStatus(
    std::function<void(NotificationAuthorizationStatus)> completion) {
  completion(schedule_.read().authorization);
}

void DesktopNotificationCenter::requestAuthorization(
    std::function<void(bool granted, std::optional<std::string> error)> completion) {
  const Status remembered = schedule_.read().authorization;
  if (remembered == Status::authorized) return completion(true, std::nullopt);
  if (remembered == Status::denied) return completion(false, std::nullopt);
  if (auto problem = sink_.checkService()) {
    return completion(false, "No desktop notification service answers: " + *problem);
  }
  const auto failure = schedule_.update(
      [](ReminderScheduleState& state) { state.authorization = Status::authorized; });
  // Granted all the same: only the next start would have to ask again.
  if (failure) log_.line("Failed to remember the notification permission: " + *failure);
  completion(true, std::nullopt);
}

void DesktopNotificationCenter::add(
    NotificationRequest request, std::function<void(std::optional<std::string> error)> completion) {
  if (!std::isfinite(request.delaySeconds)) {
    return completion("The reminder's delay is not a finite number of seconds");
  }
  ScheduledReminder reminder{std::move(request.identifier), std::move(request.title),
                             std::move(request.subtitle), request.defaultSound,
                             clock_.now() + request.delaySeconds};
  completion(schedule_.update([&reminder](ReminderScheduleState& state) {
    auto& reminders = state.reminders;
    std::erase_if(reminders, [&reminder](const ScheduledReminder& pending) {
      return pending.identifier == reminder.identifier;
    });
    reminders.push_back(std::move(reminder));
  }));
}

int DesktopNotificationCenter::deliverDue() {
  const double now = clock_.now();
  // Nothing due: no bus traffic at all.
  if (!anyDue(schedule_.read(), now)) return 0;
  if (auto problem = sink_.checkService()) {
    if (problem != lastServiceProblem_)
      log_.line("Reminders wait for a notification service: " + *problem);
    lastServiceProblem_ = std::move(problem);
    return 0;
  }
  lastServiceProblem_.reset();

  int shown = 0;
  while (auto reminder = takeNextDue(now)) {
    if (auto failure = sink_.show({reminder->title, reminder->subtitle, reminder->sound})) {
      log_.line("Failed to show a reminder: " + *failure);
      const auto putBack = schedule_.update(
          [&reminder](ReminderScheduleState& state) { state.reminders.push_back(*reminder); });
      if (putBack) log_.line("Failed to keep the reminder for later: " + *putBack);
      break;
    }
    ++shown;
  }
  return shown;
}

std::optional<ScheduledReminder> DesktopNotificationCenter::takeNextDue(double now) {
  std::optional<ScheduledReminder> taken;
  const auto failure = schedule_.update([now, &taken](ReminderScheduleState& state) {
    auto& reminders = state.reminders;
    const auto earliest = std::min_element(
        reminders.begin(), reminders.end(),
        [](const ScheduledReminder& a, const ScheduledReminder& b) { return a.due < b.due; });
    if (earliest == reminders.end() || earliest->due > now) return;
    taken = std::move(*earliest);
    reminders.erase(earliest);
  });
  if (!failure) return taken;
  log_.line("Failed to save the reminder schedule: " + *failure);
  return std::nullopt;
}

}  // namespace hopster
