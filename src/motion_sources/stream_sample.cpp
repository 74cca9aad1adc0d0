#include "motion_sources/stream_sample.h"

#include <array>

#include "motion_sources/number_fields.h"

namespace hopster {

std::optional<DeviceMotion> parseStreamSample(std::string_view line) {
  std::array<double, kStreamSampleFields> v{};
  if (!parseFiniteNumberFields(line, v)) return std::nullopt;
  DeviceMotion motion;
  motion.userAcceleration = Vector3{v[0], v[1], v[2]};
  motion.rotationRate = Vector3{v[3], v[4], v[5]};
  motion.attitude =
      Attitude{v[6], v[7], v[8],
               RotationMatrix{v[9], v[10], v[11], v[12], v[13], v[14], v[15], v[16], v[17]}};
  motion.gravity = Vector3{v[18], v[19], v[20]};
  return motion;
}

}  // namespace hopster
