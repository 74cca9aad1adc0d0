#pragma once

#include <optional>

#include "platform/announcer.h"
#include "platform/clock.h"
#include "platform/headphone_motion_service.h"
#include "platform/uuid_source.h"
#include "recording/recording_state.h"

namespace hopster {

// The work done for every delivered motion sample: convert it, keep it for
// the trace, count jumps and feed the live chart.
class MotionPipeline {
 public:
  // A rise above this vertical acceleration (g) counts one jump.
  static constexpr double kJumpThreshold = 0.7;
  // A fall below this vertical acceleration (g) re-arms the counter.
  static constexpr double kRearmLevel = 0.0;
  // The live chart shows at most this many points.
  static constexpr std::size_t kChartWindow = 50;

  MotionPipeline(RecordingState& state, const Clock& clock, UuidSource& uuids,
                 Announcer& announcer);

  // Handles one delivery of the motion service. A delivery without a sample
  // does nothing; errors are ignored.
  void handleMotionUpdate(const std::optional<DeviceMotion>& sample,
                          const std::optional<MotionError>& error);

  // Two-level hysteresis: counts a rise above `threshold` once, then waits for
  // a value below zero before it counts again. Not-a-number does neither.
  void detectJump(double zAcceleration, double threshold);

 private:
  RecordingState& state_;
  const Clock& clock_;
  UuidSource& uuids_;
  Announcer& announcer_;
};

}  // namespace hopster
