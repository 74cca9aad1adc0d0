#pragma once

#include <optional>

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

  // Due time of the earliest one-shot event (runAfter work: a replay's next
  // delivery, the stop after --seconds), passing over repeating timers;
  // nothing when none is queued.
  [[nodiscard]] std::optional<double> nextOneShotDue() const;

  // Jumps over an idle stretch in which only repeating timers would fire:
  // moves time straight to `target`, or to the next one-shot event when that
  // is due sooner, and there runs everything due by then. A repeating timer
  // that fell due on the way fires once, late, and then keeps to its grid
  // after the new time; one-shot work never runs early or late, since the
  // jump stops at the first one and runs it at its own due time. Returns
  // whether time moved: it stays when the time to reach is not later than
  // now or not finite.
  //
  // Only for a caller that knows the repeating timers have nothing to do
  // meanwhile: a fast run whose motion source has gone quiet calls
  //   if (const auto next = scheduler.nextOneShotDue(); next && *next - scheduler.now() > far)
  //     scheduler.skipIdleTo(*next);
  // so a replay with a gap of hours (or of 1e300 seconds) costs a handful of
  // timer firings instead of one per interval. A source that delivers by a
  // repeating timer (the simulation) is never quiet, so it is never skipped.
  bool skipIdleTo(double target);

 private:
  void advanceTo(double target);

  double now_;
  EventQueue queue_;
};

}  // namespace hopster
