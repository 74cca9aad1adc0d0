#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "motion_sources/replayed_motion.h"

namespace hopster {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

Vector3 times(const RotationMatrix& m, const Vector3& v) {
  return Vector3{m.m11 * v.x + m.m12 * v.y + m.m13 * v.z, m.m21 * v.x + m.m22 * v.y + m.m23 * v.z,
                 m.m31 * v.x + m.m32 * v.y + m.m33 * v.z};
}

double norm(const Vector3& v) { return std::hypot(v.x, v.y, v.z); }

Vector3 unit(Vector3 v) {
  const double largest = std::max({std::abs(v.x), std::abs(v.y), std::abs(v.z)});
  v = Vector3{v.x / largest, v.y / largest, v.z / largest};
  return Vector3{v.x / norm(v), v.y / norm(v), v.z / norm(v)};
}

double distance(const Vector3& a, const Vector3& b) {
  return std::hypot(a.x - b.x, a.y - b.y, a.z - b.z);
}

bool isIdentity(const RotationMatrix& m) {
  return m.m11 == 1.0 && m.m12 == 0.0 && m.m13 == 0.0 && m.m21 == 0.0 && m.m22 == 1.0 &&
         m.m23 == 0.0 && m.m31 == 0.0 && m.m32 == 0.0 && m.m33 == 1.0;
}

// Orthonormal columns and determinant +1, to rounding.
void expectProperRotation(const RotationMatrix& m, const std::string& label) {
  const Vector3 c1{m.m11, m.m21, m.m31}, c2{m.m12, m.m22, m.m32}, c3{m.m13, m.m23, m.m33};
  const auto dot = [](const Vector3& a, const Vector3& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
  };
  EXPECT_NEAR(dot(c1, c1), 1.0, 1e-12) << label;
  EXPECT_NEAR(dot(c2, c2), 1.0, 1e-12) << label;
  EXPECT_NEAR(dot(c3, c3), 1.0, 1e-12) << label;
  EXPECT_NEAR(dot(c1, c2), 0.0, 1e-12) << label;
  EXPECT_NEAR(dot(c1, c3), 0.0, 1e-12) << label;
  EXPECT_NEAR(dot(c2, c3), 0.0, 1e-12) << label;
  const double det = m.m11 * (m.m22 * m.m33 - m.m23 * m.m32) -
                     m.m12 * (m.m21 * m.m33 - m.m23 * m.m31) +
                     m.m13 * (m.m21 * m.m32 - m.m22 * m.m31);
  EXPECT_NEAR(det, 1.0, 1e-12) << label;
}

struct Pair {
  std::string label;
  Vector3 from, to;
};

std::vector<Pair> turningPairs() {
  std::vector<Pair> pairs = {
      {"parallel", {0.3, -0.2, 0.9}, {0.3, -0.2, 0.9}},
      {"parallel, longer", {0.3, -0.2, 0.9}, {1.5, -1.0, 4.5}},
      {"opposite", {0.3, -0.2, 0.9}, {-0.3, 0.2, -0.9}},
      {"opposite on an axis", {0.0, 0.0, 1.0}, {0.0, 0.0, -2.0}},
      {"opposite on another axis", {-3.0, 0.0, 0.0}, {1.0, 0.0, 0.0}},
      {"nearly opposite", {1.0, 0.0, 0.0}, {-1.0, 1e-10, 0.0}},
      {"just past opposite by rounding", {1.0, 0.0, 0.0}, {-1.0, 1e-17, 1e-17}},
      {"nearly parallel", {1.0, 0.0, 0.0}, {1.0, 1e-10, 0.0}},
      {"quarter turn", {1.0, 0.0, 0.0}, {0.0, 1.0, 0.0}},
      {"tiny and huge", {1e-300, 2e-300, 0.0}, {0.0, -1e300, 1e300}},
      {"subnormal and overflowing length", {5e-324, 0.0, 1e-323}, {1e308, 1e308, -1e308}},
      {"beyond a quarter turn", {1.0, 0.0, 0.0}, {-0.9, 0.1, 0.0}},
  };
  std::mt19937_64 random(20240611);
  std::normal_distribution<double> gaussian;
  std::uniform_real_distribution<double> scale(0.01, 3.0);
  const auto randomVector = [&] {
    const double s = scale(random);
    return Vector3{s * gaussian(random), s * gaussian(random), s * gaussian(random)};
  };
  for (int i = 0; i < 500; ++i) {
    pairs.push_back({"random " + std::to_string(i), randomVector(), randomVector()});
  }
  // Close to opposite, where the common perpendicular is short and rounded.
  for (const double offset : {1e-3, 1e-6, 1e-8, 3e-9}) {
    for (int i = 0; i < 50; ++i) {
      const Vector3 a = randomVector(), w = randomVector();
      const Vector3 b{-a.x + offset * w.x, -a.y + offset * w.y, -a.z + offset * w.z};
      pairs.push_back({"near opposite " + std::to_string(offset) + " " + std::to_string(i), a, b});
    }
  }
  return pairs;
}

TEST(RotationBetween, IsAProperRotationTurningOneDirectionOntoTheOther) {
  for (const Pair& pair : turningPairs()) {
    const RotationMatrix m = rotationBetween(pair.from, pair.to);
    expectProperRotation(m, pair.label);
    EXPECT_LT(distance(times(m, unit(pair.from)), unit(pair.to)), 1e-12) << pair.label;
  }
}

TEST(RotationBetween, TurnsAboutTheCommonPerpendicularByTheAngleBetween) {
  // The smallest rotation keeps u x g fixed, and its trace is 1 + 2 cos(angle).
  for (const Pair& pair : turningPairs()) {
    const Vector3 a = unit(pair.from), b = unit(pair.to);
    const Vector3 k{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
    const double cosine = a.x * b.x + a.y * b.y + a.z * b.z;
    if (norm(k) < 1e-3) continue;  // the axis is ill-defined near parallel and opposite
    const RotationMatrix m = rotationBetween(pair.from, pair.to);
    EXPECT_LT(distance(times(m, k), k), 1e-12) << pair.label;
    EXPECT_NEAR(m.m11 + m.m22 + m.m33, 1.0 + 2.0 * cosine, 1e-12) << pair.label;
  }
}

TEST(RotationBetween, ParallelDirectionsGiveTheIdentity) {
  const RotationMatrix m = rotationBetween({0.0, 0.0, 2.0}, {0.0, 0.0, 5.0});
  EXPECT_TRUE(isIdentity(m));
}

TEST(RotationBetween, WithoutTwoDirectionsItIsTheIdentity) {
  const Vector3 good{0.1, 0.2, -0.9};
  for (const Vector3& bad : {Vector3{0.0, 0.0, 0.0}, Vector3{kNaN, 0.0, 1.0},
                             Vector3{0.0, kInf, 1.0}, Vector3{-kInf, 0.0, 0.0}}) {
    EXPECT_TRUE(isIdentity(rotationBetween(good, bad)));
    EXPECT_TRUE(isIdentity(rotationBetween(bad, good)));
  }
}

TEST(ReplayedMotion, CarriesTheRecordedMembersAndTheRecordedWorldFrame) {
  MotionDataPoint point{1764942759.5, 0.1, -0.4, 0.8, 0.01,  0.02, 0.03, 0.15,
                        -0.1,         0.5, 0.05, 0.1, -0.99, 0.0,  0.0,  0.0};
  // A world-frame acceleration of the same length as the user acceleration.
  const Vector3 user{0.1, -0.4, 0.8};
  point.globalAccelerationX = 0.3;
  point.globalAccelerationY = 0.2;
  point.globalAccelerationZ = std::sqrt(norm(user) * norm(user) - 0.13);
  const DeviceMotion motion = replayedMotion(point);
  EXPECT_EQ(motion.userAcceleration.z, 0.8);
  EXPECT_EQ(motion.rotationRate.y, 0.02);
  EXPECT_EQ(motion.attitude.pitch, 0.15);
  EXPECT_EQ(motion.attitude.roll, -0.1);
  EXPECT_EQ(motion.attitude.yaw, 0.5);
  EXPECT_EQ(motion.gravity.z, -0.99);
  const Vector3 world =
      computeGlobalAcceleration(motion.userAcceleration, motion.attitude.rotationMatrix);
  EXPECT_NEAR(world.x, 0.3, 1e-15);
  EXPECT_NEAR(world.y, 0.2, 1e-15);
  EXPECT_NEAR(world.z, point.globalAccelerationZ, 1e-15);
}

}  // namespace
}  // namespace hopster
