#include "motion_sources/phone_sample_builder.h"

#include <algorithm>
#include <cmath>
#include <string_view>

#include "motion_sources/replayed_motion.h"
#include "motion_sources/rotation_math.h"

namespace hopster {
namespace {

using namespace rotation;

constexpr double kStandardGravity = 9.80665;  // m/s² in one g
constexpr Vector3 kDown{0.0, 0.0, -1.0};

using Quaternion = std::array<double, 4>;  // w, x, y, z

bool isZero(const Vector3& v) { return v.x == 0.0 && v.y == 0.0 && v.z == 0.0; }

// m/s² into g. A gravity so small that nothing of it is left in g has no down.
Vector3 inG(const Vector3& metresPerSecondSquared) {
  return scaled(metresPerSecondSquared, 1.0 / kStandardGravity);
}

// Whole and fractional seconds apart, so the nanoseconds survive in the double.
double secondsSince1970(std::int64_t timeNs) {
  constexpr std::int64_t kBillion = 1'000'000'000;
  return static_cast<double>(timeNs / kBillion) + static_cast<double>(timeNs % kBillion) * 1e-9;
}

// The rotation matrix of a quaternion (the rotation it applies to a vector),
// normalised first; nothing when it has no direction. Scaled by its largest
// component before squaring, so a tiny quaternion's squares do not underflow.
std::optional<RotationMatrix> matrixOf(const Quaternion& quaternion) {
  const auto [qw, qx, qy, qz] = quaternion;
  const double largest = std::max({std::abs(qw), std::abs(qx), std::abs(qy), std::abs(qz)});
  if (!std::isfinite(largest) || largest == 0.0) return std::nullopt;
  const double sw = qw / largest, sx = qx / largest, sy = qy / largest, sz = qz / largest;
  const double norm = std::sqrt(sw * sw + sx * sx + sy * sy + sz * sz);
  if (!std::isfinite(norm)) return std::nullopt;
  const double w = sw / norm, x = sx / norm, y = sy / norm, z = sz / norm;
  return RotationMatrix{
      1.0 - 2.0 * (y * y + z * z), 2.0 * (x * y - w * z),       2.0 * (x * z + w * y),
      2.0 * (x * y + w * z),       1.0 - 2.0 * (x * x + z * z), 2.0 * (y * z - w * x),
      2.0 * (x * z - w * y),       2.0 * (y * z + w * x),       1.0 - 2.0 * (x * x + y * y),
  };
}

// The world-frame vertical of `v` turned by `m`, as a fraction of |v|: -1 for
// straight down, +1 for straight up.
double verticalFraction(const RotationMatrix& m, const Vector3& v) {
  return (m.m31 * v.x + m.m32 * v.y + m.m33 * v.z) / std::hypot(v.x, v.y, v.z);
}

// A sample's attitude. Gravity says where down is; the orientation
// quaternion, when it agrees, adds the heading. Sensor Logger does not say
// which way its quaternions turn, so the quaternion's matrix and its
// transpose are both tried; the one that turns gravity nearer straight down
// is kept when it does so within kAttitudeTolerance, and the small tilt left
// between them is taken out. Otherwise (no quaternion, or one that
// disagrees) the smallest rotation that turns gravity straight down. Only
// gravity's direction counts, taken first so any magnitude turns as exactly.
RotationMatrix attitudeFor(const Vector3& sentGravity,
                           const std::optional<Quaternion>& quaternion) {
  const Vector3 gravity = unit(sentGravity);
  if (const std::optional<RotationMatrix> m = quaternion ? matrixOf(*quaternion) : std::nullopt) {
    const RotationMatrix t = transposed(*m);
    const RotationMatrix& best =
        verticalFraction(*m, gravity) <= verticalFraction(t, gravity) ? *m : t;
    if (-verticalFraction(best, gravity) >= std::cos(PhoneSampleBuilder::kAttitudeTolerance)) {
      return product(rotationBetween(times(best, gravity), kDown), best);
    }
  }
  return rotationBetween(gravity, kDown);
}

// No sensor reads anywhere near this (in g, m/s², rad/s or rad); below it
// every product the counter forms from a sample stays finite.
constexpr double kLargestReading = 1e9;

// Reads a reading's fields, noting any that it needs but lacks and any that
// it uses but are not finite (or beyond kLargestReading); either makes the
// reading malformed.
class FieldReader {
 public:
  explicit FieldReader(const PushReading& reading) : reading_(reading) {}

  double need(std::string_view name) {
    const std::optional<double> value = use(name);
    if (!value) bad_ = true;
    return value.value_or(0.0);
  }
  Vector3 needVector(std::string_view x, std::string_view y, std::string_view z) {
    return Vector3{need(x), need(y), need(z)};
  }
  // A field that may be missing; present, it must be finite.
  std::optional<double> use(std::string_view name) {
    const std::optional<double> value = reading_.field(name);
    if (value && !(std::abs(*value) <= kLargestReading)) bad_ = true;
    return value;
  }
  // A group of fields used only when all of them came.
  std::optional<Vector3> useVector(std::string_view x, std::string_view y, std::string_view z) {
    const auto a = use(x), b = use(y), c = use(z);
    if (!a || !b || !c) return std::nullopt;
    return Vector3{*a, *b, *c};
  }
  std::optional<Quaternion> useQuaternion(std::string_view w, std::string_view x,
                                          std::string_view y, std::string_view z) {
    const auto a = use(w), b = use(x), c = use(y), d = use(z);
    if (!a || !b || !c || !d) return std::nullopt;
    return Quaternion{*a, *b, *c, *d};
  }
  [[nodiscard]] bool ok() const { return !bad_; }

 private:
  const PushReading& reading_;
  bool bad_ = false;
};

}  // namespace

PhoneSampleBuilder::PhoneSampleBuilder(Log& log) : log_(log) {}

std::optional<TimedMotion> PhoneSampleBuilder::add(const PushReading& reading) {
  if (reading.name == "headphone") return addHeadphone(reading);
  if (headphones_) return std::nullopt;
  return addPhone(reading);
}

std::optional<TimedMotion> PhoneSampleBuilder::addHeadphone(const PushReading& reading) {
  FieldReader fields(reading);
  const Vector3 acceleration = fields.needVector("accelerationX", "accelerationY", "accelerationZ");
  const Vector3 gravity = fields.needVector("gravityX", "gravityY", "gravityZ");
  const std::optional<Quaternion> quaternion =
      fields.useQuaternion("quaternionW", "quaternionX", "quaternionY", "quaternionZ");
  const std::optional<Vector3> rate =
      fields.useVector("rotationRateX", "rotationRateY", "rotationRateZ");
  const double pitch = fields.use("pitch").value_or(0.0);
  const double roll = fields.use("roll").value_or(0.0);
  const double yaw = fields.use("yaw").value_or(0.0);
  // A gravity of zero length has no down to turn the acceleration by.
  if (!fields.ok() || isZero(inG(gravity))) {
    ++malformed_;
    return std::nullopt;
  }
  headphones_ = true;
  watchUnits(acceleration);

  TimedMotion sample;
  sample.time = secondsSince1970(reading.timeNs);
  sample.fromHeadphones = true;
  sample.motion.userAcceleration = acceleration;  // g, as the headphones deliver it
  sample.motion.rotationRate = rate.value_or(Vector3{});
  sample.motion.gravity = inG(gravity);  // always sent in m/s²
  sample.motion.attitude =
      Attitude{pitch, roll, yaw, attitudeFor(sample.motion.gravity, quaternion)};
  return sample;
}

std::optional<TimedMotion> PhoneSampleBuilder::addPhone(const PushReading& reading) {
  FieldReader fields(reading);
  const std::string& name = reading.name;
  if (name == "gravity") {
    const Vector3 gravity = fields.needVector("x", "y", "z");
    if (fields.ok() && !isZero(inG(gravity))) {
      gravity_ = gravity;
      decidePlatform();
      return std::nullopt;
    }
  } else if (name == "orientation") {
    Orientation orientation;
    orientation.quaternion =
        Quaternion{fields.need("qw"), fields.need("qx"), fields.need("qy"), fields.need("qz")};
    orientation.pitch = fields.use("pitch").value_or(0.0);
    orientation.roll = fields.use("roll").value_or(0.0);
    orientation.yaw = fields.use("yaw").value_or(0.0);
    if (fields.ok() && matrixOf(orientation.quaternion)) {
      orientation_ = orientation;
      decidePlatform();
      return std::nullopt;
    }
  } else if (name == "gyroscope") {
    const Vector3 rate = fields.needVector("x", "y", "z");
    if (fields.ok()) {
      rotationRate_ = rate;  // the same sign on both platforms
      return std::nullopt;
    }
  } else if (name == "totalacceleration") {
    const Vector3 total = fields.needVector("x", "y", "z");
    if (fields.ok()) {
      platform_ = Platform::android;  // only Android sends it
      estimateGravity(total, reading.timeNs);
      if (sawAccelerometer_) return std::nullopt;
      const std::optional<Vector3>& gravity = gravity_ ? gravity_ : lowPassed_;
      if (!gravity) return std::nullopt;
      return phoneSample(reading, minus(total, *gravity));
    }
  } else if (name == "accelerometer") {
    const Vector3 acceleration = fields.needVector("x", "y", "z");
    if (fields.ok()) {
      sawAccelerometer_ = true;
      return phoneSample(reading, acceleration);
    }
  } else {
    return std::nullopt;  // a sensor without motion
  }
  ++malformed_;
  return std::nullopt;
}

std::optional<TimedMotion> PhoneSampleBuilder::phoneSample(const PushReading& reading,
                                                           const Vector3& acceleration) {
  // Gravity from the sensor, or from the low-pass while the stream sends none.
  const std::optional<Vector3>& gravity = gravity_ ? gravity_ : lowPassed_;
  if (!gravity) return std::nullopt;
  // Into g, and into the iOS sign: Android's is the opposite on every axis.
  const bool android = platform_ == Platform::android;
  const double factor = (android ? -1.0 : 1.0) / kStandardGravity;
  if (isZero(scaled(*gravity, factor))) return std::nullopt;  // nothing left in g: no down

  TimedMotion sample;
  sample.time = secondsSince1970(reading.timeNs);
  sample.motion.userAcceleration = scaled(acceleration, factor);
  sample.motion.rotationRate = rotationRate_;
  sample.motion.gravity = scaled(*gravity, factor);
  Attitude& attitude = sample.motion.attitude;
  if (orientation_) {
    // Android's pitch and yaw turn the other way round their axes.
    attitude.pitch = android ? -orientation_->pitch : orientation_->pitch;
    attitude.roll = orientation_->roll;
    attitude.yaw = android ? -orientation_->yaw : orientation_->yaw;
    attitude.rotationMatrix = attitudeFor(sample.motion.gravity, orientation_->quaternion);
  } else {
    attitude.rotationMatrix = attitudeFor(sample.motion.gravity, std::nullopt);
  }
  return sample;
}

void PhoneSampleBuilder::estimateGravity(const Vector3& total, std::int64_t timeNs) {
  if (!lowPassed_) {
    lowPassed_ = total;
    lowPassedTimeNs_ = timeNs;
    return;
  }
  // In doubles: two arbitrary 64-bit times could overflow their difference.
  const double dt = (static_cast<double>(timeNs) - static_cast<double>(lowPassedTimeNs_)) * 1e-9;
  if (!(dt > 0.0)) return;  // a reading out of order says nothing newer
  const double weight = 1.0 - std::exp(-dt / kGravityTimeConstant);
  const Vector3 change = scaled(minus(total, *lowPassed_), weight);
  lowPassed_ =
      Vector3{lowPassed_->x + change.x, lowPassed_->y + change.y, lowPassed_->z + change.z};
  lowPassedTimeNs_ = timeNs;
}

void PhoneSampleBuilder::decidePlatform() {
  if (platform_ != Platform::undecided || !gravity_ || !orientation_) return;
  const std::optional<RotationMatrix> m = matrixOf(orientation_->quaternion);
  if (!m) return;
  // The quaternion's direction is unknown, so both ways are tried; a pose in
  // which one way says down and the other up decides nothing.
  const double limit = std::cos(kAttitudeTolerance);
  bool down = false, up = false;
  for (const RotationMatrix& turn : {*m, transposed(*m)}) {
    const double vertical = verticalFraction(turn, unit(*gravity_));
    down = down || vertical <= -limit;
    up = up || vertical >= limit;
  }
  if (down != up) platform_ = down ? Platform::iOS : Platform::android;
}

void PhoneSampleBuilder::watchUnits(const Vector3& acceleration) {
  if (unitsWarned_) return;
  magnitudes_[magnitudesSeen_ % kUnitsWindow] =
      std::hypot(acceleration.x, acceleration.y, acceleration.z);
  if (++magnitudesSeen_ < kUnitsWindow) return;
  std::array<double, kUnitsWindow> sorted = magnitudes_;
  const auto middle = sorted.begin() + kUnitsWindow / 2;
  std::nth_element(sorted.begin(), middle, sorted.end());
  if (*middle > kMetresPerSecondSquaredHint) {
    unitsWarned_ = true;
    log_.line(
        "Sensor Logger's headphone acceleration looks like m/s², not g: switch \"Standardise "
        "Units & Frames\" off in its settings, or the jumps will be miscounted");
  }
}

}  // namespace hopster
