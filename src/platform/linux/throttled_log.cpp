#include "platform/linux/throttled_log.h"

#include <string>

namespace hopster {

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
