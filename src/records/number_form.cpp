#include "records/number_form.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace hopster {

namespace {

char* writeLiteral(const char* text, std::size_t length, char* out) {
  std::memcpy(out, text, length);
  return out + length;
}

// Outside [0.0001, 1e16) the value goes out in exponential form. Both bounds
// are exact doubles whose shortest digits are a single "1", so a comparison
// with the value picks the same side as its decimal exponent would.
constexpr double kSmallestPositional = 0.0001;
constexpr double kFirstLargeExponential = 1e16;

// The positional form of a value whose magnitude lies in [0.0001, 1e16):
// every value a recording produces, so this is the hot path of a motion CSV.
// The shortest round-trip digits (nearest to the value when several qualify)
// come from to_chars in scientific form, the fastest form it has; they are
// then laid out with copies of fixed size only, which compile to a few
// register moves instead of calls: the text is built in a local buffer with
// room to spare and copied out whole.
char* writePositional(double value, double magnitude, char* out) {
  char scientific[40] = {};
  const char* const end =
      std::to_chars(scientific, scientific + 32, magnitude, std::chars_format::scientific).ptr;
  // "d[.ddd]e±XX": in this range the exponent x of d1.d2...dn x 10^x lies in
  // [-4, 15], so it always has two digits.
  const int size = (end[-2] - '0') * 10 + (end[-1] - '0');
  const int exponent = end[-3] == '-' ? -size : size;
  const char* const mark = end - 4;
  const auto count = static_cast<std::size_t>(mark == scientific + 1 ? 1 : mark - scientific - 1);

  // The n <= 17 digits side by side, followed by zeros.
  char digits[48];
  digits[0] = scientific[0];
  std::memcpy(digits + 1, scientific + 2, 16);
  std::memset(digits + count, '0', 17);

  char text[64];
  char* t = text;
  if (value < 0.0) *t++ = '-';
  std::size_t length = 0;
  if (exponent < 0) {
    // "0." then -x-1 zeros (at most three), then the digits.
    const auto zeros = static_cast<std::size_t>(-exponent - 1);
    std::memcpy(t, "0.000000", 8);
    std::memcpy(t + 2 + zeros, digits, 17);
    length = 2 + zeros + count;
  } else {
    const auto whole = static_cast<std::size_t>(exponent) + 1;  // digits before the point, <= 16
    std::memcpy(t, digits, 16);
    if (whole < count) {
      t[whole] = '.';
      std::memcpy(t + whole + 1, digits + whole, 16);
      length = count + 1;
    } else {
      // All digits before the point, padded with the zeros after them, then ".0".
      t[whole] = '.';
      t[whole + 1] = '0';
      length = whole + 2;
    }
  }
  std::memcpy(out, text, kMaxNumberLength);
  return out + (t - text) + length;
}

}  // namespace

char* writeNumber(double value, char* out) {
  char* const limit = out + kMaxNumberLength;
  const double magnitude = std::fabs(value);
  if (magnitude >= kSmallestPositional && magnitude < kFirstLargeExponential) {
    return writePositional(value, magnitude, out);
  }
  if (std::isnan(value)) {
    return writeLiteral("nan", 3, out);
  }
  if (std::signbit(value)) {
    *out++ = '-';
  }
  if (std::isinf(value)) {
    return writeLiteral("inf", 3, out);
  }
  if (value == 0.0) {
    return writeLiteral("0.0", 3, out);
  }
  // Below 0.0001 the scientific layout "d[.ddd]e-XX[X]" is already the wanted
  // exponential form; from 1e16 up, where any form would do, it writes "e+"
  // as Python's repr writes such values.
  return std::to_chars(out, limit, magnitude, std::chars_format::scientific).ptr;
}

std::string formatNumber(double value) {
  char buffer[kMaxNumberLength];
  return std::string(buffer, writeNumber(value, buffer));
}

}  // namespace hopster
