#include "platform/linux/loop_scheduler.h"

#include <algorithm>
#include <chrono>
#include <utility>

namespace hopster {

double LoopScheduler::monotonicNow() const {
  const auto t = std::chrono::steady_clock::now().time_since_epoch();
  return std::chrono::duration<double>(t).count();
}

std::shared_ptr<Timer> LoopScheduler::scheduleRepeating(double intervalSeconds,
                                                        std::function<void(Timer&)> block) {
  return queue_.scheduleRepeating(monotonicNow(), intervalSeconds, std::move(block));
}

void LoopScheduler::runAfter(double delaySeconds, std::function<void()> work) {
  queue_.runAfter(monotonicNow(), delaySeconds, std::move(work));
}

void LoopScheduler::post(std::function<void()> work) {
  queue_.post(std::move(work));
  std::lock_guard lock(wakeMutex_);
  wake_.notify_one();
}

void LoopScheduler::quit() {
  quit_ = true;
  std::lock_guard lock(wakeMutex_);
  wake_.notify_one();
}

void LoopScheduler::run() {
  quit_ = false;
  while (!quit_) {
    queue_.runPosted();
    if (quit_) break;
    if (queue_.runOneDue(monotonicNow())) continue;

    std::unique_lock lock(wakeMutex_);
    if (quit_ || queue_.hasPosted()) continue;
    const auto due = queue_.nextDue();
    if (!due) {
      wake_.wait(lock);
    } else {
      // Held to an hour: a due time far off (a replay's huge gap) would
      // overflow the clock's ticks; the loop simply waits again.
      constexpr double kLongestWait = 3600.0;
      const double wait = std::min(*due - monotonicNow(), kLongestWait);
      if (wait > 0.0) wake_.wait_for(lock, std::chrono::duration<double>(wait));
    }
  }
}

}  // namespace hopster
