// The motion CSV: how each number is written, shortest and in its layout,
// and the lines of the samples.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "records/motion_csv.h"
#include "records/number_form.h"

namespace hopster {
namespace {

TEST(NumberFormTest, WritesTheDocumentedExamples) {
  // Each text is how the value it reads back to is written: zeros, NaN and
  // the infinities; exponential below 0.0001 (two exponent digits at least);
  // positional below 1e16, with a digit on each side of the point;
  // exponential with an explicit plus from 1e16 up.
  std::istringstream examples(
      "0.0 -0.0 nan inf -inf "
      "5e-05 1.2345e-05 1e-100 5e-324 9.999999999999999e-05 -2.2250738585072014e-308 "
      "0.0001 0.00123 0.5 0.30000000000000004 123.456 -1.5 1.0 1200.0 1764942759.123456 "
      "9999999999999998.0 1e+16 -1.5e+17 1.7976931348623157e+308");
  for (std::string text; examples >> text;) {
    EXPECT_EQ(formatNumber(std::strtod(text.c_str(), nullptr)), text);
  }
  EXPECT_EQ(formatNumber(-std::numeric_limits<double>::quiet_NaN()), "nan") << "no sign";
}

// What Python's repr writes for a finite non-zero double, found without
// writeNumber: the fewest digits that printf rounds to and strtod reads back,
// laid out positionally in [0.0001, 1e16) and as printf wrote them elsewhere.
// (At a power of two a shorter text may read back, but random mantissas are
// practically never zero.)
std::string reprOf(double value) {
  std::string text;  // 17 digits always read back; fewer may
  for (int precision = 16; precision >= 0; --precision) {
    char shorter[40];
    std::snprintf(shorter, sizeof shorter, "%.*e", precision, value);
    if (std::strtod(shorter, nullptr) != value) break;
    text = shorter;
  }
  const double magnitude = std::fabs(value);
  if (magnitude < 0.0001 || magnitude >= 1e16) return text;
  const std::string sign = value < 0 ? "-" : "";
  const std::size_t e = text.find('e');
  std::string digits = text.substr(sign.size(), e - sign.size());
  std::erase(digits, '.');
  const int exponent = std::stoi(text.substr(e + 1));
  if (exponent < 0) return sign + "0." + std::string(-exponent - 1, '0') + digits;
  const auto whole = static_cast<std::size_t>(exponent) + 1;
  if (digits.size() <= whole) digits.resize(whole + 1, '0');
  return sign + digits.insert(whole, ".");
}

TEST(NumberFormTest, RandomDoublesAreWrittenShortestInTheirLayout) {
  // Half the values are uniform bit patterns, spread over every magnitude;
  // the other half have biased exponents from 2^-20 to 2^60, which cover
  // both switches between the exponential and positional forms.
  std::mt19937_64 random(20240917);
  std::uniform_int_distribution<std::uint64_t> exponent(1023 - 20, 1023 + 60);
  char buffer[kMaxNumberLength + 1];
  for (int i = 0; i < 1'000'000; ++i) {
    std::uint64_t bits = random();
    if (i % 2 == 1) bits = (bits & 0x800F'FFFF'FFFF'FFFFull) | (exponent(random) << 52);
    const double value = std::bit_cast<double>(bits);
    if (!std::isfinite(value) || value == 0.0) continue;
    buffer[kMaxNumberLength] = '#';
    char* end = writeNumber(value, buffer);
    ASSERT_EQ(std::string(buffer, end), reprOf(value));
    ASSERT_EQ(buffer[kMaxNumberLength], '#') << "written beyond kMaxNumberLength";
  }
}

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

}  // namespace
}  // namespace hopster
