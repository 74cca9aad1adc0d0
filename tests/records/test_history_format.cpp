#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "records/history_format.h"

namespace hopster {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

struct DurationCase {
  double seconds;
  const char* text;
};

TEST(FormatDuration, WritesHoursMinutesAndCutHundredths) {
  const DurationCase cases[] = {
      {0.0, "0.00s"},          {5.5, "5.50s"},
      {59.999, "59.99s"},  // cut, not rounded up to 60.00s
      {60.0, "1m 0.00s"},      {65.257, "1m 5.25s"},
      {3599.5, "59m 59.50s"},                               // no hours below an hour
      {3600.0, "1h 0m 0.00s"},                              // minutes shown as 0 beside hours
      {3725.9, "1h 2m 5.90s"}, {90061.25, "25h 1m 1.25s"},  // hours do not roll over into days
  };
  for (const auto& c : cases) {
    EXPECT_EQ(formatDuration(c.seconds), c.text) << c.seconds;
  }
}

TEST(FormatDuration, GivesADashWhenSecondsDoNotFitAnInteger) {
  for (const double seconds : {kNaN, kInf, -kInf, 0x1p63, 1e300, -1e300}) {
    EXPECT_EQ(formatDuration(seconds), "—") << seconds;
  }
  // The largest durations that still fit are written out in full.
  EXPECT_EQ(formatDuration(0x1p62), "1281023894007607h 45m 4.00s");
}

TEST(FormatSpeed, WritesJumpsPerSecondWithTwoDecimals) {
  struct Case {
    std::int64_t jumps;
    double timeSpent;
    const char* text;
  };
  const Case cases[] = {
      {150, 65.257, "2.30"},
      {120, 60.0, "2.00"},
      {2, 3.0, "0.67"},  // rounded, unlike durations
      {1, 0.0, "inf"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(formatSpeed(c.jumps, c.timeSpent), c.text) << c.jumps << " / " << c.timeSpent;
  }
  EXPECT_NE(formatSpeed(0, 0.0).find("nan"), std::string::npos);
  const std::string huge = formatSpeed(1, 1e-300);  // about 1e300, written in full
  EXPECT_GT(huge.size(), 300u);
  EXPECT_EQ(huge.substr(huge.size() - 3), ".00");
}

UserRecordData record(std::string id, double dateStart) {
  UserRecordData r;
  r.id = std::move(id);
  r.dateStart = dateStart;
  return r;
}

std::vector<std::string> ids(const std::vector<UserRecordData>& records) {
  std::vector<std::string> result;
  for (const auto& r : records) result.push_back(r.id);
  return result;
}

TEST(SortByStartDescending, PutsLatestStartFirstKeepingTiesAndNaNsInOrder) {
  struct Case {
    const char* name;
    std::vector<UserRecordData> records;
    std::vector<std::string> expected;
  };
  const std::vector<Case> cases = {
      {"by start", {record("a", 100), record("b", 300), record("c", 200)}, {"b", "c", "a"}},
      {"ties keep order",
       {record("a", 100), record("b", 200), record("c", 100), record("d", 200)},
       {"b", "d", "a", "c"}},
      {"NaN last",
       {record("n1", kNaN), record("a", -5), record("n2", kNaN), record("b", 7)},
       {"b", "a", "n1", "n2"}},
  };
  for (auto c : cases) {
    sortByStartDescending(c.records);
    EXPECT_EQ(ids(c.records), c.expected) << c.name;
  }
}

TEST(SortByStartDescending, IsStableBeyondSmallInputs) {
  // Large enough that an unstable sort would reorder ties.
  std::vector<UserRecordData> records;
  for (int i = 0; i < 100; ++i) records.push_back(record(std::to_string(1000 + i), i % 3));
  sortByStartDescending(records);
  for (std::size_t i = 1; i < records.size(); ++i) {
    const auto& before = records[i - 1];
    const auto& after = records[i];
    ASSERT_TRUE(before.dateStart > after.dateStart ||
                (before.dateStart == after.dateStart && before.id < after.id))
        << i;
  }
}

}  // namespace
}  // namespace hopster
