#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

#include "platform/clock.h"
#include "platform/log.h"

namespace hopster {

// Passes on one line per `interval` seconds at most, the first of them,
// with a count of those left out since: a flood of one kind of trouble (a
// client hammering a server) cannot flood the log.
class ThrottledLog final : public Log {
 public:
  ThrottledLog(Log& log, const Clock& clock, double interval)
      : log_(log), clock_(clock), interval_(interval) {}
  void line(std::string_view message) override;

 private:
  Log& log_;
  const Clock& clock_;
  const double interval_;
  std::optional<double> last_;  // when the last line was passed on
  std::size_t leftOut_ = 0;
};

}  // namespace hopster
