#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "platform/haptic_device.h"
#include "platform/log.h"

namespace hopster {

// Picks the haptics this machine offers, once at start-up:
//  1. feedbackd on the session bus at `busAddress` (empty: the user's own),
//     since on a Linux phone it owns the vibration motor and honours the
//     user's feedback settings;
//  2. else the first input device under `inputDirectory` (event0, event1,
//     ... in name order) that can rumble and that this user may open;
//  3. else a device without haptics support.
[[nodiscard]] std::unique_ptr<HapticDevice> makeSystemHapticDevice(
    Log& log, const std::string& busAddress = {},
    const std::filesystem::path& inputDirectory = "/dev/input");

}  // namespace hopster
