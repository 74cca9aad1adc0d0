#pragma once

#include <cstdint>
#include <deque>
#include <vector>

#include "motion/motion_data_point.h"
#include "recording/acceleration_data.h"

namespace hopster {

// What the per-sample pipeline reads and writes while a recording runs. The
// recording controller owns it and decides when it is emptied.
struct RecordingState {
  std::int64_t jumpCount = 0;                     // jumps in the current recording
  bool isAllowedToCount = true;                   // the detector is armed
  std::vector<MotionDataPoint> motionData;        // every sample, in arrival order
  std::deque<AccelerationData> accelerationData;  // the chart window, oldest first
};

}  // namespace hopster
