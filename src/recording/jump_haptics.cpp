#include "recording/jump_haptics.h"

#include "recording/transient_tap.h"

namespace hopster {

void JumpHaptics::prepareHaptics() {
  const auto engine = device_.makeEngine();
  if (!engine) {
    log_.line("Haptic engine failed to start: " + engine.error().description);
    return;
  }
  // The old engine is dropped, not stopped.
  hapticEngine_ = *engine;
  if (const auto error = device_.startEngine(*hapticEngine_)) {
    // The engine stays kept; taps on it fail and are logged.
    log_.line("Haptic engine failed to start: " + error->description);
  }
}

void JumpHaptics::playHaptic(float intensity, float sharpness) {
  if (!device_.supportsHaptics()) return;
  if (!hapticEngine_) {
    const auto engine = device_.makeEngine();
    if (!engine) {
      log_.line("Failed to create haptic engine: " + engine.error().description);
      return;
    }
    hapticEngine_ = *engine;
    if (const auto error = device_.startEngine(*hapticEngine_)) {
      log_.line("Failed to create haptic engine: " + error->description);
      return;
    }
  }
  const auto error = playTransientTap(
      device_, *hapticEngine_,
      {{HapticParameterId::intensity, intensity}, {HapticParameterId::sharpness, sharpness}});
  if (error) log_.line("Failed to play haptic: " + error->description);
}

}  // namespace hopster
