#include "records/motion_csv.h"

#include <array>
#include <cstring>

#include "records/number_form.h"

namespace hopster {

namespace {

// The columns, left to right.
constexpr std::array<double MotionDataPoint::*, 16> kColumns = {
    &MotionDataPoint::timeStamp,
    &MotionDataPoint::accelerationX,
    &MotionDataPoint::accelerationY,
    &MotionDataPoint::accelerationZ,
    &MotionDataPoint::rotationRateX,
    &MotionDataPoint::rotationRateY,
    &MotionDataPoint::rotationRateZ,
    &MotionDataPoint::pitch,
    &MotionDataPoint::roll,
    &MotionDataPoint::yaw,
    &MotionDataPoint::gravityX,
    &MotionDataPoint::gravityY,
    &MotionDataPoint::gravityZ,
    &MotionDataPoint::globalAccelerationX,
    &MotionDataPoint::globalAccelerationY,
    &MotionDataPoint::globalAccelerationZ,
};

constexpr std::size_t kHeaderLength = sizeof kMotionCSVHeader - 1;
// Every value followed by its separator or the line feed.
constexpr std::size_t kMaxLineLength = kColumns.size() * (kMaxNumberLength + 1);

}  // namespace

std::string makeMotionCSV(const std::vector<MotionDataPoint>& samples) {
  // One allocation for the whole text: size it for the longest possible
  // lines, write the numbers straight into it, then cut it to what was written.
  std::string text;
  text.resize(kHeaderLength + 1 + samples.size() * kMaxLineLength);
  char* out = text.data();
  std::memcpy(out, kMotionCSVHeader, kHeaderLength);
  out += kHeaderLength;
  *out++ = '\n';
  for (const MotionDataPoint& sample : samples) {
    for (double MotionDataPoint::*column : kColumns) {
      out = writeNumber(sample.*column, out);
      *out++ = ',';
    }
    out[-1] = '\n';
  }
  text.resize(static_cast<std::size_t>(out - text.data()));
  return text;
}

}  // namespace hopster
