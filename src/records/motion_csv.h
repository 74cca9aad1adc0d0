#pragma once

#include <string>
#include <vector>

#include "recording/motion_data_point.h"

namespace hopster {

// The first line of every motion CSV text, without its line feed.
inline constexpr char kMotionCSVHeader[] =
    "TimeIntervalSince1970,AccelerationX,AccelerationY,AccelerationZ,RotationRateX,"
    "RotationRateY,RotationRateZ,Pitch,Roll,Yaw,GravityX,GravityY,GravityZ,"
    "GlobalAccelerationX,GlobalAccelerationY,GlobalAccelerationZ";

// A recording's trace as CSV text: the header line, then one line per sample
// in list order with its sixteen fields in declaration order, each in the
// number form of writeNumber. Every line ends in a line feed.
[[nodiscard]] std::string makeMotionCSV(const std::vector<MotionDataPoint>& samples);

}  // namespace hopster
