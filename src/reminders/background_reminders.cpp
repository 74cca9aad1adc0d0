#include "reminders/background_reminders.h"

#include <string>
#include <utility>

#include "platform/linux/file_key_value_storage.h"

namespace hopster {

std::vector<double> dueTimes(const ReminderScheduleState& state) {
  std::vector<double> times;
  for (const ScheduledReminder& reminder : state.reminders) times.push_back(reminder.due);
  return times;
}

void BackgroundReminders::PostingLog::line(std::string_view message) {
  mainThread_.post([&log = log_, text = std::string(message)] { log.line(text); });
}

BackgroundReminders::BackgroundReminders(ReminderSetup setup, const Clock& clock,
                                         Scheduler& mainThread, Log& log)
    : mainThread_(mainThread),
      log_(mainThread, log),
      schedule_(std::make_unique<FileKeyValueStorage>(setup.scheduleFile, clock), log_),
      sink_(setup.places.busAddress, setup.notifyTimeoutMicroseconds),
      center_(schedule_, sink_, clock, log_),
      trigger_(std::move(setup.places), log_),
      worker_([this] { run(); }) {}

BackgroundReminders::~BackgroundReminders() {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_one();
  worker_.join();
}

void BackgroundReminders::getAuthorizationStatus(
    std::function<void(NotificationAuthorizationStatus)> completion) {
  enqueue({[this, completion = std::move(completion)]() mutable {
    center_.getAuthorizationStatus(std::move(completion));
  }});
}

void BackgroundReminders::requestAuthorization(
    std::function<void(bool granted, Status error)> completion) {
  enqueue({[this, completion = std::move(completion)]() mutable {
    center_.requestAuthorization(std::move(completion));
  }});
}

void BackgroundReminders::add(NotificationRequest request,
                              std::function<void(Status error)> completion) {
  enqueue({[this, request = std::move(request), completion = std::move(completion)]() mutable {
    center_.add(std::move(request), std::move(completion));
  }});
}

void BackgroundReminders::deliverDue(std::function<void(int shown)> done) {
  enqueue({[this, done = std::move(done)] {
             const int shown = center_.deliverDue();
             if (done) mainThread_.post([done, shown] { done(shown); });
           },
           true});
}

void BackgroundReminders::syncTrigger() {
  enqueue({[this] { forceSync_ = true; }});
}

void BackgroundReminders::enqueue(Job job) {
  {
    const std::lock_guard lock(mutex_);
    jobs_.push_back(std::move(job));
  }
  wake_.notify_one();
}

void BackgroundReminders::run() {
  std::unique_lock lock(mutex_);
  while (true) {
    wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
    if (jobs_.empty()) return;  // stopping, and everything done
    Job job = std::move(jobs_.front());
    jobs_.pop_front();
    const bool skip = stopping_ && job.isCheck;
    lock.unlock();
    if (!skip) job.work();
    lock.lock();
    if (!jobs_.empty()) continue;
    // The queue ran dry: the thirty adds of a first run end in one sync.
    lock.unlock();
    syncIfChanged(forceSync_);
    forceSync_ = false;
    lock.lock();
  }
}

void BackgroundReminders::syncIfChanged(bool force) {
  // Under the schedule's lock, read and compared there: another process's
  // change cannot slip in between and leave the trigger behind the file.
  const auto failure = schedule_.update([this, force](ReminderScheduleState& state) {
    std::vector<double> times = dueTimes(state);
    if (!force && lastSynced_ == times) return;
    if (trigger_.sync(times)) lastSynced_ = std::move(times);
  });
  // Once per problem: a damaged schedule would otherwise say so at every check.
  if (failure && failure->message != lastSyncProblem_) {
    log_.line("Failed to read the reminder schedule: " + failure->message);
  }
  lastSyncProblem_ = failure ? std::optional(failure->message) : std::nullopt;
}

}  // namespace hopster
