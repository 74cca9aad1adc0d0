#pragma once

#include "platform/clock.h"

namespace hopster {

// The machine's real-time clock.
class SystemClock final : public Clock {
 public:
  [[nodiscard]] double now() const override;
};

}  // namespace hopster
