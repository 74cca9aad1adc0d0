#pragma once

#include <cmath>

namespace hopster::testing {

// A person skipping rope, as the phone tests send it: readings a second of
// each sensor, and the jumps made.
inline constexpr int kJumperRate = 50;
inline constexpr int kJumperJumps = 12;
inline constexpr int kJumperReadings = 8 * kJumperRate;

// Vertical acceleration (g, up) t seconds in: a second standing, then
// kJumperJumps jumps of a ground contact (a half-sine of 2.4 g over 0.2 s)
// and 0.3 s of free flight at -1 g, then standing.
inline double jumperAcceleration(double t) {
  const double s = t - 1.0;
  if (s < 0.0 || s >= kJumperJumps * 0.5) return 0.0;
  const double phase = std::fmod(s, 0.5);
  return phase < 0.2 ? 2.4 * std::sin(3.14159265358979 * phase / 0.2) : -1.0;
}

}  // namespace hopster::testing
