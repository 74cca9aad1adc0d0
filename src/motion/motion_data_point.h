#pragma once

#include "platform/clock.h"
#include "platform/device_motion.h"

namespace hopster {

// One motion sample as kept for a recording's trace: sixteen doubles, in the
// column order of the motion CSV.
struct MotionDataPoint {
  double timeStamp = 0.0;  // wall clock when the sample was processed, s since 1970
  double accelerationX = 0.0;
  double accelerationY = 0.0;
  double accelerationZ = 0.0;
  double rotationRateX = 0.0;
  double rotationRateY = 0.0;
  double rotationRateZ = 0.0;
  double pitch = 0.0;
  double roll = 0.0;
  double yaw = 0.0;
  double gravityX = 0.0;
  double gravityY = 0.0;
  double gravityZ = 0.0;
  double globalAccelerationX = 0.0;
  double globalAccelerationY = 0.0;
  double globalAccelerationZ = 0.0;
};
static_assert(sizeof(MotionDataPoint) == 128, "a sample is sixteen packed doubles");

// The user acceleration turned into the world frame: the rotation matrix
// times the column vector, each row's first two products summed first.
[[nodiscard]] Vector3 computeGlobalAcceleration(const Vector3& userAcceleration,
                                                const RotationMatrix& matrix);

// Converts one delivered sample, stamping it with the wall clock.
[[nodiscard]] MotionDataPoint makeMotionDataPoint(const DeviceMotion& sample, const Clock& clock);

}  // namespace hopster
