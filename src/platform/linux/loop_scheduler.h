#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>

#include "platform/event_queue.h"
#include "platform/scheduler.h"

namespace hopster {

// A real-time main loop for runs without a window: `run` executes timers,
// delayed work and posted work on the calling thread until `quit`.
class LoopScheduler final : public Scheduler {
 public:
  std::shared_ptr<Timer> scheduleRepeating(double intervalSeconds,
                                           std::function<void(Timer&)> block) override;
  void runAfter(double delaySeconds, std::function<void()> work) override;
  void post(std::function<void()> work) override;

  // Runs the loop on the calling thread until `quit` is called.
  void run();
  // Ends `run` after the current piece of work. Safe from any thread and from
  // a signal-watching thread.
  void quit();

 private:
  [[nodiscard]] double monotonicNow() const;

  EventQueue queue_;
  std::mutex wakeMutex_;
  std::condition_variable wake_;
  std::atomic<bool> quit_{false};
};

}  // namespace hopster
