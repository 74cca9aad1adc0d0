#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "motion_sources/push_message.h"
#include "platform/device_motion.h"
#include "platform/log.h"

namespace hopster {

// A motion sample with the time its reading was taken.
struct TimedMotion {
  double time = 0.0;  // seconds since 1970, from the reading's time
  DeviceMotion motion;
  bool fromHeadphones = false;
};

// Turns the readings of one Sensor Logger stream (one phone's pushes, or one
// export) into motion samples in the sign the headphones use: at rest,
// gravity points down (-z when lying flat), and the user acceleration is the
// inertial reading, opposite to the acceleration itself, so that free flight
// reads +1 g upwards in the world frame. Each sample's rotation matrix turns
// its gravity straight down, (0, 0, -|gravity|), so the counter's world-frame
// vertical is always right, whatever the heading.
//
// Headphone readings become samples at once. A phone's acceleration readings
// ("accelerometer", or "totalacceleration" minus gravity while no
// "accelerometer" comes) become samples paired with the latest "gravity",
// "orientation" and "gyroscope"; before any gravity there is no sample, and a
// stream that sends no gravity at all gets it from a low-pass of its total
// acceleration. Once a stream sends headphone readings, its phone readings
// are ignored: the headphones are what the counter was made for.
//
// Android's acceleration and gravity carry the opposite sign to iOS and the
// headphones; samples of an Android stream are turned into the iOS sign. A
// stream is Android when it sends "totalacceleration" (only Android has it),
// or when its orientation turns its gravity up rather than down; until then
// it is taken for iOS. (The counter's vertical does not depend on this: it is
// -gravity·acceleration over |gravity|, which both signs give alike.)
class PhoneSampleBuilder {
 public:
  enum class Platform { undecided, iOS, android };

  // How far (radians) a reading's orientation may turn its gravity away from
  // straight down and still be trusted for the sample's heading. Gravity and
  // orientation come from the same sensor fusion, so they agree to a degree
  // or so; a quaternion further off is of another frame, or stale.
  static constexpr double kAttitudeTolerance = 0.1745;  // 10 degrees
  // Above this median magnitude (g) of the last kUnitsWindow headphone
  // accelerations, they look like m/s²: in those free flight alone reads 9.8,
  // while in g even a jumping head seldom stays above 3.
  static constexpr double kMetresPerSecondSquaredHint = 3.0;
  static constexpr std::size_t kUnitsWindow = 50;
  // Time constant (s) of the low-pass that estimates gravity from total
  // acceleration: long against a jump, short against a change of posture.
  static constexpr double kGravityTimeConstant = 1.0;

  explicit PhoneSampleBuilder(Log& log);

  // One reading in; a sample out when the reading completes one. A reading
  // missing a field it needs, or with a field it uses not finite (or beyond
  // 1e9, which no sensor reads), is malformed: counted, and it changes nothing.
  [[nodiscard]] std::optional<TimedMotion> add(const PushReading& reading);

  [[nodiscard]] std::size_t malformedReadings() const { return malformed_; }
  // The platform whose signs the phone readings carry, as detected so far.
  [[nodiscard]] Platform platform() const { return platform_; }

 private:
  struct Orientation {
    std::array<double, 4> quaternion{};  // w, x, y, z
    double pitch = 0.0, roll = 0.0, yaw = 0.0;
  };

  std::optional<TimedMotion> addHeadphone(const PushReading& reading);
  std::optional<TimedMotion> addPhone(const PushReading& reading);
  std::optional<TimedMotion> phoneSample(const PushReading& reading, const Vector3& acceleration);
  void estimateGravity(const Vector3& total, std::int64_t timeNs);
  void decidePlatform();
  void watchUnits(const Vector3& acceleration);

  Log& log_;
  std::size_t malformed_ = 0;
  bool headphones_ = false;
  Platform platform_ = Platform::undecided;
  // The phone's latest readings, in the sign and units they were sent in.
  std::optional<Vector3> gravity_;    // m/s²
  std::optional<Vector3> lowPassed_;  // m/s², total acceleration low-passed
  std::int64_t lowPassedTimeNs_ = 0;
  std::optional<Orientation> orientation_;
  Vector3 rotationRate_;
  bool sawAccelerometer_ = false;
  // The magnitudes of the latest headphone accelerations, a ring.
  std::array<double, kUnitsWindow> magnitudes_{};
  std::size_t magnitudesSeen_ = 0;
  bool unitsWarned_ = false;
};

}  // namespace hopster
