#include "motion/motion_data_point.h"

namespace hopster {

Vector3 computeGlobalAcceleration(const Vector3& a, const RotationMatrix& m) {
  // Parenthesised as written so the rounding matches the recorded traces exactly.
  return Vector3{(m.m11 * a.x + m.m12 * a.y) + m.m13 * a.z,
                 (m.m21 * a.x + m.m22 * a.y) + m.m23 * a.z,
                 (m.m31 * a.x + m.m32 * a.y) + m.m33 * a.z};
}

MotionDataPoint makeMotionDataPoint(const DeviceMotion& sample, const Clock& clock) {
  const Vector3 global =
      computeGlobalAcceleration(sample.userAcceleration, sample.attitude.rotationMatrix);
  const double timeStamp = clock.now();
  return MotionDataPoint{
      timeStamp,
      sample.userAcceleration.x,
      sample.userAcceleration.y,
      sample.userAcceleration.z,
      sample.rotationRate.x,
      sample.rotationRate.y,
      sample.rotationRate.z,
      sample.attitude.pitch,
      sample.attitude.roll,
      sample.attitude.yaw,
      sample.gravity.x,
      sample.gravity.y,
      sample.gravity.z,
      global.x,
      global.y,
      global.z,
  };
}

}  // namespace hopster
