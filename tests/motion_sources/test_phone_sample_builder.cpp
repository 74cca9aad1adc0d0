// The sample builder: Sensor Logger's readings, live or exported, from
// headphones, an iPhone or an Android phone, into samples whose vertical is
// the jumper's.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "motion_sources/phone_sample_builder.h"
#include "motion_sources/replayed_motion.h"
#include "motion_test_support.h"
#include "platform/linux/memory_log.h"
#include "recording/motion_pipeline.h"
#include "sensor_logger_readings.h"

namespace hopster {
namespace {

// The sample builder: Sensor Logger's readings, live or exported, into samples.

using Platform = PhoneSampleBuilder::Platform;

double largestDifference(const RotationMatrix& a, const RotationMatrix& b) {
  std::array<double, 9> p{}, q{};
  std::memcpy(p.data(), &a, sizeof a);
  std::memcpy(q.data(), &b, sizeof b);
  double most = 0.0;
  for (std::size_t i = 0; i < p.size(); ++i) most = std::max(most, std::abs(p[i] - q[i]));
  return most;
}

// Checked on every sample of every fixture: its matrix turns its gravity straight down.
void expectGravityTurnedDown(const DeviceMotion& m) {
  const double g = std::hypot(m.gravity.x, m.gravity.y, m.gravity.z);
  EXPECT_LT(distance(inWorld(m, m.gravity), {0, 0, -g}), 1e-9 * g);
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
      const double z = inWorld(m, m.userAcceleration).z;
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
  EXPECT_EQ(inWorld(phone->motion, phone->motion.userAcceleration).z, 1.0);

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

// Scaled by powers of two, gravity and quaternion keep their directions
// exactly, so the sample must keep its attitude however small they come.
TEST(PhoneSampleBuilder, TakesTheQuaternionsHeadingOnlyWhereItTurnsGravityNearlyDown) {
  const Pose pose = poseAt(0.7);
  const Quaternion& q = pose.quaternion;
  const RotationMatrix smallest = rotationBetween(gravityAt(0.7), {0, 0, -1});
  ASSERT_GT(largestDifference(smallest, pose.toWorld), 0.5);  // the cases tell them apart
  // The pose's quaternion after a further nod of `degrees` about the device's x axis.
  const auto nodded = [&q](double degrees) {
    const double c = std::cos(degrees * 3.14159265358979 / 360);
    const double s = std::sin(degrees * 3.14159265358979 / 360);
    return Quaternion{q[0] * c - q[1] * s, q[1] * c + q[0] * s, q[2] * c + q[3] * s,
                      q[3] * c - q[2] * s};
  };
  const double tiny = 0x1p-540;
  const struct {
    const char* name;
    Fields quaternion;
    RotationMatrix expected;
    double tolerance;
    int gravityExponent = 0;  // gravity scaled by this power of two
  } cases[] = {
      {"the device's own", quaternion("quaternion", q), pose.toWorld, 1e-9},
      {"five degrees off", quaternion("quaternion", nodded(5)), pose.toWorld, 0.1},  // tilt out
      {"thirty degrees off", quaternion("quaternion", nodded(30)), smallest, 1e-9},
      {"missing", {}, smallest, 1e-9},
      {"tiny", quaternion("quaternion", {q[0] * tiny, q[1] * tiny, q[2] * tiny, q[3] * tiny}),
       pose.toWorld, 1e-9},
      {"with a subnormal gravity", quaternion("quaternion", q), pose.toWorld, 0.1, -1060},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryLog log;
    PhoneSampleBuilder builder(log);
    const std::optional<TimedMotion> s = builder.add(
        {"headphone", 1,
         vector("acceleration", {0.1, 0.2, 0.3}) +
             vector("gravity", gravityAt(0.7, std::ldexp(kG, c.gravityExponent))) + c.quaternion});
    ASSERT_TRUE(s);
    // Its direction is checked scaled back up, which is exact.
    DeviceMotion m = s->motion;
    const int up = -c.gravityExponent;
    m.gravity = {std::ldexp(m.gravity.x, up), std::ldexp(m.gravity.y, up),
                 std::ldexp(m.gravity.z, up)};
    expectGravityTurnedDown(m);
    EXPECT_LT(largestDifference(m.attitude.rotationMatrix, c.expected), c.tolerance);
  }
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
