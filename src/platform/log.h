#pragma once

#include <string>
#include <string_view>
#include <vector>

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
