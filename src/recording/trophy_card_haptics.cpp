#include "recording/trophy_card_haptics.h"

#include "recording/transient_tap.h"

namespace hopster {

void TrophyCardHaptics::prepareTrophyHaptics() {
  log_.line("Preparing haptics");
  const auto engine = device_.makeEngine();
  if (!engine) {
    log_.line("Haptic engine creation error: " + engine.error().description);
    return;
  }
  // The old engine is dropped, not stopped.
  hapticEngine_ = *engine;
  if (const auto error = device_.startEngine(*hapticEngine_)) {
    // The engine stays kept; taps on it fail and are logged.
    log_.line("Haptic engine creation error: " + error->description);
    return;
  }
  log_.line("Haptic engine started");
}

void TrophyCardHaptics::playTrophyHaptic() {
  if (!device_.supportsHaptics()) {
    log_.line("Haptics not supported on this device");
    return;
  }
  if (!hapticEngine_) {
    log_.line("Haptic engine not initialized");
    return;
  }
  // Sharpness first, and an intensity above the scale's 1.0: the card asks
  // for the strongest tap the device can give.
  const auto error = playTransientTap(
      device_, *hapticEngine_,
      {{HapticParameterId::sharpness, 1.0F}, {HapticParameterId::intensity, 1.5F}});
  if (error) {
    log_.line("Failed to play haptic pattern: " + error->description);
    return;
  }
  log_.line("Haptic played successfully");
}

}  // namespace hopster
