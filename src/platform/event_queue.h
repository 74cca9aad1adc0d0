#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <queue>
#include <vector>

#include "platform/scheduler.h"

namespace hopster {

// The time-ordered queue behind both schedulers: due times are seconds on the
// scheduler's own time line; events with equal due times run in the order in
// which they were scheduled.
class EventQueue {
 public:
  std::shared_ptr<Timer> scheduleRepeating(double now, double interval,
                                           std::function<void(Timer&)> block);
  void runAfter(double now, double delay, std::function<void()> work);
  // Thread-safe; posted work runs at the next `runPosted`.
  void post(std::function<void()> work);

  // Runs everything posted so far. Returns whether anything ran.
  bool runPosted();
  // Due time of the earliest event, if any.
  [[nodiscard]] std::optional<double> nextDue() const;
  // Due time of the earliest one-shot event (runAfter work), passing over
  // the firings of repeating timers; nothing when none is queued.
  [[nodiscard]] std::optional<double> nextOneShotDue() const;
  // Runs the earliest event if it is due at or before `now`; returns whether it ran.
  bool runOneDue(double now);
  [[nodiscard]] bool hasPosted();

 private:
  struct Event {
    double due;
    std::uint64_t sequence;
    std::function<void()> work;
  };
  struct Later {
    bool operator()(const Event& a, const Event& b) const {
      return a.due != b.due ? a.due > b.due : a.sequence > b.sequence;
    }
  };
  using Heap = std::priority_queue<Event, std::vector<Event>, Later>;
  class RepeatingTimer;

  void push(Heap& heap, double due, std::function<void()> work);
  void armRepeating(const std::shared_ptr<RepeatingTimer>& timer, double due);
  // Whether the earliest event is one-shot work; only when any is queued.
  [[nodiscard]] bool oneShotFirst() const;

  // One-shot work and repeating firings apart, so the next one-shot event is
  // found at once; one sequence counter orders them across both.
  Heap oneShots_;
  Heap firings_;
  std::uint64_t sequence_ = 0;
  double lastRunTime_ = 0.0;

  std::mutex postedMutex_;
  std::vector<std::function<void()>> posted_;
};

}  // namespace hopster
