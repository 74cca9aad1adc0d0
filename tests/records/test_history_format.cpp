#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "records/history_format.h"

namespace hopster {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(FormatDuration, WritesHoursMinutesAndCutHundredths) {
  // 59.999 is cut, not rounded up to 60.00s; minutes show as 0 beside hours.
  const std::pair<double, const char*> cases[] = {
      {0.0, "0.00s"},          {5.5, "5.50s"},
      {59.999, "59.99s"},      {60.0, "1m 0.00s"},
      {65.257, "1m 5.25s"},    {3599.5, "59m 59.50s"},
      {3600.0, "1h 0m 0.00s"}, {90061.25, "25h 1m 1.25s"}};
  for (const auto& [seconds, text] : cases) EXPECT_EQ(formatDuration(seconds), text) << seconds;
}

TEST(FormatDuration, GivesADashWhenSecondsDoNotFitAnInteger) {
  for (const double seconds : {kNaN, kInf, -kInf, 0x1p63, -1e300}) {
    EXPECT_EQ(formatDuration(seconds), "—") << seconds;
  }
  EXPECT_EQ(formatDuration(0x1p62), "1281023894007607h 45m 4.00s");
}

TEST(FormatSpeed, WritesJumpsPerSecondWithTwoRoundedDecimals) {
  EXPECT_EQ(formatSpeed(150, 65.257), "2.30");
  EXPECT_EQ(formatSpeed(2, 3.0), "0.67");
  EXPECT_EQ(formatSpeed(1, 0.0), "inf");
  const std::string huge = formatSpeed(1, 1e-300);  // about 1e300, written in full
  EXPECT_GT(huge.size(), 300u);
  EXPECT_EQ(huge.substr(huge.size() - 3), ".00");
}

std::vector<std::string> sortedIds(const std::vector<std::pair<std::string, double>>& starts) {
  std::vector<UserRecordData> records;
  for (const auto& [id, start] : starts) {
    records.emplace_back().id = id;
    records.back().dateStart = start;
  }
  sortByStartDescending(records);
  std::vector<std::string> ids;
  for (const auto& r : records) ids.push_back(r.id);
  return ids;
}

TEST(SortByStartDescending, PutsLatestStartFirstAndNaNsLast) {
  EXPECT_EQ(sortedIds({{"a", 100}, {"c", 300}, {"b", 200}}),
            (std::vector<std::string>{"c", "b", "a"}));
  EXPECT_EQ(sortedIds({{"n1", kNaN}, {"a", -5}, {"n2", kNaN}, {"b", 7}}),
            (std::vector<std::string>{"b", "a", "n1", "n2"}));
}

TEST(SortByStartDescending, KeepsTiesInOrderBeyondSmallInputs) {
  // Large enough that an unstable sort would reorder ties.
  std::vector<std::pair<std::string, double>> starts;
  std::vector<std::string> expected;
  for (int i = 0; i < 99; ++i) starts.emplace_back(std::to_string(i), i % 3);
  for (int start = 2; start >= 0; --start) {
    for (int i = start; i < 99; i += 3) expected.push_back(std::to_string(i));
  }
  EXPECT_EQ(sortedIds(starts), expected);
}

}  // namespace
}  // namespace hopster
