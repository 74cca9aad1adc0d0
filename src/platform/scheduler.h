#pragma once

#include <functional>
#include <memory>

namespace hopster {

// A repeating timer handed out by a Scheduler. Invalidating it stops all
// further firings, also from inside its own block.
class Timer {
 public:
  virtual ~Timer() = default;
  virtual void invalidate() = 0;
  [[nodiscard]] virtual bool isValid() const = 0;
};

// The main thread's timers and queued work. Everything it runs, runs on the
// main thread, one piece at a time, so the logic it drives needs no locks.
class Scheduler {
 public:
  virtual ~Scheduler() = default;

  // Fires `block` every `intervalSeconds`, the first time one interval from
  // now, until the timer is invalidated. Firings keep to the original grid:
  // a late firing does not shift the ones after it.
  virtual std::shared_ptr<Timer> scheduleRepeating(double intervalSeconds,
                                                   std::function<void(Timer&)> block) = 0;

  // Runs `work` once, `delaySeconds` from now. Cannot be cancelled.
  virtual void runAfter(double delaySeconds, std::function<void()> work) = 0;

  // Runs `work` on the main thread as soon as it is free. The one operation
  // that may be called from any thread.
  virtual void post(std::function<void()> work) = 0;
};

}  // namespace hopster
