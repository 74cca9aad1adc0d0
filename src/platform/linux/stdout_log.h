#pragma once

#include <string_view>

#include "platform/log.h"

namespace hopster {

// Writes each message as one line on standard output and flushes at once, so
// the lines survive a crash and interleave correctly with other output.
class StdoutLog final : public Log {
 public:
  void line(std::string_view message) override;
};

}  // namespace hopster
