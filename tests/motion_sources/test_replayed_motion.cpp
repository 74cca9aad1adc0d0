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

double dot(const Vector3& a, const Vector3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vector3 cross(const Vector3& a, const Vector3& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
Vector3 times(const RotationMatrix& m, const Vector3& v) {
  return {m.m11 * v.x + m.m12 * v.y + m.m13 * v.z, m.m21 * v.x + m.m22 * v.y + m.m23 * v.z,
          m.m31 * v.x + m.m32 * v.y + m.m33 * v.z};
}
double distance(const Vector3& a, const Vector3& b) {
  return std::hypot(a.x - b.x, a.y - b.y, a.z - b.z);
}
Vector3 unit(Vector3 v) {
  const double largest = std::max({std::abs(v.x), std::abs(v.y), std::abs(v.z)});
  v = {v.x / largest, v.y / largest, v.z / largest};
  const double n = std::sqrt(dot(v, v));
  return {v.x / n, v.y / n, v.z / n};
}

struct Pair {
  std::string label;
  Vector3 from, to;
};

std::vector<Pair> turningPairs() {
  std::vector<Pair> pairs = {
      {"parallel", {0.3, -0.2, 0.9}, {1.5, -1.0, 4.5}},
      {"opposite", {0.3, -0.2, 0.9}, {-0.3, 0.2, -0.9}},
      {"opposite on an axis", {0.0, 0.0, 1.0}, {0.0, 0.0, -2.0}},
      {"opposite on x", {-3.0, 0.0, 0.0}, {1.0, 0.0, 0.0}},
      {"opposite but for rounding", {1.0, 0.0, 0.0}, {-1.0, 1e-17, 1e-17}},
      {"nearly parallel", {1.0, 0.0, 0.0}, {1.0, 1e-10, 0.0}},
      {"quarter turn", {1.0, 0.0, 0.0}, {0.0, 1.0, 0.0}},
      {"subnormal and huge", {5e-324, 0.0, 1e-323}, {1e308, 1e308, -1e308}},
  };
  std::mt19937_64 random(20240611);
  std::normal_distribution<double> gaussian;
  std::uniform_real_distribution<double> scale(0.01, 3.0);
  const auto randomVector = [&] {
    const double s = scale(random);
    return Vector3{s * gaussian(random), s * gaussian(random), s * gaussian(random)};
  };
  for (int i = 0; i < 500; ++i) pairs.push_back({"random", randomVector(), randomVector()});
  // Close to opposite, where the common perpendicular is short and rounded.
  for (const double offset : {1e-3, 1e-6, 1e-8, 3e-9}) {
    for (int i = 0; i < 50; ++i) {
      const Vector3 a = randomVector(), w = randomVector();
      pairs.push_back({"near opposite " + std::to_string(offset),
                       a,
                       {-a.x + offset * w.x, -a.y + offset * w.y, -a.z + offset * w.z}});
    }
  }
  return pairs;
}

TEST(RotationBetween, IsTheSmallestProperRotationTurningOneDirectionOntoTheOther) {
  for (const Pair& pair : turningPairs()) {
    const RotationMatrix m = rotationBetween(pair.from, pair.to);
    // Orthonormal columns, and a determinant of +1.
    const Vector3 c[3] = {{m.m11, m.m21, m.m31}, {m.m12, m.m22, m.m32}, {m.m13, m.m23, m.m33}};
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j) EXPECT_NEAR(dot(c[i], c[j]), i == j, 1e-12) << pair.label;
    }
    EXPECT_NEAR(dot(cross(c[0], c[1]), c[2]), 1.0, 1e-12) << pair.label;

    const Vector3 a = unit(pair.from), b = unit(pair.to);
    EXPECT_LT(distance(times(m, a), b), 1e-12) << pair.label;
    // The smallest turn keeps a x b fixed and turns by the angle between a
    // and b, so its trace is 1 + 2 cos(angle). Near parallel and opposite
    // that axis is too short to say anything.
    const Vector3 k = cross(a, b);
    if (dot(k, k) < 1e-6) continue;
    EXPECT_LT(distance(times(m, k), k), 1e-12) << pair.label;
    EXPECT_NEAR(m.m11 + m.m22 + m.m33, 1.0 + 2.0 * dot(a, b), 1e-12) << pair.label;
  }
}

TEST(RotationBetween, WithoutTwoDirectionsItIsTheIdentity) {
  const Vector3 good{0.1, 0.2, -0.9};
  for (const Vector3& bad : {Vector3{0.0, 0.0, 0.0}, Vector3{kNaN, 0.0, 1.0},
                             Vector3{0.0, kInf, 1.0}, Vector3{-kInf, 0.0, 0.0}}) {
    for (const RotationMatrix& m : {rotationBetween(good, bad), rotationBetween(bad, good)}) {
      EXPECT_TRUE(m.m11 == 1.0 && m.m12 == 0.0 && m.m13 == 0.0 && m.m21 == 0.0 && m.m22 == 1.0 &&
                  m.m23 == 0.0 && m.m31 == 0.0 && m.m32 == 0.0 && m.m33 == 1.0);
    }
  }
}

}  // namespace
}  // namespace hopster
