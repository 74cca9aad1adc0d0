#include "motion_sources/attitude_filter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace hopster {
namespace {

using std::numbers::pi;

RotationMatrix product(const RotationMatrix& a, const RotationMatrix& b) {
  const double l[3][3] = {{a.m11, a.m12, a.m13}, {a.m21, a.m22, a.m23}, {a.m31, a.m32, a.m33}};
  const double r[3][3] = {{b.m11, b.m12, b.m13}, {b.m21, b.m22, b.m23}, {b.m31, b.m32, b.m33}};
  double p[3][3] = {};
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      for (int k = 0; k < 3; ++k) p[i][j] += l[i][k] * r[k][j];
    }
  }
  return {p[0][0], p[0][1], p[0][2], p[1][0], p[1][1], p[1][2], p[2][0], p[2][1], p[2][2]};
}

Vector3 times(const RotationMatrix& m, const Vector3& v) {
  return {m.m11 * v.x + m.m12 * v.y + m.m13 * v.z, m.m21 * v.x + m.m22 * v.y + m.m23 * v.z,
          m.m31 * v.x + m.m32 * v.y + m.m33 * v.z};
}

RotationMatrix transposed(const RotationMatrix& m) {
  return {m.m11, m.m21, m.m31, m.m12, m.m22, m.m32, m.m13, m.m23, m.m33};
}

RotationMatrix aboutX(double a) {
  return {1, 0, 0, 0, std::cos(a), -std::sin(a), 0, std::sin(a), std::cos(a)};
}
RotationMatrix aboutY(double a) {
  return {std::cos(a), 0, std::sin(a), 0, 1, 0, -std::sin(a), 0, std::cos(a)};
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

const std::vector<Pocket>& pockets() {
  static const std::vector<Pocket> all = {
      {"top up, screen to the thigh", aboutX(degrees(90))},
      {"top down, screen out", product(aboutX(degrees(-90)), aboutZ(degrees(180)))},
      {"sideways, tilted", product(aboutY(degrees(70)), aboutZ(degrees(90)))},
      {"slanted in a deep pocket", product(aboutX(degrees(50)), aboutZ(degrees(35)))},
  };
  return all;
}

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
    Vector3 force;
    Vector3 rate;
  };
  Reading read(double t) {
    std::normal_distribution<double> noise(0.0, 0.02);
    std::normal_distribution<double> gyroNoise(0.0, 0.01);
    const RotationMatrix phone = orientation(t);
    const RotationMatrix back = transposed(phone);
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

// The counter's rule on the world-frame vertical of the user acceleration,
// in the headphones' sign: free flight reads near +1 g.
struct TwoLevelCounter {
  bool armed = true;
  int jumps = 0;
  void add(double vertical) {
    if (armed && vertical > 0.7) {
      ++jumps;
      armed = false;
    } else if (vertical < 0.0) {
      armed = true;
    }
  }
};

struct PocketRun {
  double rate;
  double cadence;
  std::size_t pocket;
  bool gyroscope;
};

TEST(AttitudeFilter, CountsAPocketedPhonesJumpsWithinOne) {
  std::vector<PocketRun> runs;
  for (const double rate : {50.0, 100.0}) {
    for (const double cadence : {1.5, 2.0, 3.0}) {
      for (std::size_t pocket = 0; pocket < pockets().size(); ++pocket) {
        for (const bool gyroscope : {true, false})
          runs.push_back({rate, cadence, pocket, gyroscope});
      }
    }
  }
  constexpr double kSeconds = 60.0;
  for (const PocketRun& run : runs) {
    JumpingPocket person{run.cadence, pockets()[run.pocket].placement};
    AttitudeFilter filter;
    TwoLevelCounter counter;
    const double dt = 1.0 / run.rate;
    const int samples = static_cast<int>(kSeconds * run.rate);
    for (int i = 0; i < samples; ++i) {
      const double t = i * dt;
      const auto reading = person.read(t);
      const auto sample = filter.update(
          reading.force, run.gyroscope ? std::optional(reading.rate) : std::nullopt, dt);
      ASSERT_TRUE(sample);
      counter.add(times(sample->attitude.rotationMatrix, sample->userAcceleration).z);
    }
    const int simulated = person.jumpsBy((samples - 1) * dt);
    const std::string label = std::to_string(run.rate) + " Hz, " + std::to_string(run.cadence) +
                              " jumps/s, " + pockets()[run.pocket].name +
                              (run.gyroscope ? ", gyroscope" : ", no gyroscope");
    EXPECT_NEAR(counter.jumps, simulated, 1) << label;
    RecordProperty(label, std::to_string(simulated) + " simulated, " +
                              std::to_string(counter.jumps) + " counted");
  }
}

// At rest, in any pose, gravity is the reading's opposite and the rotation
// turns it straight down; user acceleration is nothing.
TEST(AttitudeFilter, SettlesOnTheFirstReadingInAnyPose) {
  for (const Pocket& pocket : pockets()) {
    for (const bool gyroscope : {true, false}) {
      AttitudeFilter filter;
      const Vector3 force = times(transposed(pocket.placement), {0, 0, 1});
      const auto sample =
          filter.update(force, gyroscope ? std::optional(Vector3{}) : std::nullopt, 0.02);
      ASSERT_TRUE(sample);
      EXPECT_NEAR(sample->gravity.x, -force.x, 1e-9) << pocket.name;
      EXPECT_NEAR(sample->gravity.y, -force.y, 1e-9) << pocket.name;
      EXPECT_NEAR(sample->gravity.z, -force.z, 1e-9) << pocket.name;
      const Vector3 down = times(sample->attitude.rotationMatrix, sample->gravity);
      EXPECT_NEAR(down.x, 0.0, 1e-9);
      EXPECT_NEAR(down.y, 0.0, 1e-9);
      EXPECT_NEAR(down.z, -1.0, 1e-9);
      EXPECT_NEAR(sample->userAcceleration.z, 0.0, 1e-9);
    }
  }
}

// A turn seen by the gyroscope moves gravity with the phone at once; without
// a gyroscope it takes the low-pass's time.
TEST(AttitudeFilter, GyroscopeCarriesGravityThroughATurn) {
  AttitudeFilter withGyro;
  AttitudeFilter without;
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
  EXPECT_NEAR(turned->gravity.y, -1.0, 0.05);
  EXPECT_NEAR(turned->gravity.z, 0.0, 0.05);
  EXPECT_LT(lagging->gravity.z, -0.8);
}

TEST(AttitudeFilter, RefusesReadingsNoSensorGivesAndKeepsItsEstimate) {
  constexpr double nan = std::numeric_limits<double>::quiet_NaN();
  constexpr double inf = std::numeric_limits<double>::infinity();
  AttitudeFilter filter;
  ASSERT_TRUE(filter.update({0, 0, 1}, std::nullopt, 0.02));
  EXPECT_FALSE(filter.update({nan, 0, 1}, std::nullopt, 0.02));
  EXPECT_FALSE(filter.update({0, inf, 1}, std::nullopt, 0.02));
  EXPECT_FALSE(filter.update({0, 0, 1e300}, std::nullopt, 0.02));
  EXPECT_FALSE(filter.update({0, 0, 1}, Vector3{nan, 0, 0}, 0.02));
  // Odd steps are bounded rather than trusted.
  for (const double dt : {nan, -1.0, inf, 1e300}) {
    const auto sample = filter.update({0, 0, 1}, Vector3{0.1, 0, 0}, dt);
    ASSERT_TRUE(sample);
    EXPECT_TRUE(std::isfinite(sample->attitude.rotationMatrix.m11));
    const Vector3 g = sample->gravity;
    const Vector3 down = times(sample->attitude.rotationMatrix, g);
    EXPECT_NEAR(down.x, 0.0, 1e-9);
    EXPECT_NEAR(down.y, 0.0, 1e-9);
    EXPECT_NEAR(down.z, -std::sqrt(g.x * g.x + g.y * g.y + g.z * g.z), 1e-9);
  }
}

}  // namespace
}  // namespace hopster
