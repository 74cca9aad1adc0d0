#include "recording/motion_pipeline.h"

#include <charconv>

namespace hopster {

MotionPipeline::MotionPipeline(RecordingState& state, const Clock& clock, UuidSource& uuids,
                               Announcer& announcer)
    : state_(state), clock_(clock), uuids_(uuids), announcer_(announcer) {}

void MotionPipeline::handleMotionUpdate(const std::optional<DeviceMotion>& sample,
                                        const std::optional<MotionError>& /*error*/) {
  if (!sample) return;
  const MotionDataPoint& point =
      state_.motionData.emplace_back(makeMotionDataPoint(*sample, clock_));
  const double z = point.globalAccelerationZ;
  detectJump(z, kJumpThreshold);

  state_.accelerationData.push_back(AccelerationData{uuids_.next(), clock_.now(), z});
  if (state_.accelerationData.size() > kChartWindow) state_.accelerationData.pop_front();
}

void MotionPipeline::detectJump(double zAcceleration, double threshold) {
  if (zAcceleration > threshold && state_.isAllowedToCount) {
    ++state_.jumpCount;
    state_.isAllowedToCount = false;
    char text[24];
    const auto end = std::to_chars(text, text + sizeof text, state_.jumpCount).ptr;
    announcer_.announce(std::string_view(text, static_cast<std::size_t>(end - text)));
    return;
  }
  if (zAcceleration < kRearmLevel) state_.isAllowedToCount = true;
}

}  // namespace hopster
