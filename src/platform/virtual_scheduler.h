#pragma once

#include "platform/clock.h"
#include "platform/event_queue.h"
#include "platform/scheduler.h"

namespace hopster {

// A scheduler on a virtual time line that moves only when told to, and the
// wall clock that goes with it. Tests use it to run countdowns and delayed
// steps exactly and instantly; the headless runner uses it to replay a
// recording as fast as the machine allows.
class VirtualScheduler final : public Scheduler, public Clock {
 public:
  // `start` is the wall-clock reading at virtual time zero.
  explicit VirtualScheduler(double start = 1764942759.0) : now_(start) {}

  std::shared_ptr<Timer> scheduleRepeating(double intervalSeconds,
                                           std::function<void(Timer&)> block) override;
  void runAfter(double delaySeconds, std::function<void()> work) override;
  void post(std::function<void()> work) override;

  [[nodiscard]] double now() const override { return now_; }

  // Moves time forward by `seconds`, running every event that falls due on
  // the way at its own due time, in order.
  void advanceBy(double seconds);
  // Moves time forward to the next due event and runs everything due then.
  // Returns false when nothing is scheduled.
  bool advanceToNext();
  // Runs posted work without moving time.
  void runPending();

 private:
  void advanceTo(double target);

  double now_;
  EventQueue queue_;
};

}  // namespace hopster
