#pragma once

#include <string_view>

namespace hopster {

// The system's log: one line per message, no levels, no time stamps.
class Log {
 public:
  virtual ~Log() = default;
  virtual void line(std::string_view message) = 0;
};

}  // namespace hopster
