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

void EventQueue::push(Heap& heap, double due, std::function<void()> work) {
  heap.push(Event{due, sequence_++, std::move(work)});
}

bool EventQueue::oneShotFirst() const {
  if (oneShots_.empty() || firings_.empty()) return !oneShots_.empty();
  return !Later()(oneShots_.top(), firings_.top());
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
  push(firings_, due, [this, timer, due] {
    if (!timer->isValid()) return;
    timer->fire();
    if (!timer->isValid()) return;
    double next = due + timer->interval();
    // Skip firings that were missed while the thread was busy (or that a
    // virtual jump passed over), keeping the grid.
    if (next <= lastRunTime_) {
      const double missed = std::floor((lastRunTime_ - due) / timer->interval());
      next = due + (missed + 1.0) * timer->interval();
    }
    // Far from zero an interval can vanish in rounding (1e300 + 1 == 1e300):
    // the firing then goes to the next representable time, so a timer never
    // fires twice at one instant, let alone endlessly.
    if (!(next > lastRunTime_)) next = std::nextafter(lastRunTime_, HUGE_VAL);
    // Past the largest time there is no later firing.
    if (!std::isfinite(next)) return;
    armRepeating(timer, next);
  });
}

void EventQueue::runAfter(double now, double delay, std::function<void()> work) {
  push(oneShots_, now + (delay > 0.0 ? delay : 0.0), std::move(work));
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
  if (oneShots_.empty() && firings_.empty()) return std::nullopt;
  return (oneShotFirst() ? oneShots_ : firings_).top().due;
}

std::optional<double> EventQueue::nextOneShotDue() const {
  if (oneShots_.empty()) return std::nullopt;
  return oneShots_.top().due;
}

bool EventQueue::runOneDue(double now) {
  if (oneShots_.empty() && firings_.empty()) return false;
  Heap& heap = oneShotFirst() ? oneShots_ : firings_;
  if (heap.top().due > now) return false;
  // Move the event out before running it: its work may schedule more events.
  Event event = std::move(const_cast<Event&>(heap.top()));
  heap.pop();
  lastRunTime_ = now;
  event.work();
  return true;
}

}  // namespace hopster
