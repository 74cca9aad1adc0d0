#include "records/history_format.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace hopster {
namespace {

std::string printfTwoDecimals(double value) {
  // Sized first: a huge quotient has hundreds of digits.
  const int size = std::snprintf(nullptr, 0, "%.2f", value);
  std::string text(static_cast<std::size_t>(size), '\0');
  std::snprintf(text.data(), text.size() + 1, "%.2f", value);
  return text;
}

}  // namespace

std::string formatDuration(double seconds) {
  // Converting a NaN, an infinity or anything outside [-2^63, 2^63) to a
  // 64-bit integer is undefined, so such a duration gets a dash instead.
  constexpr double kIntegerLimit = 0x1p63;
  if (!std::isfinite(seconds) || seconds >= kIntegerLimit || seconds < -kIntegerLimit) {
    return "—";
  }
  const auto whole = static_cast<std::int64_t>(seconds);  // truncated toward zero
  const std::int64_t hours = whole / 3600;
  const std::int64_t rest = whole - 3600 * hours;

  std::string text;
  if (whole >= 3600) text += std::to_string(hours) + "h ";
  if (whole >= 3600 || rest >= 60) text += std::to_string(rest / 60) + "m ";
  // The hundredths come from the fraction alone and are cut, so 59.999 shows
  // as 59.99s rather than rounding up to 60.00s.
  const auto hundredths = static_cast<std::int64_t>((seconds - std::floor(seconds)) * 100);
  const double shown = static_cast<double>(whole % 60) + static_cast<double>(hundredths) / 100;
  text += printfTwoDecimals(shown) + "s";
  return text;
}

std::string formatSpeed(std::int64_t jumps, double timeSpent) {
  return printfTwoDecimals(static_cast<double>(jumps) / timeSpent);
}

void sortByStartDescending(std::vector<UserRecordData>& records) {
  // NaN counts as below every number and equal to itself, which keeps the
  // ordering strict and weak (a plain `>` would not be with NaNs about).
  std::stable_sort(records.begin(), records.end(),
                   [](const UserRecordData& a, const UserRecordData& b) {
                     if (std::isnan(a.dateStart)) return false;
                     if (std::isnan(b.dateStart)) return true;
                     return a.dateStart > b.dateStart;
                   });
}

}  // namespace hopster
