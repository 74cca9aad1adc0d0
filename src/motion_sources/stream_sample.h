#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

#include "platform/device_motion.h"

namespace hopster {

// Numbers on one line of a live motion stream.
inline constexpr std::size_t kStreamSampleFields = 21;

// Reads one stream line: user acceleration x, y, z; rotation rate x, y, z;
// pitch, roll, yaw; the rotation matrix m11 to m33 row by row; gravity x, y,
// z, comma-separated. Nothing when the line is anything else (a header line
// included), and nothing when any of the numbers is not finite: a live source
// never delivers a nan or an infinity.
[[nodiscard]] std::optional<DeviceMotion> parseStreamSample(std::string_view line);

}  // namespace hopster
