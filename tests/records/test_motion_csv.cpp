#include "records/motion_csv.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "records/number_form.h"

namespace hopster {
namespace {

// A sample is sixteen packed doubles in field order, so it converts to and
// from an array of its fields.
using Fields = std::array<double, 16>;

MotionDataPoint fromFields(const Fields& fields) { return std::bit_cast<MotionDataPoint>(fields); }

Fields toFields(const MotionDataPoint& sample) { return std::bit_cast<Fields>(sample); }

const std::string kHeaderLine =
    "TimeIntervalSince1970,AccelerationX,AccelerationY,AccelerationZ,RotationRateX,"
    "RotationRateY,RotationRateZ,Pitch,Roll,Yaw,GravityX,GravityY,GravityZ,"
    "GlobalAccelerationX,GlobalAccelerationY,GlobalAccelerationZ\n";

TEST(MotionCSVTest, NoSamplesGiveTheHeaderAlone) {
  const std::string text = makeMotionCSV({});
  EXPECT_EQ(text, kHeaderLine);
  EXPECT_EQ(text.size(), 208u);
}

TEST(MotionCSVTest, AllZeroSampleGivesSixteenZeros) {
  EXPECT_EQ(makeMotionCSV({MotionDataPoint{}}),
            kHeaderLine + "0.0,0.0,0.0,0.0,0.0,0.0,0.0,0.0,0.0,0.0,0.0,0.0,0.0,0.0,0.0,0.0\n");
}

TEST(MotionCSVTest, ColumnsFollowTheFieldOrder) {
  const MotionDataPoint numbered{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  MotionDataPoint mixed{};
  mixed.timeStamp = 1764942759.5;
  mixed.accelerationX = 0.00005;
  mixed.accelerationY = -0.0;
  mixed.accelerationZ = 1.0;
  mixed.globalAccelerationZ = 0.1;
  EXPECT_EQ(makeMotionCSV({numbered, mixed}),
            kHeaderLine +
                "1.0,2.0,3.0,4.0,5.0,6.0,7.0,8.0,9.0,10.0,11.0,12.0,13.0,14.0,15.0,16.0\n"
                "1764942759.5,5e-05,-0.0,1.0,0.0,0.0,0.0,0.0,0.0,0.0,0.0,0.0,0.0,0.0,0.0,0.1\n");
}

TEST(MotionCSVTest, EveryLineHoldsItsSampleInNumberForm) {
  // Random bit patterns, and a sample whose every field has the longest
  // number form, so the text fills the space reserved for it.
  std::mt19937_64 random(42);
  std::vector<MotionDataPoint> samples;
  for (int i = 0; i < 500; ++i) {
    Fields fields;
    for (double& field : fields) {
      field = std::bit_cast<double>(random());
    }
    samples.push_back(fromFields(fields));
  }
  Fields longest;
  longest.fill(-2.2250738585072014e-308);
  samples.push_back(fromFields(longest));

  const std::string text = makeMotionCSV(samples);
  ASSERT_EQ(text.find('\r'), std::string::npos);
  ASSERT_EQ(text.back(), '\n');
  ASSERT_EQ(static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')),
            samples.size() + 1);

  std::istringstream lines(text);
  std::string line;
  std::getline(lines, line);
  EXPECT_EQ(line + "\n", kHeaderLine);
  for (const MotionDataPoint& sample : samples) {
    std::getline(lines, line);
    std::string expected;
    for (double field : toFields(sample)) {
      expected += (expected.empty() ? "" : ",") + formatNumber(field);
    }
    ASSERT_EQ(line, expected);
  }
}

}  // namespace
}  // namespace hopster
