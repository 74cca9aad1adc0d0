#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/log.h"

namespace hopster {

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
