// The attitude filter: gravity, and the turn that puts it straight down,
// from a phone's accelerometer and gyroscope.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

#include "motion_sources/attitude_filter.h"
#include "motion_sources/rotation_math.h"
#include "motion_test_support.h"
#include "recording/motion_pipeline.h"

namespace hopster {
namespace {

using std::numbers::pi;
constexpr double kJumpThreshold = MotionPipeline::kJumpThreshold;

using rotation::product;
using rotation::times;
using rotation::transposed;

RotationMatrix aboutX(double a) {
  return {1, 0, 0, 0, std::cos(a), -std::sin(a), 0, std::sin(a), std::cos(a)};
}
RotationMatrix aboutZ(double a) {
  return {std::cos(a), -std::sin(a), 0, std::sin(a), std::cos(a), 0, 0, 0, 1};
}

double degrees(double d) { return d * pi / 180.0; }

// How the phone sits in a trouser pocket: its frame onto the world frame
// (world z up, person facing +y) before the thigh swings it.
struct Pocket {
  const char* name;
  RotationMatrix placement;
};

const Pocket kPockets[] = {
    {"top up, screen to the thigh", aboutX(degrees(90))},
    {"top down, screen out", product(aboutX(degrees(-90)), aboutZ(degrees(180)))},
    {"sideways, tilted", product(aboutZ(degrees(90)), aboutX(degrees(70)))},
    {"slanted in a deep pocket", product(aboutX(degrees(50)), aboutZ(degrees(35)))},
};

// A person skipping with the phone in a pocket: a second standing still,
// then jumps, each a ground contact (a half-sine pushing up) and a free
// flight at -1 g, with a sideways sway. The thigh swings the phone at the
// cadence and the body slowly turns. Readings are the accelerometer's
// specific force (g, the phone's axes) and the gyroscope, with noise and a
// gyroscope bias.
struct JumpingPocket {
  double cadence;
  RotationMatrix placement;
  std::mt19937 random{7};

  static constexpr double kStill = 1.0;
  static constexpr double kContactShare = 0.4;

  // World-frame acceleration (g) at `t`.
  [[nodiscard]] Vector3 acceleration(double t) const {
    if (t < kStill) return {};
    const double period = 1.0 / cadence;
    const double phase = std::fmod(t - kStill, period);
    const double contact = kContactShare * period;
    // The push's area matches the flight's, so the body comes back each cycle.
    const double peak = pi * (period - contact) / (2.0 * contact);
    const double vertical = phase < contact ? peak * std::sin(pi * phase / contact) : -1.0;
    return {0.15 * std::sin(2 * pi * cadence * t), 0.0, vertical};
  }
  // Jumps that have landed or are in flight by `t`: flights begun.
  [[nodiscard]] int jumpsBy(double t) const {
    if (t < kStill) return 0;
    const double period = 1.0 / cadence;
    return static_cast<int>(std::floor((t - kStill) / period - kContactShare)) + 1;
  }
  [[nodiscard]] double swing(double t) const {
    const double jumping = t < kStill ? 0.0 : 1.0;
    return jumping * degrees(12) * std::sin(2 * pi * cadence * t) +
           degrees(5) * std::sin(2 * pi * 0.1 * t);
  }
  [[nodiscard]] double swingRate(double t) const {
    const double jumping = t < kStill ? 0.0 : 1.0;
    return jumping * degrees(12) * 2 * pi * cadence * std::cos(2 * pi * cadence * t) +
           degrees(5) * 2 * pi * 0.1 * std::cos(2 * pi * 0.1 * t);
  }
  [[nodiscard]] double heading(double t) const { return 0.3 * std::sin(0.2 * t); }
  [[nodiscard]] double headingRate(double t) const { return 0.06 * std::cos(0.2 * t); }

  [[nodiscard]] RotationMatrix orientation(double t) const {
    return product(aboutZ(heading(t)), product(aboutX(swing(t)), placement));
  }

  struct Reading {
    Vector3 force, rate;
  };
  Reading read(double t) {
    std::normal_distribution<double> noise(0.0, 0.02);
    std::normal_distribution<double> gyroNoise(0.0, 0.01);
    const RotationMatrix back = transposed(orientation(t));
    const Vector3 a = acceleration(t);
    // The accelerometer feels the acceleration minus gravity: +1 g up at rest.
    const Vector3 force = times(back, {a.x, a.y, a.z + 1.0});
    const Vector3 swingAxis = times(aboutZ(heading(t)), {swingRate(t), 0.0, 0.0});
    const Vector3 rate = times(back, {swingAxis.x, swingAxis.y, swingAxis.z + headingRate(t)});
    return {{force.x + noise(random), force.y + noise(random), force.z + noise(random)},
            {rate.x + 0.01 + gyroNoise(random), rate.y - 0.01 + gyroNoise(random),
             rate.z + gyroNoise(random)}};
  }
};

TEST(AttitudeFilter, CountsAPocketedPhonesJumpsWithinOne) {
  for (const double rate : {50.0, 100.0}) {
    for (const double cadence : {1.5, 2.0, 3.0}) {
      for (const Pocket& pocket : kPockets) {
        for (const bool gyroscope : {true, false}) {
          JumpingPocket person{cadence, pocket.placement};
          AttitudeFilter filter;
          int jumps = 0;
          bool armed = true;
          const double dt = 1.0 / rate;
          const int samples = static_cast<int>(60.0 * rate);  // a minute
          for (int i = 0; i < samples; ++i) {
            const auto reading = person.read(i * dt);
            const auto sample = filter.update(
                reading.force, gyroscope ? std::optional(reading.rate) : std::nullopt, dt);
            ASSERT_TRUE(sample);
            // Counted as the app counts: above the threshold once, re-armed below zero.
            const double z = inWorld(*sample, sample->userAcceleration).z;
            jumps += z > kJumpThreshold && armed ? 1 : 0;
            armed = z > kJumpThreshold ? false : armed || z < MotionPipeline::kRearmLevel;
          }
          EXPECT_NEAR(jumps, person.jumpsBy((samples - 1) * dt), 1)
              << rate << " Hz, " << cadence << " jumps/s, " << pocket.name
              << (gyroscope ? ", gyroscope" : ", no gyroscope");
        }
      }
    }
  }
}

// At rest, in any pose, gravity is the reading's opposite and the rotation
// turns it straight down; user acceleration is nothing.
TEST(AttitudeFilter, SettlesOnTheFirstReadingInAnyPose) {
  for (const Pocket& pocket : kPockets) {
    for (const bool gyroscope : {true, false}) {
      AttitudeFilter filter;
      const Vector3 force = times(transposed(pocket.placement), {0, 0, 1});
      const auto sample =
          filter.update(force, gyroscope ? std::optional(Vector3{}) : std::nullopt, 0.02);
      ASSERT_TRUE(sample);
      EXPECT_LT(distance(sample->gravity, {-force.x, -force.y, -force.z}), 1e-9) << pocket.name;
      EXPECT_LT(distance(inWorld(*sample, sample->gravity), {0, 0, -1}), 1e-9);
      EXPECT_NEAR(sample->userAcceleration.z, 0.0, 1e-9);
    }
  }
}

// A turn seen by the gyroscope moves gravity with the phone at once; without
// a gyroscope it takes the low-pass's time.
TEST(AttitudeFilter, GyroscopeCarriesGravityThroughATurn) {
  AttitudeFilter withGyro, without;
  for (int i = 0; i < 100; ++i) {
    ASSERT_TRUE(withGyro.update({0, 0, 1}, Vector3{}, 0.01));
    ASSERT_TRUE(without.update({0, 0, 1}, std::nullopt, 0.01));
  }
  // A quarter turn about x in 0.1 s: lying flat to standing on its bottom edge.
  std::optional<DeviceMotion> turned, lagging;
  for (int i = 1; i <= 10; ++i) {
    const double angle = pi / 2 * i / 10;
    const Vector3 force{0, std::sin(angle), std::cos(angle)};
    turned = withGyro.update(force, Vector3{pi / 2 / 0.1, 0, 0}, 0.01);
    lagging = without.update(force, std::nullopt, 0.01);
  }
  ASSERT_TRUE(turned && lagging);
  EXPECT_LT(distance(turned->gravity, {0, -1, 0}), 0.05);
  EXPECT_LT(lagging->gravity.z, -0.8);
}

TEST(AttitudeFilter, RefusesReadingsNoSensorGivesAndKeepsItsEstimate) {
  AttitudeFilter filter;
  ASSERT_TRUE(filter.update({0, 0, 1}, std::nullopt, 0.02));
  EXPECT_FALSE(filter.update({kNaN, 0, 1}, std::nullopt, 0.02));
  EXPECT_FALSE(filter.update({0, kInf, 1}, std::nullopt, 0.02));
  EXPECT_FALSE(filter.update({0, 0, 1e300}, std::nullopt, 0.02));
  EXPECT_FALSE(filter.update({0, 0, 1}, Vector3{kNaN, 0, 0}, 0.02));
  // Odd steps are bounded rather than trusted.
  for (const double dt : {kNaN, -1.0, kInf, 1e300}) {
    const auto sample = filter.update({0, 0, 1}, Vector3{0.1, 0, 0}, dt);
    ASSERT_TRUE(sample);
    const Vector3 g = sample->gravity;
    EXPECT_LT(distance(inWorld(*sample, g), {0, 0, -std::hypot(g.x, g.y, g.z)}), 1e-9);
  }
}

}  // namespace
}  // namespace hopster
