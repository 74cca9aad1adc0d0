#pragma once

#include <cstddef>
#include <string>

namespace hopster {

// The longest text writeNumber produces: "-", 17 significant digits, ".",
// "e-324" (24 characters, e.g. "-2.2250738585072014e-308"). Positional forms
// are shorter: "-0.000" plus 17 digits is 23.
inline constexpr std::size_t kMaxNumberLength = 24;

// Writes value as the shortest decimal that reads back to the same double and
// returns the end of the text. out must have room for kMaxNumberLength chars;
// no terminating zero is written.
//
// Layout: "0.0" / "-0.0" for zeros; "nan" (whatever its sign or payload),
// "inf", "-inf"; positional with at least one digit on each side of the point
// for magnitudes in [0.0001, 1e16) ("0.0001", "123.456", "1200.0");
// exponential below 0.0001 ("5e-05", "1.2345e-05", "1e-100") and, from 1e16
// up, exponential with an explicit plus ("1e+16", "1.7976931348623157e+308"),
// the layout Python's repr uses for the same values.
char* writeNumber(double value, char* out);

// The same text as a string.
[[nodiscard]] std::string formatNumber(double value);

}  // namespace hopster
