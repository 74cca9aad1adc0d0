#pragma once

// The skipping jumper of the phone tests as Sensor Logger reports them, from
// headphones, an iPhone or an Android phone, in a pose that nods and turns.
#include <array>
#include <cmath>

#include "motion_sources/push_message.h"
#include "platform/device_motion.h"
#include "support/skipping_jumper.h"

namespace hopster {

// The jumper, and the g its readings are in.
inline constexpr double kG = 9.80665;
inline constexpr int kRate = testing::kJumperRate;
inline constexpr int kJumps = testing::kJumperJumps;
inline constexpr int kReadings = testing::kJumperReadings;
using testing::jumperAcceleration;

using Fields = std::vector<std::pair<std::string, double>>;
using Quaternion = std::array<double, 4>;  // w, x, y, z

template <typename T>
std::vector<T> operator+(std::vector<T> a, const std::vector<T>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// The device nods about its x axis and turns about the vertical: the matrix
// turning its frame into the world's, written out from the two turns, and the
// product of the two half-angle quaternions.
struct Pose {
  double tilt, yaw;
  RotationMatrix toWorld;
  Quaternion quaternion;
};
inline Pose poseAt(double t) {
  const double a = 0.5 + 0.15 * std::sin(1.9 * t), y = 1.2 + 0.3 * t;
  const double ca = std::cos(a), sa = std::sin(a), cy = std::cos(y), sy = std::sin(y);
  return {a,
          y,
          RotationMatrix{cy, -sy * ca, sy * sa, sy, cy * ca, -cy * sa, 0.0, sa, ca},
          {std::cos(y / 2) * std::cos(a / 2), std::cos(y / 2) * std::sin(a / 2),
           std::sin(y / 2) * std::sin(a / 2), std::sin(y / 2) * std::cos(a / 2)}};
}
// A world vector in the device's frame, times `f`.
inline Vector3 inDevice(double t, const Vector3& v, double f = 1.0) {
  const RotationMatrix w = poseAt(t).toWorld;
  return {f * (w.m11 * v.x + w.m21 * v.y + w.m31 * v.z),
          f * (w.m12 * v.x + w.m22 * v.y + w.m32 * v.z),
          f * (w.m13 * v.x + w.m23 * v.y + w.m33 * v.z)};
}
// In the headphones' sign the acceleration reads against the motion and
// gravity points down (g).
inline Vector3 userAt(double t, double f = 1.0) {
  return inDevice(t, {0, 0, -jumperAcceleration(t)}, f);
}
inline Vector3 gravityAt(double t, double f = 1.0) { return inDevice(t, {0, 0, -1}, f); }

// Fields "<prefix>X", "<prefix>Y", ...: names match without regard to case.
inline Fields vector(const std::string& prefix, const Vector3& v) {
  return {{prefix + "X", v.x}, {prefix + "Y", v.y}, {prefix + "Z", v.z}};
}
inline Fields quaternion(const std::string& prefix, const Quaternion& q) {
  return {{prefix + "W", q[0]}, {prefix + "X", q[1]}, {prefix + "Y", q[2]}, {prefix + "Z", q[3]}};
}

enum class Device { headphones, iPhone, android, androidTotalOnly, androidWithoutGravity };

// The jumper as each device reports them, named and signed as Sensor Logger
// does; `conjugated` sends the quaternion turning the other way.
inline std::vector<PushReading> jumperReadings(Device device, bool conjugated = false) {
  std::vector<PushReading> readings;
  for (int i = 0; i < kReadings; ++i) {
    const double t = static_cast<double>(i) / kRate;
    const std::int64_t ns = 1698501144401773000 + std::int64_t{i} * (1'000'000'000 / kRate);
    const Pose pose = poseAt(t);
    const Quaternion& q = pose.quaternion;
    const Quaternion sent = conjugated ? Quaternion{q[0], -q[1], -q[2], -q[3]} : q;
    if (device == Device::headphones) {
      readings.push_back({"headphone", ns,
                          vector("acceleration", userAt(t)) + vector("gravity", gravityAt(t, kG)) +
                              quaternion("quaternion", sent) + vector("rotationRate", {0, 0, t}) +
                              Fields{{"pitch", pose.tilt}, {"yaw", pose.yaw}}});
      continue;
    }
    // Android reads acceleration and gravity the other way round, and turns
    // pitch and yaw the other way.
    const double sign = device == Device::iPhone ? 1.0 : -1.0;
    if (device != Device::androidWithoutGravity) {
      readings.push_back({"gravity", ns, vector("", gravityAt(t, sign * kG))});
    }
    readings.push_back(
        {"orientation", ns,
         quaternion("q", sent) + Fields{{"pitch", sign * pose.tilt}, {"yaw", sign * pose.yaw}}});
    readings.push_back({"gyroscope", ns, vector("", {0, 0, t})});
    if (device == Device::iPhone || device == Device::android) {
      readings.push_back({"accelerometer", ns, vector("", userAt(t, sign * kG))});
    }
    if (device != Device::iPhone) {
      const Vector3 a = userAt(t, sign * kG), g = gravityAt(t, sign * kG);
      readings.push_back({"totalacceleration", ns, vector("", {a.x + g.x, a.y + g.y, a.z + g.z})});
    }
  }
  return readings;
}

}  // namespace hopster
