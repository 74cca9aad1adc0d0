#include "recording/transient_tap.h"

#include <utility>

namespace hopster {

std::optional<HapticError> playTransientTap(HapticDevice& device, HapticEngine engine,
                                            std::vector<HapticEventParameter> eventParameters) {
  const auto pattern = device.makePattern(std::move(eventParameters));
  if (!pattern) return pattern.error();
  const auto player = device.makePlayer(*pattern, engine);
  if (!player) return player.error();
  return device.startPlayer(*player);
}

}  // namespace hopster
