#include "motion_sources/attitude_filter.h"

#include <algorithm>
#include <cmath>

#include "motion_sources/replayed_motion.h"
#include "motion_sources/rotation_math.h"

namespace hopster {
namespace {

using namespace rotation;

bool usable(const Vector3& v) {
  const auto ok = [](double x) {
    return std::isfinite(x) && std::abs(x) <= AttitudeFilter::kLargestReading;
  };
  return ok(v.x) && ok(v.y) && ok(v.z);
}

// The turn by `angle` vector (radians, its direction the axis): Rodrigues.
RotationMatrix turn(const Vector3& angle) {
  const double theta = std::sqrt(angle.x * angle.x + angle.y * angle.y + angle.z * angle.z);
  if (theta < 1e-12) return {};
  const double x = angle.x / theta, y = angle.y / theta, z = angle.z / theta;
  // A step turns a few hundredths of a radian at most; there the series are
  // exact to rounding (their next terms are below 1e-11) and cost a fraction
  // of sin and cos.
  double c = 0.0, s = 0.0;
  if (theta < 0.1) {
    const double t2 = theta * theta;
    s = theta * (1.0 - t2 / 6.0 * (1.0 - t2 / 20.0));
    c = 1.0 - t2 / 2.0 * (1.0 - t2 / 12.0 * (1.0 - t2 / 30.0));
  } else {
    c = std::cos(theta);
    s = std::sin(theta);
  }
  const double t = 1.0 - c;
  return {t * x * x + c,     t * x * y - s * z, t * x * z + s * y, t * x * y + s * z, t * y * y + c,
          t * y * z - s * x, t * x * z - s * y, t * y * z + s * x, t * z * z + c};
}

// The least rotation that turns `v` straight down, (0, 0, -1): with
// c = cos of the angle and s = v̂ × down, R = I + [s]× + [s]×² / (1 + c),
// which needs no trigonometry. Near straight up 1 + c vanishes and the
// general construction takes over.
RotationMatrix turnDown(const Vector3& v) {
  const double n = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
  if (!(n > 0.0) || !std::isfinite(n)) return {};
  const double x = v.x / n, y = v.y / n, z = v.z / n;
  const double c = -z;
  if (1.0 + c < 0.05) return rotationBetween(v, {0.0, 0.0, -1.0});
  // s = (x, y, z) × (0, 0, -1) = (-y, x, 0).
  const double k = 1.0 / (1.0 + c);
  return {1.0 - k * x * x,          -k * x * y, x, -k * x * y, 1.0 - k * y * y, y, -x, -y,
          1.0 - k * (x * x + y * y)};
}

// The angles are for the record only (the counter uses the matrix), so they
// are taken in single precision, a tenth of a microradian: the double
// versions cost several times the rest of the filter.
Attitude attitudeOf(const RotationMatrix& m) {
  const auto f = [](double v) { return static_cast<float>(v); };
  return {std::asin(std::clamp(f(-m.m31), -1.0F, 1.0F)), std::atan2(f(m.m32), f(m.m33)),
          std::atan2(f(m.m21), f(m.m11)), m};
}

}  // namespace

std::optional<DeviceMotion> AttitudeFilter::update(const Vector3& specificForce,
                                                   const std::optional<Vector3>& rotationRate,
                                                   double dt) {
  if (!usable(specificForce) || (rotationRate && !usable(*rotationRate))) return std::nullopt;
  if (!std::isfinite(dt) || dt < 0.0) dt = 0.0;
  dt = std::min(dt, kLongestStep);
  // The headphones' sign: the opposite of the specific force.
  const Vector3 total{-specificForce.x, -specificForce.y, -specificForce.z};

  if (rotationRate && seen_ > 0) {
    // The device turned by ω dt, so a fixed world vector turns the other way
    // in its frame: g' = Δᵀ g.
    const RotationMatrix delta =
        turn({rotationRate->x * dt, rotationRate->y * dt, rotationRate->z * dt});
    gravity_ = timesTransposed(delta, gravity_);
    attitude_ = product(attitude_, delta);
  }
  ++seen_;
  const double weight = std::max(dt / kTimeConstant, 1.0 / static_cast<double>(seen_));
  gravity_.x += weight * (total.x - gravity_.x);
  gravity_.y += weight * (total.y - gravity_.y);
  gravity_.z += weight * (total.z - gravity_.z);

  if (rotationRate) {
    // Keep the gyroscope's heading; tilt the attitude by the least turn that
    // puts the gravity estimate straight down again.
    attitude_ = product(turnDown(times(attitude_, gravity_)), attitude_);
  } else {
    attitude_ = turnDown(gravity_);
  }

  DeviceMotion sample;
  sample.gravity = gravity_;
  sample.userAcceleration = {total.x - gravity_.x, total.y - gravity_.y, total.z - gravity_.z};
  if (rotationRate) sample.rotationRate = *rotationRate;
  sample.attitude = attitudeOf(attitude_);
  return sample;
}

void AttitudeFilter::reset() { *this = AttitudeFilter(); }

}  // namespace hopster
