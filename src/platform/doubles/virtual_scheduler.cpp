#include "platform/doubles/virtual_scheduler.h"

#include <cmath>
#include <utility>

namespace hopster {

std::shared_ptr<Timer> VirtualScheduler::scheduleRepeating(double intervalSeconds,
                                                           std::function<void(Timer&)> block) {
  return queue_.scheduleRepeating(now_, intervalSeconds, std::move(block));
}

void VirtualScheduler::runAfter(double delaySeconds, std::function<void()> work) {
  queue_.runAfter(now_, delaySeconds, std::move(work));
}

void VirtualScheduler::post(std::function<void()> work) { queue_.post(std::move(work)); }

void VirtualScheduler::runPending() {
  while (queue_.runPosted()) {
  }
}

void VirtualScheduler::advanceTo(double target) {
  runPending();
  for (;;) {
    const auto due = queue_.nextDue();
    if (!due || *due > target) break;
    if (*due > now_) now_ = *due;
    queue_.runOneDue(now_);
    runPending();
  }
  if (target > now_) now_ = target;
}

std::optional<double> VirtualScheduler::nextOneShotDue() const { return queue_.nextOneShotDue(); }

bool VirtualScheduler::skipIdleTo(double target) {
  runPending();
  if (const auto oneShot = queue_.nextOneShotDue(); oneShot && *oneShot < target) target = *oneShot;
  if (!(target > now_) || !std::isfinite(target)) return false;
  now_ = target;
  // Everything due by now runs now: repeating timers late, once each (a
  // firing reschedules past the time it ran), one-shot work at its own time.
  while (queue_.runOneDue(now_)) runPending();
  return true;
}

void VirtualScheduler::advanceBy(double seconds) { advanceTo(now_ + seconds); }

bool VirtualScheduler::advanceToNext() {
  runPending();
  const auto due = queue_.nextDue();
  if (!due) return false;
  advanceTo(*due > now_ ? *due : now_);
  return true;
}

}  // namespace hopster
