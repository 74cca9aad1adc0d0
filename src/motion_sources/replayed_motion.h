#pragma once

#include "motion/motion_data_point.h"
#include "platform/device_motion.h"

namespace hopster {

// The smallest rotation that turns the direction of `from` into the direction
// of `to` (a rotation about their common perpendicular). When they point
// opposite ways the turn is half a revolution about an axis perpendicular to
// `from`; when either vector is zero or not finite there is no direction to
// turn and the result is the identity.
[[nodiscard]] RotationMatrix rotationBetween(const Vector3& from, const Vector3& to);

// A recorded sample turned back into a delivery: the recorded members, and
// a rotation matrix that carries the recorded user acceleration onto the
// recorded world-frame acceleration. A trace keeps no attitude matrix, but
// this one gives the jump detector the recorded vertical signal again.
[[nodiscard]] DeviceMotion replayedMotion(const MotionDataPoint& point);

}  // namespace hopster
