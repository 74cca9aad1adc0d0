#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "analysis/recording_analysis.h"

namespace hopster {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

// Jumps every `gap` seconds from `from`, `count` of them.
std::vector<double> evenly(double from, double gap, int count) {
  std::vector<double> times;
  for (int i = 0; i < count; ++i) times.push_back(from + gap * i);
  return times;
}

std::vector<double> joined(std::vector<double> a, const std::vector<double>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(JumpsPerMinute, EachJumpFallsInTheMinuteItCameAndEveryMinuteOfTheSessionIsListed) {
  struct Case {
    std::vector<double> times;
    double duration;
    std::vector<std::int64_t> minutes;
  };
  const Case cases[] = {
      // 60 s belongs to the second minute, 59.99 s to the first.
      {{0.0, 59.99, 60.0, 119.9, 185.0}, 200.0, {2, 2, 0, 1}},
      // Quiet minutes at the end are minutes of the session too.
      {{1.0, 2.0}, 150.0, {2, 0, 0}},
      // A session of exactly two minutes has two.
      {{}, 120.0, {0, 0}},
      {{}, 0.0, {}},
      // A jump past the stored duration still gets its minute.
      {{30.0, 70.0}, 50.0, {1, 1}},
      // Damaged durations: no minutes from them, and none without bound.
      {{}, std::numeric_limits<double>::quiet_NaN(), {}},
      {{}, -5.0, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.times) + " in " + std::to_string(c.duration));
    EXPECT_THAT(analyseJumps(c.times, c.duration).jumpsPerMinute, ElementsAreArray(c.minutes));
  }
  EXPECT_EQ(analyseJumps({}, 1e300).jumpsPerMinute.size(), 7U * 24U * 60U);
}

TEST(PeakMinute, IsTheFirstMinuteWithTheMostJumpsAndNoneWithoutJumps) {
  const RecordingAnalysis analysis = analyseJumps(
      joined(joined(evenly(0.0, 1.0, 30), evenly(60.0, 0.5, 100)), evenly(120.0, 0.5, 100)), 180.0);
  EXPECT_THAT(analysis.jumpsPerMinute, ElementsAre(30, 100, 100));
  EXPECT_EQ(analysis.peakJumpsPerMinute, 100);
  EXPECT_EQ(analysis.peakMinute, 1U);

  const RecordingAnalysis none = analyseJumps({}, 90.0);
  EXPECT_EQ(none.peakJumpsPerMinute, 0);
  EXPECT_EQ(none.peakMinute, std::nullopt);
}

TEST(LongestRun, EndsAtAGapLongerThanTwiceTheMedianGap) {
  struct Case {
    const char* what;
    std::vector<double> times;
    LongestRun run;
  };
  const Case cases[] = {
      {"none", {}, {0, 0.0}},
      {"one jump", {4.0}, {1, 0.0}},
      {"two jumps", {1.0, 9.0}, {2, 8.0}},
      // Gaps of 0.5 s: a gap of exactly 1 s keeps the run, 1.01 s ends it.
      {"gap of twice the median", joined(evenly(0.0, 0.5, 10), evenly(5.5, 0.5, 5)), {15, 7.5}},
      {"gap past twice the median", joined(evenly(0.0, 0.5, 10), evenly(5.51, 0.5, 12)), {12, 5.5}},
      // The longest run wins wherever it is, the first of equals kept.
      {"first of equals", joined(evenly(0.0, 0.5, 4), evenly(10.0, 0.4, 4)), {4, 1.5}},
      // With an even number of gaps the median is the mean of the middle
      // two: gaps 1, 1, 2, 4, 5, 7 give 3, so a gap of 5 is allowed and 7 is
      // not (the lower middle would refuse 5, the upper allow 7).
      {"even median", {0.0, 1.0, 2.0, 4.0, 8.0, 13.0, 20.0}, {6, 13.0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const LongestRun run = analyseJumps(c.times, 60.0).longestRun;
    EXPECT_EQ(run.jumps, c.run.jumps);
    EXPECT_NEAR(run.seconds, c.run.seconds, 1e-9);
  }
}

// The stored trace recounted: a rise above 0.7 g counts once, a fall below
// zero re-arms, the levels themselves do neither, and the detector starts
// armed; each jump at its sample's time after the first sample.
TEST(CountedJumps, AreTheDetectorsCountsAtTheirTimesAfterTheFirstSample) {
  const struct {
    std::vector<double> zs;
    std::vector<double> times;
  } cases[] = {
      {{0.8, 0.9, 0.8}, {0.0}},  // no re-arm between rises
      {{0.8, 0.5, 0.8}, {0.0}},  // 0.5 does not re-arm
      {{0.8, -0.1, 0.8}, {0.0, 0.08}},
      {{0.7, 0.0, 0.7}, {}},  // the levels themselves do nothing
      {{0.5, 0.71}, {0.04}},  // the first rise counts: armed at the start
      {{0.8, 0.9, -0.1, 0.5, 0.8, 0.0, 0.71, -0.2, 0.75}, {0.0, 0.16, 0.32}},
      {{}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.zs));
    std::vector<MotionDataPoint> samples;
    double time = 1764942759.0;
    for (const double z : c.zs) {
      samples.push_back({.timeStamp = time, .accelerationZ = z, .globalAccelerationZ = z});
      time += 0.04;
    }
    const std::vector<double> times = countedJumpTimes(samples);
    ASSERT_EQ(times.size(), c.times.size());
    for (std::size_t i = 0; i < times.size(); ++i) EXPECT_NEAR(times[i], c.times[i], 1e-6);
  }
}

}  // namespace
}  // namespace hopster
