#include "platform/haptic_pattern.h"

#include <cmath>
#include <utility>

namespace hopster {

HapticResult<HapticPattern> HapticPattern::transient(
    std::vector<HapticEventParameter> eventParameters) {
  for (const auto& parameter : eventParameters) {
    if (!std::isfinite(parameter.value)) {
      return HapticError{"Haptic event parameter is not a finite number"};
    }
  }
  return HapticPattern{std::move(eventParameters), 0.0};
}

float HapticPattern::value(HapticParameterId id, float fallback) const {
  for (const auto& parameter : eventParameters) {
    if (parameter.id == id) return parameter.value;
  }
  return fallback;
}

}  // namespace hopster
