#pragma once

#include <algorithm>
#include <cmath>

#include "platform/device_motion.h"

// The vector and rotation arithmetic the motion sources share: turning
// gravity down, composing attitudes, finding the smallest rotation. Inline,
// as the attitude filter runs it for every sample.
namespace hopster::rotation {

inline Vector3 scaled(const Vector3& v, double factor) {
  return Vector3{v.x * factor, v.y * factor, v.z * factor};
}

inline Vector3 minus(const Vector3& a, const Vector3& b) {
  return Vector3{a.x - b.x, a.y - b.y, a.z - b.z};
}

inline double dot(const Vector3& a, const Vector3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

inline Vector3 cross(const Vector3& a, const Vector3& b) {
  return Vector3{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

inline double length(const Vector3& v) { return std::hypot(v.x, v.y, v.z); }

// The unit vector along `v` (not zero), scaled by its largest component
// first, so neither huge nor subnormal vectors overflow or lose their
// direction to rounding on the way.
inline Vector3 unit(Vector3 v) {
  const double largest = std::max({std::abs(v.x), std::abs(v.y), std::abs(v.z)});
  v = Vector3{v.x / largest, v.y / largest, v.z / largest};
  const double n = length(v);
  return Vector3{v.x / n, v.y / n, v.z / n};
}

// m × v: the vector turned by the rotation.
inline Vector3 times(const RotationMatrix& m, const Vector3& v) {
  return {m.m11 * v.x + m.m12 * v.y + m.m13 * v.z, m.m21 * v.x + m.m22 * v.y + m.m23 * v.z,
          m.m31 * v.x + m.m32 * v.y + m.m33 * v.z};
}

// mᵀ × v: for a rotation, the inverse turn.
inline Vector3 timesTransposed(const RotationMatrix& m, const Vector3& v) {
  return {m.m11 * v.x + m.m21 * v.y + m.m31 * v.z, m.m12 * v.x + m.m22 * v.y + m.m32 * v.z,
          m.m13 * v.x + m.m23 * v.y + m.m33 * v.z};
}

inline RotationMatrix transposed(const RotationMatrix& m) {
  return RotationMatrix{m.m11, m.m21, m.m31, m.m12, m.m22, m.m32, m.m13, m.m23, m.m33};
}

// a × b: first b's turn, then a's.
inline RotationMatrix product(const RotationMatrix& a, const RotationMatrix& b) {
  return RotationMatrix{
      a.m11 * b.m11 + a.m12 * b.m21 + a.m13 * b.m31, a.m11 * b.m12 + a.m12 * b.m22 + a.m13 * b.m32,
      a.m11 * b.m13 + a.m12 * b.m23 + a.m13 * b.m33, a.m21 * b.m11 + a.m22 * b.m21 + a.m23 * b.m31,
      a.m21 * b.m12 + a.m22 * b.m22 + a.m23 * b.m32, a.m21 * b.m13 + a.m22 * b.m23 + a.m23 * b.m33,
      a.m31 * b.m11 + a.m32 * b.m21 + a.m33 * b.m31, a.m31 * b.m12 + a.m32 * b.m22 + a.m33 * b.m32,
      a.m31 * b.m13 + a.m32 * b.m23 + a.m33 * b.m33,
  };
}

}  // namespace hopster::rotation
