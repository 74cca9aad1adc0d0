#include "platform/linux/no_haptics_device.h"

#include <utility>

namespace hopster {

HapticResult<HapticEngine> NoHapticsDevice::makeEngine() { return HapticEngine{nextEngineId_++}; }

std::optional<HapticError> NoHapticsDevice::startEngine(HapticEngine /*engine*/) {
  return std::nullopt;
}

HapticResult<HapticPattern> NoHapticsDevice::makePattern(
    std::vector<HapticEventParameter> eventParameters) {
  return HapticPattern::transient(std::move(eventParameters));
}

HapticResult<HapticPlayer> NoHapticsDevice::makePlayer(const HapticPattern& pattern,
                                                       HapticEngine engine) {
  return HapticPlayer{engine, pattern};
}

std::optional<HapticError> NoHapticsDevice::startPlayer(const HapticPlayer& /*player*/) {
  return std::nullopt;
}

}  // namespace hopster
