#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/haptic_pattern.h"
#include "platform/haptic_result.h"

namespace hopster {

// A handle of one haptic engine, numbered by the device that made it. An
// engine needs no explicit release: dropping the handle drops the engine.
struct HapticEngine {
  std::uint64_t id = 0;

  friend bool operator==(const HapticEngine&, const HapticEngine&) = default;
};

// A pattern bound to the engine it plays on.
struct HapticPlayer {
  HapticEngine engine;
  HapticPattern pattern;
};

// The phone's haptic hardware: just the calls that single transient taps
// need. Every call that can fail reports why instead of throwing; all calls
// run on the main thread and return without waiting for a tap to end.
class HapticDevice {
 public:
  virtual ~HapticDevice() = default;

  // Whether the hardware can play haptics at all.
  [[nodiscard]] virtual bool supportsHaptics() const = 0;

  [[nodiscard]] virtual HapticResult<HapticEngine> makeEngine() = 0;
  // The error, or nothing when the engine runs.
  [[nodiscard]] virtual std::optional<HapticError> startEngine(HapticEngine engine) = 0;

  // One transient tap at relative time 0 with these parameters, in order.
  [[nodiscard]] virtual HapticResult<HapticPattern> makePattern(
      std::vector<HapticEventParameter> eventParameters) = 0;
  [[nodiscard]] virtual HapticResult<HapticPlayer> makePlayer(const HapticPattern& pattern,
                                                              HapticEngine engine) = 0;
  // Starts the player at once. The error, or nothing when the tap plays.
  [[nodiscard]] virtual std::optional<HapticError> startPlayer(const HapticPlayer& player) = 0;
};

}  // namespace hopster
