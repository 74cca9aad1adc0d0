#include "platform/event_queue.h"

#include <cmath>
#include <utility>

namespace hopster {

class EventQueue::RepeatingTimer final : public Timer {
 public:
  RepeatingTimer(double interval, std::function<void(Timer&)> block)
      : interval_(interval), block_(std::move(block)) {}
  void invalidate() override { valid_ = false; }
  [[nodiscard]] bool isValid() const override { return valid_; }
  [[nodiscard]] double interval() const { return interval_; }
  void fire() { block_(*this); }

 private:
  double interval_;
  std::function<void(Timer&)> block_;
  bool valid_ = true;
};

void EventQueue::push(double due, std::function<void()> work) {
  events_.push(Event{due, sequence_++, std::move(work)});
}

std::shared_ptr<Timer> EventQueue::scheduleRepeating(double now, double interval,
                                                     std::function<void(Timer&)> block) {
  // A non-positive or non-finite interval would fire endlessly at one instant.
  if (!(interval > 0.0) || !std::isfinite(interval)) interval = 0.0001;
  auto timer = std::make_shared<RepeatingTimer>(interval, std::move(block));
  armRepeating(timer, now + interval);
  return timer;
}

void EventQueue::armRepeating(const std::shared_ptr<RepeatingTimer>& timer, double due) {
  // The queued event keeps the timer alive until it is invalidated, as a run
  // loop keeps its timers: dropping the handle does not stop a timer.
  push(due, [this, timer, due] {
    if (!timer->isValid()) return;
    timer->fire();
    if (!timer->isValid()) return;
    double next = due + timer->interval();
    // Skip firings that were missed while the thread was busy, keeping the grid.
    if (next <= lastRunTime_) {
      const double missed = std::floor((lastRunTime_ - due) / timer->interval());
      next = due + (missed + 1.0) * timer->interval();
    }
    armRepeating(timer, next);
  });
}

void EventQueue::runAfter(double now, double delay, std::function<void()> work) {
  push(now + (delay > 0.0 ? delay : 0.0), std::move(work));
}

void EventQueue::post(std::function<void()> work) {
  std::lock_guard lock(postedMutex_);
  posted_.push_back(std::move(work));
}

bool EventQueue::hasPosted() {
  std::lock_guard lock(postedMutex_);
  return !posted_.empty();
}

bool EventQueue::runPosted() {
  std::vector<std::function<void()>> batch;
  {
    std::lock_guard lock(postedMutex_);
    batch.swap(posted_);
  }
  for (auto& work : batch) work();
  return !batch.empty();
}

std::optional<double> EventQueue::nextDue() const {
  if (events_.empty()) return std::nullopt;
  return events_.top().due;
}

bool EventQueue::runOneDue(double now) {
  if (events_.empty() || events_.top().due > now) return false;
  // Move the event out before running it: its work may schedule more events.
  Event event = std::move(const_cast<Event&>(events_.top()));
  events_.pop();
  lastRunTime_ = now;
  event.work();
  return true;
}

}  // namespace hopster
