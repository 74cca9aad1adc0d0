#pragma once

#include <string>

namespace hopster {

struct Vector3 {
  double x = 0.0;
  double y = 0.0;
  double z = 0.0;
};

// A 3 x 3 rotation matrix; m12 is row 1, column 2.
struct RotationMatrix {
  double m11 = 1.0, m12 = 0.0, m13 = 0.0;
  double m21 = 0.0, m22 = 1.0, m23 = 0.0;
  double m31 = 0.0, m32 = 0.0, m33 = 1.0;
};

struct Attitude {
  double pitch = 0.0;  // radians
  double roll = 0.0;   // radians
  double yaw = 0.0;    // radians
  RotationMatrix rotationMatrix;
};

// One sample of the headphones' motion sensors. The rotation matrix maps the
// headphones' frame onto the world frame.
struct DeviceMotion {
  Vector3 userAcceleration;  // g, gravity removed
  Vector3 rotationRate;      // radians per second
  Attitude attitude;
  Vector3 gravity;  // g
};

// An error handed to a motion handler, with its human-readable description.
struct MotionError {
  std::string description;
};

}  // namespace hopster
