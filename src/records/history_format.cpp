#include "records/history_format.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace hopster {
namespace {

// printf's "%.2f" as the C locale writes it, whatever the process's numeric
// locale: a point before the decimals, never a comma.
std::string printfTwoDecimals(double value) {
  // The largest double has 309 integer digits.
  char text[400];
  const auto end = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 2).ptr;
  return std::string(text, end);
}

template <class Record>
void sortByStartDescendingImpl(std::vector<Record>& records) {
  // NaN counts as below every number and equal to itself, which keeps the
  // ordering strict and weak (a plain `>` would not be with NaNs about).
  std::stable_sort(records.begin(), records.end(), [](const Record& a, const Record& b) {
    if (std::isnan(a.dateStart)) return false;
    if (std::isnan(b.dateStart)) return true;
    return a.dateStart > b.dateStart;
  });
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
  sortByStartDescendingImpl(records);
}

void sortByStartDescending(std::vector<RecordSummary>& records) {
  sortByStartDescendingImpl(records);
}

}  // namespace hopster
