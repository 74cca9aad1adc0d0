#include "platform/doubles/recording_haptic_device.h"

#include <utility>

namespace hopster {

std::optional<HapticError> RecordingHapticDevice::failure(HapticStep step) const {
  const auto found = failures_.find(step);
  if (found == failures_.end()) return std::nullopt;
  return HapticError{found->second};
}

HapticResult<HapticEngine> RecordingHapticDevice::makeEngine() {
  if (auto error = failure(HapticStep::makeEngine)) return *std::move(error);
  const HapticEngine engine{nextEngineId_++};
  enginesMade_.push_back(engine);
  return engine;
}

std::optional<HapticError> RecordingHapticDevice::startEngine(HapticEngine engine) {
  if (auto error = failure(HapticStep::startEngine)) return error;
  enginesStarted_.push_back(engine);
  return std::nullopt;
}

HapticResult<HapticPattern> RecordingHapticDevice::makePattern(
    std::vector<HapticEventParameter> eventParameters) {
  if (auto error = failure(HapticStep::makePattern)) return *std::move(error);
  HapticPattern pattern{std::move(eventParameters), 0.0};
  patternsMade_.push_back(pattern);
  return pattern;
}

HapticResult<HapticPlayer> RecordingHapticDevice::makePlayer(const HapticPattern& pattern,
                                                             HapticEngine engine) {
  if (auto error = failure(HapticStep::makePlayer)) return *std::move(error);
  return HapticPlayer{engine, pattern};
}

std::optional<HapticError> RecordingHapticDevice::startPlayer(const HapticPlayer& player) {
  if (auto error = failure(HapticStep::startPlayer)) return error;
  playersStarted_.push_back(player);
  return std::nullopt;
}

}  // namespace hopster
