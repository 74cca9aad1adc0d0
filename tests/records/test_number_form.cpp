#include "records/number_form.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>
#include <string_view>

namespace hopster {
namespace {

struct Example {
  double value;
  const char* text;
};

TEST(NumberFormTest, WritesTheDocumentedExamples) {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
  const Example examples[] = {
      // Zeros and the special values; a NaN keeps no sign.
      {0.0, "0.0"},
      {-0.0, "-0.0"},
      {kNaN, "nan"},
      {-kNaN, "nan"},
      {kInf, "inf"},
      {-kInf, "-inf"},
      // Exponential below 0.0001.
      {0.00005, "5e-05"},
      {0.000012345, "1.2345e-05"},
      {1.5e-7, "1.5e-07"},
      {-0.00005, "-5e-05"},
      {0.00009999, "9.999e-05"},
      {std::nextafter(0.0001, 0.0), "9.999999999999999e-05"},
      {1e-100, "1e-100"},
      {1.25e-310, "1.25e-310"},
      {5e-324, "5e-324"},
      {-2.2250738585072014e-308, "-2.2250738585072014e-308"},
      // Positional, the point never at either end.
      {0.0001, "0.0001"},
      {0.00123, "0.00123"},
      {0.5, "0.5"},
      {0.1, "0.1"},
      {0.1 + 0.2, "0.30000000000000004"},
      {1.0 / 3.0, "0.3333333333333333"},
      {123.456, "123.456"},
      {-1.5, "-1.5"},
      {1.0, "1.0"},
      {1200.0, "1200.0"},
      {1764942759.0, "1764942759.0"},
      {1764942759.5, "1764942759.5"},
      {1764942759.123456, "1764942759.123456"},
      {4294967296.0, "4294967296.0"},
      // Large magnitudes: positional up to 1e16, exponential with "+" beyond.
      {1e15, "1000000000000000.0"},
      {9007199254740993.0, "9007199254740992.0"},
      {9999999999999998.0, "9999999999999998.0"},
      {1e16, "1e+16"},
      {-1.5e17, "-1.5e+17"},
      {1e100, "1e+100"},
      {1.7976931348623157e308, "1.7976931348623157e+308"},
  };
  for (const Example& example : examples) {
    EXPECT_EQ(formatNumber(example.value), example.text) << "for " << example.text;
  }
}

// The significant digits of a written number (no sign, point, exponent,
// leading or trailing zeros).
std::string_view significantDigits(std::string_view text, char* buffer) {
  std::size_t count = 0;
  for (char c : text.substr(0, text.find('e'))) {
    if (c >= '0' && c <= '9' && !(count == 0 && c == '0')) {
      buffer[count++] = c;
    }
  }
  const std::string_view digits(buffer, count);
  return digits.substr(0, digits.find_last_not_of('0') + 1);
}

bool isDigits(std::string_view text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// The layout rules that round-tripping alone does not catch.
void expectLayout(double value, std::string_view text) {
  ASSERT_LE(text.size(), kMaxNumberLength) << text;
  ASSERT_EQ(text.front() == '-', std::signbit(value)) << text;
  const std::string_view magnitudeText = text.substr(text.front() == '-' ? 1 : 0);
  const double magnitude = std::fabs(value);
  const std::size_t e = magnitudeText.find('e');
  if (magnitude < 0.0001 || magnitude >= 1e16) {
    ASSERT_NE(e, std::string_view::npos) << text;
    const std::string_view mantissa = magnitudeText.substr(0, e);
    const std::string_view exponent = magnitudeText.substr(e + 2);
    ASSERT_TRUE(mantissa.size() == 1 || (mantissa[1] == '.' && mantissa.size() > 2)) << text;
    ASSERT_NE(mantissa.back(), '0') << text;
    ASSERT_EQ(magnitudeText[e + 1], magnitude < 1 ? '-' : '+') << text;
    ASSERT_TRUE(isDigits(exponent) && exponent.size() >= 2) << text;
    ASSERT_TRUE(exponent.size() == 2 || exponent[0] != '0') << text;
  } else {
    ASSERT_EQ(e, std::string_view::npos) << text;
    const std::size_t point = magnitudeText.find('.');
    ASSERT_NE(point, std::string_view::npos) << text;
    const std::string_view whole = magnitudeText.substr(0, point);
    const std::string_view fraction = magnitudeText.substr(point + 1);
    ASSERT_TRUE(isDigits(whole) && isDigits(fraction)) << text;
    ASSERT_TRUE(whole == "0" || whole[0] != '0') << text;
    ASSERT_TRUE(fraction == "0" || fraction.back() != '0') << text;
  }
}

// Checks one finite value: it reads back exactly, no string with one digit
// fewer would, and among strings of its length it is the nearest (the
// correctly rounded one, whenever that one reads back).
void expectShortestRoundTrip(double value) {
  char text[kMaxNumberLength + 1];
  *writeNumber(value, text) = '\0';
  ASSERT_NO_FATAL_FAILURE(expectLayout(value, text));
  ASSERT_EQ(std::bit_cast<std::uint64_t>(std::strtod(text, nullptr)),
            std::bit_cast<std::uint64_t>(value))
      << text;
  char digitBuffer[kMaxNumberLength];
  const std::string_view digits = significantDigits(text, digitBuffer);
  const int n = static_cast<int>(digits.size());
  char other[64];
  if (n > 1) {
    std::snprintf(other, sizeof other, "%.*e", n - 2, value);
    ASSERT_NE(std::strtod(other, nullptr), value) << text << " could be " << other;
  }
  std::snprintf(other, sizeof other, "%.*e", n - 1, value);
  if (std::strtod(other, nullptr) == value) {
    char otherDigits[64];
    ASSERT_EQ(significantDigits(other, otherDigits), digits)
        << text << " is not the nearest; " << other << " is";
  }
}

TEST(NumberFormTest, RandomDoublesAreShortestAndReadBack) {
  // Half the values are uniform bit patterns, spread over every magnitude;
  // the other half have biased exponents from 2^-20 to 2^60, which cover
  // both switches between the exponential and positional forms and which
  // uniform bit patterns rarely hit.
  std::mt19937_64 random(20240917);
  std::uniform_int_distribution<std::uint64_t> exponent(1023 - 20, 1023 + 60);
  for (int i = 0; i < 1'000'000; ++i) {
    std::uint64_t bits = random();
    if (i % 2 == 1) {
      bits = (bits & 0x800F'FFFF'FFFF'FFFFull) | (exponent(random) << 52);
    }
    const double value = std::bit_cast<double>(bits);
    if (std::isfinite(value)) {
      ASSERT_NO_FATAL_FAILURE(expectShortestRoundTrip(value));
    }
  }
}

TEST(NumberFormTest, WriteNumberReturnsTheEndAndWritesNothingBeyond) {
  char buffer[kMaxNumberLength + 1];
  buffer[kMaxNumberLength] = '#';
  const double longest = -2.2250738585072014e-308;
  char* end = writeNumber(longest, buffer);
  EXPECT_EQ(end - buffer, static_cast<std::ptrdiff_t>(kMaxNumberLength));
  EXPECT_EQ(std::string(buffer, end), "-2.2250738585072014e-308");
  EXPECT_EQ(buffer[kMaxNumberLength], '#');
}

}  // namespace
}  // namespace hopster
