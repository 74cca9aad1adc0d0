#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/haptic_device.h"

namespace hopster {

// The calls of a HapticDevice that can fail.
enum class HapticStep {
  makeEngine,
  startEngine,
  makePattern,
  makePlayer,
  startPlayer,
};

// A haptic device for tests: plays nothing, records every engine made and
// started, every pattern made and every player started, and fails whichever
// steps it is told to.
class RecordingHapticDevice final : public HapticDevice {
 public:
  [[nodiscard]] bool supportsHaptics() const override { return supportsHaptics_; }
  [[nodiscard]] HapticResult<HapticEngine> makeEngine() override;
  [[nodiscard]] std::optional<HapticError> startEngine(HapticEngine engine) override;
  [[nodiscard]] HapticResult<HapticPattern> makePattern(
      std::vector<HapticEventParameter> eventParameters) override;
  [[nodiscard]] HapticResult<HapticPlayer> makePlayer(const HapticPattern& pattern,
                                                      HapticEngine engine) override;
  [[nodiscard]] std::optional<HapticError> startPlayer(const HapticPlayer& player) override;

  void setSupportsHaptics(bool supports) { supportsHaptics_ = supports; }
  // Every later call of `step` fails with `description`, until `succeed`.
  void fail(HapticStep step, std::string description) { failures_[step] = std::move(description); }
  void succeed(HapticStep step) { failures_.erase(step); }

  [[nodiscard]] const std::vector<HapticEngine>& enginesMade() const { return enginesMade_; }
  [[nodiscard]] const std::vector<HapticEngine>& enginesStarted() const { return enginesStarted_; }
  [[nodiscard]] const std::vector<HapticPattern>& patternsMade() const { return patternsMade_; }
  [[nodiscard]] const std::vector<HapticPlayer>& playersStarted() const { return playersStarted_; }

 private:
  [[nodiscard]] std::optional<HapticError> failure(HapticStep step) const;

  bool supportsHaptics_ = true;
  std::map<HapticStep, std::string> failures_;
  std::uint64_t nextEngineId_ = 1;
  std::vector<HapticEngine> enginesMade_;
  std::vector<HapticEngine> enginesStarted_;
  std::vector<HapticPattern> patternsMade_;
  std::vector<HapticPlayer> playersStarted_;
};

}  // namespace hopster
