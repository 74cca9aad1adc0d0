#pragma once

#include <vector>

#include "platform/haptic_result.h"

namespace hopster {

enum class HapticParameterId {
  intensity,  // how strong the tap is; 1.0 is the device's strongest
  sharpness,  // 0.0 a soft, round tap, 1.0 a crisp one
};

struct HapticEventParameter {
  HapticParameterId id = HapticParameterId::intensity;
  float value = 0.0F;

  friend bool operator==(const HapticEventParameter&, const HapticEventParameter&) = default;
};

// A pattern of exactly one transient tap at relative time 0. The tap's
// parameters keep the order they were given in; the pattern has no
// parameters of its own.
struct HapticPattern {
  std::vector<HapticEventParameter> eventParameters;
  double relativeTime = 0.0;

  // Checks the parameters and builds the pattern: every value must be a
  // finite number.
  [[nodiscard]] static HapticResult<HapticPattern> transient(
      std::vector<HapticEventParameter> eventParameters);

  // The value of the first parameter with `id`, or `fallback` when the tap
  // has none.
  [[nodiscard]] float value(HapticParameterId id, float fallback) const;

  friend bool operator==(const HapticPattern&, const HapticPattern&) = default;
};

}  // namespace hopster
