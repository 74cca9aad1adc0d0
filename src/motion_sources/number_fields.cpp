#include "motion_sources/number_fields.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <system_error>

#include "platform/linux/posix_io.h"

namespace hopster {
namespace {

// from_chars takes no leading "+" for the mantissa, which the writer never
// produces either; it does take "nan", "inf" and "-inf" as written.
bool parseNumber(std::string_view text, double& value) {
  text = trimmed(text, " \t\r");
  if (text.empty()) return false;
  const char* const end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  return error == std::errc() && stop == end;
}

}  // namespace

bool parseNumberFields(std::string_view line, std::span<double> values) {
  std::size_t index = 0;
  for (;;) {
    const auto comma = line.find(',');
    if (index == values.size()) return false;  // more fields than wanted
    if (!parseNumber(line.substr(0, comma), values[index++])) return false;
    if (comma == std::string_view::npos) break;
    line.remove_prefix(comma + 1);
  }
  return index == values.size();
}

bool parseFiniteNumberFields(std::string_view line, std::span<double> values) {
  return parseNumberFields(line, values) &&
         std::all_of(values.begin(), values.end(), [](double v) { return std::isfinite(v); });
}

}  // namespace hopster
