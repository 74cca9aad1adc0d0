#pragma once

#include <span>
#include <string_view>

namespace hopster {

// Reads one line of comma-separated numbers into `values`. True only when the
// line holds exactly values.size() fields and every field is a whole number
// text: decimals with or without exponent ("1.5", "-0.0", "5e-05", "1e+16"),
// "nan", "inf" and "-inf". Spaces, tabs and a carriage return around a field
// are ignored. On false the contents of `values` are unspecified.
[[nodiscard]] bool parseNumberFields(std::string_view line, std::span<double> values);

// As parseNumberFields, but false as well when any field is "nan", "inf" or
// "-inf" (a decimal beyond a double's range, "1e999", fails both). Motion sources read
// their lines with this: a sample with a non-finite reading is no sample, and
// one of them would pass the jump detector's thresholds or poison a trace.
[[nodiscard]] bool parseFiniteNumberFields(std::string_view line, std::span<double> values);

}  // namespace hopster
