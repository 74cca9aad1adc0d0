#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"

namespace hopster {

// The system's log: one line per message, no levels, no time stamps.
class Log {
 public:
  virtual ~Log() = default;
  virtual void line(std::string_view message) = 0;
};

// Writes each message as one line on standard output and flushes at once, so
// the lines survive a crash and interleave correctly with other output.
class StdoutLog final : public Log {
 public:
  void line(std::string_view message) override;
};

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

// Keeps the lines in memory (tests, and callers that show the log elsewhere).
class MemoryLog final : public Log {
 public:
  void line(std::string_view message) override { lines_.emplace_back(message); }
  [[nodiscard]] const std::vector<std::string>& lines() const { return lines_; }
  void clear() { lines_.clear(); }

 private:
  std::vector<std::string> lines_;
};

}  // namespace hopster
