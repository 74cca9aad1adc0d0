#include "platform/log.h"

#include <cstdio>
#include <string>

namespace hopster {

void StdoutLog::line(std::string_view message) {
  std::fwrite(message.data(), 1, message.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

void ThrottledLog::line(std::string_view message) {
  const double now = clock_.now();
  // A clock set back starts a new interval rather than silencing the log.
  if (last_ && now >= *last_ && now - *last_ < interval_) {
    ++leftOut_;
    return;
  }
  if (leftOut_ == 0) {
    log_.line(message);
  } else {
    log_.line(std::string(message) + " (and " + std::to_string(leftOut_) +
              " more since the last report)");
  }
  last_ = now;
  leftOut_ = 0;
}

}  // namespace hopster
