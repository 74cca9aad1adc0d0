#pragma once

#include <optional>

#include "platform/haptic_device.h"
#include "platform/log.h"

namespace hopster {

// The jump screen's taps (start, countdown steps, stop) on the screen's own
// haptic engine. A failure is logged and the tap skipped; it never stops
// the recording.
class JumpHaptics {
 public:
  JumpHaptics(HapticDevice& device, Log& log) : device_(device), log_(log) {}

  // Makes and starts a new engine, replacing the one kept so far. Runs each
  // time the Start / Stop button comes on screen.
  void prepareHaptics();

  // Plays one tap, first making and starting an engine if none is kept.
  // Silent on hardware without haptics.
  void playHaptic(float intensity, float sharpness);

 private:
  HapticDevice& device_;
  Log& log_;
  std::optional<HapticEngine> hapticEngine_;
};

}  // namespace hopster
