#pragma once

#include <functional>
#include <optional>

#include "platform/clock.h"
#include "platform/failure.h"
#include "platform/log.h"
#include "reminders/notification_center.h"
#include "reminders/notification_sink.h"
#include "reminders/reminder_schedule.h"

namespace hopster {

// Local notifications on a Linux desktop. The desktop's notification service
// shows a notification only at once, so this centre keeps each request in the
// durable schedule with its absolute due time, and `deliverDue` shows the ones
// that have fallen due; something must call it now and then (see
// startReminderDelivery, and the autostarted deliverDueReminders for when the
// app is closed).
//
// Every answer is given before the call returns, on the calling thread; the
// notification manager takes answers to its main thread itself. Use the
// centre from one thread. The schedule, the sink, the clock and the log must
// outlive it.
class DesktopNotificationCenter final : public NotificationCenter {
 public:
  DesktopNotificationCenter(ReminderSchedule& schedule, NotificationSink& sink, const Clock& clock,
                            Log& log);

  // The remembered answer; notDetermined until a request was granted.
  void getAuthorizationStatus(
      std::function<void(NotificationAuthorizationStatus)> completion) override;
  // The desktop asks no question of its own: permission is granted, and
  // remembered, when the notification service answers on the session bus.
  // Without a service the request fails with the reason (of the sink's kind:
  // notFound when no service has the name) and nothing is remembered, so a
  // later request, once a service runs, can still succeed. A remembered
  // refusal is answered again without asking.
  void requestAuthorization(std::function<void(bool granted, Status error)> completion) override;
  // Stores the request, due `delaySeconds` from now on the clock; a pending
  // request with the same identifier is replaced. Answers why not when the
  // schedule could not be saved. The remembered permission is not consulted:
  // the desktop's own notification settings decide what is shown.
  void add(NotificationRequest request, std::function<void(Status error)> completion) override;

  // Shows the reminder that fell due last and returns how many were shown (0
  // or 1). Reminders missed meanwhile (the machine was off, the session
  // closed) are not shown as a burst: the others due are dropped with one log
  // line. All due ones are taken out of the schedule in one locked change, and
  // the schedule saved, before the one is shown, so two processes checking at
  // once never both show it, and a crash in between loses it rather than
  // showing it twice. One the service refuses is put back for the next check;
  // one whose call went unanswered may have been shown and is not shown
  // again (one log line). Without a service nothing is shown or removed, and
  // the reason is logged once until it changes.
  int deliverDue();

 private:
  // Takes every reminder due at `now` out of the schedule and returns the
  // latest of them. Nothing when none is due or the removal could not be
  // saved (which is logged).
  std::optional<ScheduledReminder> takeDue(double now);

  ReminderSchedule& schedule_;
  NotificationSink& sink_;
  const Clock& clock_;
  Log& log_;
  Status lastServiceProblem_;
};

}  // namespace hopster
