#pragma once

namespace hopster {

// The wall clock: seconds since 1970-01-01 00:00:00 UTC, with fraction.
class Clock {
 public:
  virtual ~Clock() = default;
  [[nodiscard]] virtual double now() const = 0;
};

}  // namespace hopster
