#pragma once

#include <optional>

#include "platform/haptic_device.h"
#include "platform/log.h"

namespace hopster {

// A trophy card's tap on the card's own haptic engine. Every outcome,
// success included, is logged as one line.
class TrophyCardHaptics {
 public:
  TrophyCardHaptics(HapticDevice& device, Log& log) : device_(device), log_(log) {}

  // Makes and starts a new engine, replacing the one kept so far. Runs each
  // time the card comes on screen.
  void prepareTrophyHaptics();

  // Plays the card's tap (sharpness 1.0, intensity 1.5) on the card's
  // engine; never makes an engine itself.
  void playTrophyHaptic();

 private:
  HapticDevice& device_;
  Log& log_;
  std::optional<HapticEngine> hapticEngine_;
};

}  // namespace hopster
