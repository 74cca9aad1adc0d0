#include "reminders/desktop_notification_center.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>

namespace hopster {

namespace {

using Authorization = NotificationAuthorizationStatus;

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
    std::function<void(bool granted, Status error)> completion) {
  const Authorization remembered = schedule_.read().authorization;
  if (remembered == Authorization::authorized) return completion(true, std::nullopt);
  if (remembered == Authorization::denied) return completion(false, std::nullopt);
  if (auto problem = sink_.checkService()) {
    return completion(false, Failure{problem->kind, "No desktop notification service answers: " +
                                                        problem->message});
  }
  const auto failure = schedule_.update(
      [](ReminderScheduleState& state) { state.authorization = Authorization::authorized; });
  // Granted all the same: only the next start would have to ask again.
  if (failure) log_.line("Failed to remember the notification permission: " + failure->message);
  completion(true, std::nullopt);
}

void DesktopNotificationCenter::add(NotificationRequest request,
                                    std::function<void(Status error)> completion) {
  if (!std::isfinite(request.delaySeconds)) {
    return completion(
        Failure{FailureKind::other, "The reminder's delay is not a finite number of seconds"});
  }
  ScheduledReminder reminder{std::move(request.identifier), std::move(request.title),
                             std::move(request.subtitle), request.defaultSound,
                             clock_.now() + request.delaySeconds};
  const Status failure = schedule_.update([&reminder](ReminderScheduleState& state) {
    auto& reminders = state.reminders;
    std::erase_if(reminders, [&reminder](const ScheduledReminder& pending) {
      return pending.identifier == reminder.identifier;
    });
    reminders.push_back(std::move(reminder));
  });
  completion(failure);
}

int DesktopNotificationCenter::deliverDue() {
  const double now = clock_.now();
  // Nothing due: no bus traffic at all.
  if (!anyDue(schedule_.read(), now)) return 0;
  if (auto problem = sink_.checkService()) {
    if (problem != lastServiceProblem_)
      log_.line("Reminders wait for a notification service: " + problem->message);
    lastServiceProblem_ = std::move(problem);
    return 0;
  }
  lastServiceProblem_.reset();

  std::optional<ScheduledReminder> reminder = takeDue(now);
  if (!reminder) return 0;
  if (auto failure = sink_.show({reminder->title, reminder->subtitle, reminder->sound})) {
    if (failure->maybeShown) {
      // The service may have shown it: showing it again could show it twice.
      log_.line("A reminder may not have been shown (no answer from the notification service: " +
                failure->reason + "); it is not shown again");
      return 0;
    }
    log_.line("Failed to show a reminder: " + failure->reason);
    const auto putBack = schedule_.update(
        [&reminder](ReminderScheduleState& state) { state.reminders.push_back(*reminder); });
    if (putBack) log_.line("Failed to keep the reminder for later: " + putBack->message);
    return 0;
  }
  return 1;
}

std::optional<ScheduledReminder> DesktopNotificationCenter::takeDue(double now) {
  std::optional<ScheduledReminder> taken;
  std::size_t dropped = 0;
  const auto failure = schedule_.update([now, &taken, &dropped](ReminderScheduleState& state) {
    auto& reminders = state.reminders;
    const auto due = std::stable_partition(
        reminders.begin(), reminders.end(),
        [now](const ScheduledReminder& reminder) { return !(reminder.due <= now); });
    if (due == reminders.end()) return;
    // The latest of them; among equal due times, the one added last.
    auto latest = due;
    for (auto it = due; it != reminders.end(); ++it) {
      if (it->due >= latest->due) latest = it;
    }
    taken = std::move(*latest);
    dropped = static_cast<std::size_t>(reminders.end() - due) - 1;
    reminders.erase(due, reminders.end());
  });
  if (failure) {
    log_.line("Failed to save the reminder schedule: " + failure->message);
    return std::nullopt;
  }
  if (dropped > 0) {
    log_.line("Dropped " + std::to_string(dropped) + " missed reminder" +
              (dropped == 1 ? "" : "s") + "; showing only the latest");
  }
  return taken;
}

}  // namespace hopster
