#pragma once

#include <cstddef>
#include <optional>

#include "platform/device_motion.h"

namespace hopster {

// Turns a phone's raw accelerometer (and, when it has one, gyroscope) into
// the samples the headphones deliver: user acceleration, gravity and an
// attitude, in the headphones' sign.
//
// The input acceleration is the accelerometer's own reading, in g on the
// device's axes: the specific force, which at rest reads +1 g upwards (lying
// flat, screen up: (0, 0, +1)). The headphones' total acceleration is its
// opposite, so gravity points down at rest and free flight reads +1 g
// upwards in the world frame; the filter negates the reading first.
//
// Gravity is a low-pass of that total acceleration in the device's frame.
// With a gyroscope the estimate is first turned with the device by each
// rotation, so it follows a swinging phone and only the drift is left to the
// low-pass; the gyroscope also carries the heading. The rotation matrix turns
// the gravity estimate straight down, R × gravity = (0, 0, -|gravity|), so
// the counter's world-frame vertical is right whatever the heading.
//
// Settling: updates start when the recording does, so the first samples seed
// the estimate: gravity is their running mean until the low-pass weighs a
// sample more than the mean would. The phone lies still during the
// countdown, and the first instants of a recording are seldom jumps.
class AttitudeFilter {
 public:
  // Time constant (s) of the gravity low-pass: long against a jump cycle
  // (its ripple at 1.5 jumps a second stays near 0.05 g), short against a
  // change of posture.
  static constexpr double kTimeConstant = 2.0;
  // A step longer than this (s) is taken as this: a gap in the readings
  // should not swing the estimate.
  static constexpr double kLongestStep = 0.5;
  // Readings beyond this magnitude (g, rad/s) are no sensor's.
  static constexpr double kLargestReading = 1e4;

  // One reading: acceleration in g (specific force, device axes), the
  // rotation rate in radians per second when there is a gyroscope, and the
  // time since the previous reading. A reading that is not finite or beyond
  // kLargestReading changes nothing and gives no sample.
  [[nodiscard]] std::optional<DeviceMotion> update(const Vector3& specificForce,
                                                   const std::optional<Vector3>& rotationRate,
                                                   double dt);
  // Forgets everything: the next reading seeds a fresh estimate.
  void reset();

 private:
  Vector3 gravity_;          // g, device axes, headphones' sign (down)
  RotationMatrix attitude_;  // device frame onto the world frame
  std::size_t seen_ = 0;
};

}  // namespace hopster
