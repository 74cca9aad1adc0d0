#include "records/motion_csv.h"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <string>
#include <vector>

namespace hopster {
namespace {

const std::string kHeaderLine =
    "TimeIntervalSince1970,AccelerationX,AccelerationY,AccelerationZ,RotationRateX,"
    "RotationRateY,RotationRateZ,Pitch,Roll,Yaw,GravityX,GravityY,GravityZ,"
    "GlobalAccelerationX,GlobalAccelerationY,GlobalAccelerationZ\n";

TEST(MotionCSVTest, WritesTheHeaderThenALinePerSampleInFieldOrder) {
  EXPECT_EQ(makeMotionCSV({}), kHeaderLine);
  const MotionDataPoint numbered{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  EXPECT_EQ(makeMotionCSV({MotionDataPoint{}, numbered}),
            kHeaderLine +
                "0.0,0.0,0.0,0.0,0.0,0.0,0.0,0.0,0.0,0.0,0.0,0.0,0.0,0.0,0.0,0.0\n"
                "1.0,2.0,3.0,4.0,5.0,6.0,7.0,8.0,9.0,10.0,11.0,12.0,13.0,14.0,15.0,16.0\n");
}

TEST(MotionCSVTest, FitsManySamplesOfTheLongestNumbers) {
  // Every field in the longest number form fills the space the text reserves.
  std::array<double, 16> fields;
  fields.fill(-2.2250738585072014e-308);
  const std::vector<MotionDataPoint> samples(1000, std::bit_cast<MotionDataPoint>(fields));
  std::string line;
  for (int i = 0; i < 16; ++i)
    line += (i == 0 ? "" : ",") + std::string("-2.2250738585072014e-308");
  std::string expected = kHeaderLine;
  for (std::size_t i = 0; i < samples.size(); ++i) expected += line + "\n";
  EXPECT_EQ(makeMotionCSV(samples), expected);
}

}  // namespace
}  // namespace hopster
