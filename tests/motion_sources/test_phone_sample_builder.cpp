#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "motion/motion_data_point.h"
#include "motion_sources/phone_sample_builder.h"
#include "motion_sources/replayed_motion.h"
#include "recording/motion_pipeline.h"
#include "support/skipping_jumper.h"

namespace hopster {
namespace {

using Platform = PhoneSampleBuilder::Platform;
using Fields = std::vector<std::pair<std::string, double>>;
using Quaternion = std::array<double, 4>;  // w, x, y, z

constexpr double kG = 9.80665;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr int kRate = testing::kJumperRate;
constexpr int kJumps = testing::kJumperJumps;
constexpr int kReadings = testing::kJumperReadings;
using testing::jumperAcceleration;

// The device nods about its x axis and turns about the vertical: the matrix
// turning its frame into the world's, written out from the two turns, and the
// product of the two half-angle quaternions.
struct Pose {
  double tilt, yaw;
  RotationMatrix toWorld;
  Quaternion quaternion;
};
Pose poseAt(double t) {
  const double a = 0.5 + 0.15 * std::sin(1.9 * t), y = 1.2 + 0.3 * t;
  const double ca = std::cos(a), sa = std::sin(a), cy = std::cos(y), sy = std::sin(y);
  return {a,
          y,
          RotationMatrix{cy, -sy * ca, sy * sa, sy, cy * ca, -cy * sa, 0.0, sa, ca},
          {std::cos(y / 2) * std::cos(a / 2), std::cos(y / 2) * std::sin(a / 2),
           std::sin(y / 2) * std::sin(a / 2), std::sin(y / 2) * std::cos(a / 2)}};
}
// A world vector in the device's frame, times `f`.
Vector3 inDevice(double t, const Vector3& v, double f = 1.0) {
  const RotationMatrix w = poseAt(t).toWorld;
  return {f * (w.m11 * v.x + w.m21 * v.y + w.m31 * v.z),
          f * (w.m12 * v.x + w.m22 * v.y + w.m32 * v.z),
          f * (w.m13 * v.x + w.m23 * v.y + w.m33 * v.z)};
}
// In the headphones' sign the acceleration reads against the motion and
// gravity points down (g).
Vector3 userAt(double t, double f = 1.0) { return inDevice(t, {0, 0, -jumperAcceleration(t)}, f); }
Vector3 gravityAt(double t, double f = 1.0) { return inDevice(t, {0, 0, -1}, f); }

double distance(const Vector3& a, const Vector3& b) {
  return std::hypot(a.x - b.x, a.y - b.y, a.z - b.z);
}
double largestDifference(const RotationMatrix& a, const RotationMatrix& b) {
  std::array<double, 9> p{}, q{};
  std::memcpy(p.data(), &a, sizeof a);
  std::memcpy(q.data(), &b, sizeof b);
  double most = 0.0;
  for (std::size_t i = 0; i < p.size(); ++i) most = std::max(most, std::abs(p[i] - q[i]));
  return most;
}
// Fields "<prefix>X", "<prefix>Y", ...: names match without regard to case.
Fields vector(const std::string& prefix, const Vector3& v) {
  return {{prefix + "X", v.x}, {prefix + "Y", v.y}, {prefix + "Z", v.z}};
}
Fields quaternion(const std::string& prefix, const Quaternion& q) {
  return {{prefix + "W", q[0]}, {prefix + "X", q[1]}, {prefix + "Y", q[2]}, {prefix + "Z", q[3]}};
}
Fields operator+(Fields a, const Fields& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

enum class Device { headphones, iPhone, android, androidTotalOnly, androidWithoutGravity };

// The jumper as each device reports them, named and signed as Sensor Logger
// does; `conjugated` sends the quaternion turning the other way.
std::vector<PushReading> jumperReadings(Device device, bool conjugated = false) {
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

Vector3 worldOf(const DeviceMotion& m) {
  return computeGlobalAcceleration(m.userAcceleration, m.attitude.rotationMatrix);
}

// Checked on every sample of every fixture: its matrix turns its gravity straight down.
void expectGravityTurnedDown(const DeviceMotion& m) {
  const double g = std::hypot(m.gravity.x, m.gravity.y, m.gravity.z);
  EXPECT_LT(distance(computeGlobalAcceleration(m.gravity, m.attitude.rotationMatrix), {0, 0, -g}),
            1e-9 * g);
}

TEST(PhoneSampleBuilder, TheSameJumperGivesTheSameVerticalSignalAndCountOnEveryDevice) {
  const struct {
    const char* name;
    Device device;
    bool conjugated;
    Platform platform;
    bool exact;  // false: gravity is estimated, so the signal is only close
  } devices[] = {
      {"headphones", Device::headphones, false, Platform::undecided, true},
      {"headphones, quaternion the other way", Device::headphones, true, Platform::undecided, true},
      {"iPhone", Device::iPhone, false, Platform::iOS, true},
      {"Android", Device::android, false, Platform::android, true},
      {"Android, quaternion the other way", Device::android, true, Platform::android, true},
      {"Android, total acceleration only", Device::androidTotalOnly, false, Platform::android,
       true},
      {"Android, no gravity sensor", Device::androidWithoutGravity, false, Platform::android,
       false},
  };
  for (const auto& d : devices) {
    SCOPED_TRACE(d.name);
    MemoryLog log;
    PhoneSampleBuilder builder(log);
    std::vector<TimedMotion> samples;
    for (const PushReading& r : jumperReadings(d.device, d.conjugated)) {
      if (std::optional<TimedMotion> s = builder.add(r)) samples.push_back(*s);
    }
    ASSERT_EQ(samples.size(), static_cast<std::size_t>(kReadings));
    EXPECT_EQ(builder.platform(), d.platform);
    EXPECT_EQ(builder.malformedReadings(), 0u);
    EXPECT_TRUE(log.lines().empty());
    int jumps = 0;
    bool armed = true;
    double worst = 0.0;
    for (std::size_t i = 0; i < samples.size(); ++i) {
      const double t = static_cast<double>(i) / kRate;
      const DeviceMotion& m = samples[i].motion;
      EXPECT_EQ(samples[i].fromHeadphones, d.device == Device::headphones);
      EXPECT_NEAR(samples[i].time, 1698501144.401773 + t, 1e-6);
      expectGravityTurnedDown(m);
      // Counted as the app counts: above the threshold once, re-armed below zero.
      const double z = worldOf(m).z;
      jumps += z > MotionPipeline::kJumpThreshold && armed ? 1 : 0;
      armed = z > MotionPipeline::kJumpThreshold ? false : armed || z < MotionPipeline::kRearmLevel;
      // In the headphones' sign free flight reads +1 g and the contact -2.4 g.
      worst = std::max(worst, std::abs(z + jumperAcceleration(t)));
      if (!d.exact) continue;
      EXPECT_LT(distance(m.gravity, gravityAt(t)), 1e-12);
      EXPECT_LT(distance(m.userAcceleration, userAt(t)), 1e-12);
      // The quaternion keeps the heading: the matrix is the device's own.
      EXPECT_LT(largestDifference(m.attitude.rotationMatrix, poseAt(t).toWorld), 1e-9);
      EXPECT_NEAR(m.attitude.pitch, poseAt(t).tilt, 1e-12);
      EXPECT_NEAR(m.attitude.yaw, poseAt(t).yaw, 1e-12);
      EXPECT_EQ(m.rotationRate.z, t);
    }
    EXPECT_LT(worst, d.exact ? 1e-9 : 0.35);
    EXPECT_EQ(jumps, kJumps);
  }
}

TEST(PhoneSampleBuilder, PhoneAccelerationWaitsForGravityAndHeadphonesSilenceThePhone) {
  MemoryLog log;
  PhoneSampleBuilder builder(log);
  EXPECT_FALSE(builder.add({"accelerometer", 1, vector("", {0, 0, kG})}));
  EXPECT_FALSE(builder.add({"gravity", 2, vector("", {0, 0, -kG})}));
  // Lying flat and reading +1 g, taken for iOS while nothing says otherwise: falling.
  const std::optional<TimedMotion> phone =
      builder.add({"accelerometer", 3, vector("", {0, 0, kG})});
  ASSERT_TRUE(phone);
  EXPECT_EQ(builder.platform(), Platform::undecided);
  EXPECT_EQ(worldOf(phone->motion).z, 1.0);

  const std::vector<PushReading> headphones = jumperReadings(Device::headphones);
  ASSERT_TRUE(builder.add(headphones[0]));
  EXPECT_FALSE(builder.add({"accelerometer", 4, vector("", {0, 0, kG})}));
  EXPECT_FALSE(builder.add({"totalacceleration", 4, vector("", {0, 0, kG})}));
  EXPECT_TRUE(builder.add(headphones[1]));
  EXPECT_EQ(builder.malformedReadings(), 0u);
}

TEST(PhoneSampleBuilder, AReadingWithAFieldMissingOrNotFiniteIsMalformedAndChangesNothing) {
  const Fields good = vector("acceleration", {0.1, 0.2, 0.3}) + vector("gravity", {0, 0, -kG});
  const auto with = [&good](const std::string& name, std::optional<double> value) {
    Fields f = good;
    std::erase_if(f, [&](const auto& field) { return field.first == name; });
    if (value) f.emplace_back(name, *value);
    return PushReading{"headphone", 1, f};
  };
  const PushReading bad[] = {
      with("accelerationX", kNaN),
      with("gravityY", std::nullopt),
      with("quaternionW", -kInf),  // optional, but used when sent
      with("yaw", kInf),
      with("gravityZ", 0.0),      // no down to turn by
      with("gravityZ", -5e-324),  // nor when nothing of it is left in g
      {"gravity", 1, {{"x", 0.0}, {"y", 5e-324}, {"z", 0.0}}},
      {"gravity", 1, {{"x", 0.0}, {"y", kNaN}, {"z", 9.8}}},
      {"gravity", 1, {{"x", 1e300}, {"y", 0.0}, {"z", 9.8}}},  // would overflow the turn
      {"orientation", 1, quaternion("q", {0, 0, 0, 0})},
      {"gyroscope", 1, {{"x", kInf}, {"y", 0.0}, {"z", 0.0}}},
      {"accelerometer", 1, {{"x", 0.0}, {"y", 0.0}}},
      {"totalacceleration", 1, {{"x", -kInf}, {"y", 0.0}, {"z", 0.0}}},
  };
  MemoryLog log;
  PhoneSampleBuilder builder(log);
  ASSERT_FALSE(builder.add({"gravity", 0, vector("", {0, 0, -kG})}));
  ASSERT_FALSE(builder.add({"gyroscope", 0, vector("", {0.5, 0.5, 0.5})}));
  for (const PushReading& r : bad) {
    EXPECT_FALSE(builder.add(r)) << r.name;
    // The latest good gravity and rotation rate still stand, and the phone still speaks.
    const std::optional<TimedMotion> s = builder.add({"accelerometer", 2, vector("", {0, 0, kG})});
    ASSERT_TRUE(s) << r.name;
    EXPECT_EQ(s->motion.gravity.z, -1.0);
    EXPECT_EQ(s->motion.rotationRate.x, 0.5);
    EXPECT_EQ(builder.platform(), Platform::undecided) << r.name;
  }
  EXPECT_EQ(builder.malformedReadings(), std::size(bad));
}

TEST(PhoneSampleBuilder, TakesTheQuaternionsHeadingOnlyWhereItTurnsGravityNearlyDown) {
  const Pose pose = poseAt(0.7);
  const RotationMatrix smallest = rotationBetween(gravityAt(0.7), {0, 0, -1});
  ASSERT_GT(largestDifference(smallest, pose.toWorld), 0.5);  // the cases tell them apart
  // The pose's quaternion after a further nod of `degrees` about the device's x axis.
  const auto nodded = [&q = pose.quaternion](double degrees) {
    const double c = std::cos(degrees * 3.14159265358979 / 360);
    const double s = std::sin(degrees * 3.14159265358979 / 360);
    return Quaternion{q[0] * c - q[1] * s, q[1] * c + q[0] * s, q[2] * c + q[3] * s,
                      q[3] * c - q[2] * s};
  };
  const struct {
    const char* name;
    Fields quaternion;
    RotationMatrix expected;
    double tolerance;
  } cases[] = {
      {"the device's own", quaternion("quaternion", pose.quaternion), pose.toWorld, 1e-9},
      {"five degrees off", quaternion("quaternion", nodded(5)), pose.toWorld, 0.1},  // tilt out
      {"thirty degrees off", quaternion("quaternion", nodded(30)), smallest, 1e-9},
      {"missing", {}, smallest, 1e-9},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryLog log;
    PhoneSampleBuilder builder(log);
    const std::optional<TimedMotion> s =
        builder.add({"headphone", 1,
                     vector("acceleration", {0.1, 0.2, 0.3}) + vector("gravity", gravityAt(0.7)) +
                         c.quaternion});
    ASSERT_TRUE(s);
    expectGravityTurnedDown(s->motion);
    EXPECT_LT(largestDifference(s->motion.attitude.rotationMatrix, c.expected), c.tolerance);
  }
}

// Scaled by powers of two, gravity and quaternion keep their directions
// exactly, so the sample must keep its attitude however small they come.
TEST(PhoneSampleBuilder, TurnsGravityDownWhateverTheMagnitudesOfGravityAndQuaternion) {
  const Quaternion q = poseAt(0.7).quaternion;
  const auto sampleFor = [&q](double gravityScale, double quaternionScale) {
    MemoryLog log;
    PhoneSampleBuilder builder(log);
    const Quaternion sent{q[0] * quaternionScale, q[1] * quaternionScale, q[2] * quaternionScale,
                          q[3] * quaternionScale};
    return builder.add({"headphone", 1,
                        vector("acceleration", {0.1, 0.2, 0.3}) +
                            vector("gravity", gravityAt(0.7, kG * gravityScale)) +
                            quaternion("quaternion", sent)});
  };
  const std::optional<TimedMotion> usual = sampleFor(1.0, 1.0);
  const std::optional<TimedMotion> tinyQuaternion = sampleFor(1.0, 0x1p-540);
  ASSERT_TRUE(usual && tinyQuaternion);
  EXPECT_LT(largestDifference(tinyQuaternion->motion.attitude.rotationMatrix,
                              usual->motion.attitude.rotationMatrix),
            1e-12);

  // Subnormal in g: its direction is checked scaled back up, which is exact.
  const std::optional<TimedMotion> tinyGravity = sampleFor(0x1p-1060, 1.0);
  ASSERT_TRUE(tinyGravity);
  DeviceMotion rescaled = tinyGravity->motion;
  rescaled.gravity = {std::ldexp(rescaled.gravity.x, 1060), std::ldexp(rescaled.gravity.y, 1060),
                      std::ldexp(rescaled.gravity.z, 1060)};
  expectGravityTurnedDown(rescaled);
}

TEST(PhoneSampleBuilder, SaysOnceWhenHeadphoneAccelerationLooksLikeMetresPerSecondSquared) {
  // `factor` scales every acceleration, but the first `burst` of each hundred five-fold.
  const auto linesFor = [](double factor, int burst) {
    MemoryLog log;
    PhoneSampleBuilder builder(log);
    const std::vector<PushReading> readings = jumperReadings(Device::headphones);
    for (std::size_t i = 0; i < 3 * readings.size(); ++i) {
      PushReading r = readings[i % readings.size()];
      for (auto& [name, value] : r.fields) {
        if (name.starts_with("acceleration"))
          value *= static_cast<int>(i % 100) < burst ? 5 : factor;
      }
      const std::optional<TimedMotion> s = builder.add(r);
      EXPECT_TRUE(s && s->motion.userAcceleration.x == *r.field("accelerationX"));  // as sent
    }
    return log.lines();
  };
  const std::vector<std::string> metres = linesFor(kG, 0);
  ASSERT_EQ(metres.size(), 1u);
  EXPECT_NE(metres[0].find("\"Standardise Units & Frames\" off"), std::string::npos);
  EXPECT_TRUE(linesFor(1.0, 0).empty());   // jumping in g peaks at 2.4 g
  EXPECT_TRUE(linesFor(1.0, 20).empty());  // bursts of 5 g that do not last
}

}  // namespace
}  // namespace hopster
