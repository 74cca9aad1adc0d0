#include "motion_sources/replayed_motion.h"

#include <algorithm>
#include <cmath>
#include "motion_sources/rotation_math.h"

namespace hopster {
namespace {

using namespace rotation;

struct Quaternion {
  double w, x, y, z;
};

bool usable(const Vector3& v) {
  return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z) &&
         (v.x != 0.0 || v.y != 0.0 || v.z != 0.0);
}

// Rotation taking unit vector a onto unit vector b, for a and b at most a
// quarter turn apart: twice the rotation from a onto the unit bisector h,
// which is (a·h, a×h) as a quaternion. |a + b| >= sqrt(2) here, so the
// bisector is well defined.
Quaternion turnWithinQuarter(const Vector3& a, const Vector3& b) {
  const Vector3 h = unit(Vector3{a.x + b.x, a.y + b.y, a.z + b.z});
  const Vector3 v = cross(a, h);
  return Quaternion{dot(a, h), v.x, v.y, v.z};
}

// A unit axis perpendicular to unit vector a: a's cross product with the
// coordinate axis it leans on least.
Vector3 perpendicularTo(const Vector3& a) {
  const double ax = std::abs(a.x), ay = std::abs(a.y), az = std::abs(a.z);
  const Vector3 axis = ax <= ay && ax <= az ? Vector3{1.0, 0.0, 0.0}
                       : ay <= az           ? Vector3{0.0, 1.0, 0.0}
                                            : Vector3{0.0, 0.0, 1.0};
  return unit(cross(a, axis));
}

// p ⊗ (0, n): the rotation p applied after a half turn about n.
Quaternion afterHalfTurn(const Quaternion& p, const Vector3& n) {
  const Vector3 v{p.x, p.y, p.z};
  const Vector3 c = cross(v, n);
  return Quaternion{-dot(v, n), p.w * n.x + c.x, p.w * n.y + c.y, p.w * n.z + c.z};
}

RotationMatrix matrixOf(Quaternion q) {
  const double norm = std::sqrt(q.w * q.w + q.x * q.x + q.y * q.y + q.z * q.z);
  q = Quaternion{q.w / norm, q.x / norm, q.y / norm, q.z / norm};
  const double xx = q.x * q.x, yy = q.y * q.y, zz = q.z * q.z;
  const double xy = q.x * q.y, xz = q.x * q.z, yz = q.y * q.z;
  const double wx = q.w * q.x, wy = q.w * q.y, wz = q.w * q.z;
  return RotationMatrix{
      1.0 - 2.0 * (yy + zz), 2.0 * (xy - wz),       2.0 * (xz + wy),
      2.0 * (xy + wz),       1.0 - 2.0 * (xx + zz), 2.0 * (yz - wx),
      2.0 * (xz - wy),       2.0 * (yz + wx),       1.0 - 2.0 * (xx + yy),
  };
}

// Below this sine of the angle between them, two directions more than a
// quarter turn apart count as opposite and any perpendicular axis will do.
constexpr double kOppositeSine = 1e-9;

}  // namespace

RotationMatrix rotationBetween(const Vector3& from, const Vector3& to) {
  if (!usable(from) || !usable(to)) return RotationMatrix{};
  const Vector3 a = unit(from);
  const Vector3 b = unit(to);
  if (dot(a, b) >= 0.0) return matrixOf(turnWithinQuarter(a, b));

  // Wider than a quarter turn the bisector of a and b gets short and loses
  // its direction to rounding. The same rotation is a half turn about the
  // common perpendicular k, taking a to -a, followed by the turn from -a
  // onto b, which is again within a quarter. k is made exactly
  // perpendicular to a so the half turn lands on -a whatever k's rounding.
  const Vector3 k = cross(a, b);
  Vector3 axis;
  if (length(k) > kOppositeSine) {
    const Vector3 direction = unit(k);
    axis = unit(minus(direction, scaled(a, dot(direction, a))));
  } else {
    axis = perpendicularTo(a);
  }
  return matrixOf(afterHalfTurn(turnWithinQuarter(scaled(a, -1.0), b), axis));
}

DeviceMotion replayedMotion(const MotionDataPoint& p) {
  DeviceMotion motion;
  motion.userAcceleration = Vector3{p.accelerationX, p.accelerationY, p.accelerationZ};
  motion.rotationRate = Vector3{p.rotationRateX, p.rotationRateY, p.rotationRateZ};
  motion.attitude.pitch = p.pitch;
  motion.attitude.roll = p.roll;
  motion.attitude.yaw = p.yaw;
  motion.attitude.rotationMatrix =
      rotationBetween(motion.userAcceleration,
                      Vector3{p.globalAccelerationX, p.globalAccelerationY, p.globalAccelerationZ});
  motion.gravity = Vector3{p.gravityX, p.gravityY, p.gravityZ};
  return motion;
}

}  // namespace hopster
