#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/failure.h"
#include "platform/log.h"
#include "platform/scheduler.h"
#include "reminders/dbus_notification_sink.h"
#include "reminders/delivery_trigger.h"
#include "reminders/desktop_notification_center.h"
#include "reminders/reminder_schedule.h"

namespace hopster {

// Where the reminders live and how long a Notify call may take.
struct ReminderSetup {
  std::filesystem::path scheduleFile;
  DeliveryTriggerPlaces places;  // also names the session bus
  std::uint64_t notifyTimeoutMicroseconds = DbusNotificationSink::defaultCallTimeoutMicroseconds;
};

// The window's reminders, run on a worker thread of their own: every schedule
// change, Notify call and user-manager call happens there, so a notification
// service or user manager that hangs never stalls the main thread. Results and
// log lines come back through `mainThread.post`.
//
// After each change of the schedule (reminders added, one shown), once the
// work queued so far is done, the timer or login entry is brought in line with
// the pending reminders, under the schedule's lock, so it never describes an
// older schedule than the file's. Nothing waits for the exit.
//
// Call it from the main thread. The clock, the scheduler and the log must
// outlive it.
class BackgroundReminders final : public NotificationCenter {
 public:
  BackgroundReminders(ReminderSetup setup, const Clock& clock, Scheduler& mainThread, Log& log);
  // Finishes the changes still queued (reminders being added) and their sync,
  // drops queued checks, and joins the worker.
  ~BackgroundReminders() override;
  BackgroundReminders(const BackgroundReminders&) = delete;
  BackgroundReminders& operator=(const BackgroundReminders&) = delete;

  // As DesktopNotificationCenter's, run on the worker; completions are called
  // there (NotificationManager takes them to its main thread).
  void getAuthorizationStatus(
      std::function<void(NotificationAuthorizationStatus)> completion) override;
  void requestAuthorization(std::function<void(bool granted, Status error)> completion) override;
  void add(NotificationRequest request, std::function<void(Status error)> completion) override;

  // Queues one check for due reminders (DesktopNotificationCenter::deliverDue);
  // `done`, when given, gets how many were shown, on the main thread.
  void deliverDue(std::function<void(int shown)> done = {});
  // Queues a check that the timer or login entry matches the schedule, for
  // the start (a program moved since, an entry from an older version).
  void syncTrigger();

 private:
  // Passes lines to the real log on the main thread.
  class PostingLog final : public Log {
   public:
    PostingLog(Scheduler& mainThread, Log& log) : mainThread_(mainThread), log_(log) {}
    void line(std::string_view message) override;

   private:
    Scheduler& mainThread_;
    Log& log_;
  };

  struct Job {
    std::function<void()> work;
    bool isCheck = false;  // dropped at the exit
  };

  void enqueue(Job job);
  void run();
  // Syncs the trigger when the pending due times differ from the last sync.
  void syncIfChanged(bool force);

  Scheduler& mainThread_;
  PostingLog log_;
  ReminderSchedule schedule_;
  DbusNotificationSink sink_;
  DesktopNotificationCenter center_;
  DeliveryTrigger trigger_;
  std::optional<std::vector<double>> lastSynced_;  // worker only
  bool forceSync_ = false;                         // worker only
  std::optional<std::string> lastSyncProblem_;     // worker only

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Job> jobs_;
  bool stopping_ = false;
  std::thread worker_;  // last: starts once everything above exists
};

// The pending reminders' due times, in the schedule's order.
[[nodiscard]] std::vector<double> dueTimes(const ReminderScheduleState& state);

}  // namespace hopster
