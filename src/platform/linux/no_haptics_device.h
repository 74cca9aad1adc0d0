#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/haptic_device.h"

namespace hopster {

// The device of a machine without haptic hardware. It says so when asked,
// yet every call succeeds and plays nothing, as on a phone without haptics:
// the jump screen stays silent and a trophy card reports the missing support.
class NoHapticsDevice final : public HapticDevice {
 public:
  [[nodiscard]] bool supportsHaptics() const override { return false; }
  [[nodiscard]] HapticResult<HapticEngine> makeEngine() override;
  [[nodiscard]] std::optional<HapticError> startEngine(HapticEngine engine) override;
  [[nodiscard]] HapticResult<HapticPattern> makePattern(
      std::vector<HapticEventParameter> eventParameters) override;
  [[nodiscard]] HapticResult<HapticPlayer> makePlayer(const HapticPattern& pattern,
                                                      HapticEngine engine) override;
  [[nodiscard]] std::optional<HapticError> startPlayer(const HapticPlayer& player) override;

 private:
  std::uint64_t nextEngineId_ = 1;
};

}  // namespace hopster
