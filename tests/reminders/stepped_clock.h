#pragma once

#include <atomic>

#include "platform/clock.h"

namespace hopster::testing {

inline constexpr double kDay = 86400.0;

// A wall clock that moves only when the test says so; safe to read from the
// worker threads that deliver reminders.
struct SteppedClock final : Clock {
  explicit SteppedClock(double start = 1764942759.0) : seconds(start) {}
  std::atomic<double> seconds;
  [[nodiscard]] double now() const override { return seconds; }
};

}  // namespace hopster::testing
