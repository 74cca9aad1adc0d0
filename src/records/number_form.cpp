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

}  // namespace

char* writeNumber(double value, char* out) {
  char* const limit = out + kMaxNumberLength;
  if (std::isnan(value)) {
    return writeLiteral("nan", 3, out);
  }
  if (std::signbit(value)) {
    *out++ = '-';
    value = -value;
  }
  if (std::isinf(value)) {
    return writeLiteral("inf", 3, out);
  }
  if (value == 0.0) {
    return writeLiteral("0.0", 3, out);
  }

  // Shortest round-trip digits, nearest to the exact value when several
  // qualify, laid out as "d[.ddd]e±XX[X]" straight into out.
  char* const end = std::to_chars(out, limit, value, std::chars_format::scientific).ptr;
  if (value < kSmallestPositional || value >= kFirstLargeExponential) {
    // That layout is already the wanted exponential form: below 0.0001 as
    // required, and from 1e16 up, where any form would do, with "e+" as
    // Python's repr writes such values.
    return end;
  }

  // In the positional range the exponent x of d1.d2...dn x 10^x lies in
  // [-4, 15] and so has two digits; the digits are rearranged in place.
  const int magnitude = (end[-2] - '0') * 10 + (end[-1] - '0');
  const int exponent = end[-3] == '-' ? -magnitude : magnitude;
  char* const exponentMark = end - 4;
  const auto count = static_cast<std::size_t>(exponentMark == out + 1 ? 1 : exponentMark - out - 1);
  const char first = out[0];
  if (exponent < 0) {
    // "0." then -x-1 zeros, then all digits.
    const auto zeros = static_cast<std::size_t>(-exponent - 1);
    std::memmove(out + 3 + zeros, out + 2, count - 1);
    out[2 + zeros] = first;
    std::memset(out + 2, '0', zeros);
    out[0] = '0';
    out[1] = '.';
    return out + 2 + zeros + count;
  }
  const auto integerDigits = static_cast<std::size_t>(exponent) + 1;
  if (integerDigits < count) {
    // Move the point right by x places.
    std::memmove(out + 1, out + 2, integerDigits - 1);
    out[integerDigits] = '.';
    return out + count + 1;
  }
  // All digits before the point, padded with zeros, then ".0".
  std::memmove(out + 1, out + 2, count - 1);
  out += count;
  std::memset(out, '0', integerDigits - count);
  out += integerDigits - count;
  return writeLiteral(".0", 2, out);
}

std::string formatNumber(double value) {
  char buffer[kMaxNumberLength];
  return std::string(buffer, writeNumber(value, buffer));
}

}  // namespace hopster
