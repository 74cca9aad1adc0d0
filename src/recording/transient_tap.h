#pragma once

#include <optional>
#include <vector>

#include "platform/haptic_device.h"

namespace hopster {

// Plays one transient tap with `eventParameters`, in their order, on
// `engine`: makes the pattern, makes a player for it and starts the player
// at once. The first error stops it and is returned.
[[nodiscard]] std::optional<HapticError> playTransientTap(
    HapticDevice& device, HapticEngine engine, std::vector<HapticEventParameter> eventParameters);

}  // namespace hopster
