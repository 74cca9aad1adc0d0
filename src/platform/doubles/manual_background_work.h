#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <utility>

#include "platform/background_work.h"

namespace hopster {

// A stand-in for tests that decides when the work runs and when `done` is
// delivered, all on the calling thread. While not held, jobs run and complete
// at once, like InlineBackgroundWork; while held they wait for runWork() and
// deliver(), so the state between handing over and completion can be seen.
class ManualBackgroundWork final : public BackgroundWork {
 public:
  void submit(std::function<void()> work, std::function<void()> done) override;
  // Runs the work of every waiting job; their `done` wait for deliver(), as a
  // real worker's wait for the main loop.
  void waitForIdle() override { runWork(); }

  // Holds new jobs back (true) or lets them complete at once again (false;
  // jobs already held stay held until runWork() and deliver()).
  void hold(bool held) { held_ = held; }
  // Runs the work of the waiting jobs, in order. Returns how many ran.
  std::size_t runWork();
  // Runs the `done` of the jobs whose work has run, in order. Returns how many.
  std::size_t deliver();
  // runWork() then deliver().
  void completeAll() {
    runWork();
    deliver();
  }
  [[nodiscard]] std::size_t waitingWork() const { return work_.size(); }
  [[nodiscard]] std::size_t waitingDone() const { return done_.size(); }
  [[nodiscard]] std::size_t submitted() const { return submitted_; }

 private:
  bool held_ = false;
  std::size_t submitted_ = 0;
  std::deque<std::pair<std::function<void()>, std::function<void()>>> work_;
  std::deque<std::function<void()>> done_;
};

}  // namespace hopster
