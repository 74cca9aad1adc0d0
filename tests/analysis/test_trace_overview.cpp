#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "analysis/recording_overview.h"
#include "analysis/trace_overview.h"
#include "platform/linux/memory_log.h"
#include "records/motion_csv.h"
#include "records/record_store.h"
#include "support/temp_dir.h"

#include <fstream>

#include <nlohmann/json.hpp>

namespace hopster {
namespace {

TraceOverview randomTrace(std::size_t size, std::mt19937& random) {
  std::uniform_real_distribution<float> value(-4.0F, 4.0F);
  std::vector<double> times;
  std::vector<float> values;
  for (std::size_t i = 0; i < size; ++i) {
    times.push_back(0.01 * static_cast<double>(i));
    values.push_back(value(random));
  }
  return TraceOverview(times, values);
}

// Every stretch of traces of odd and even sizes (where the levels end in
// a lone block) against a plain scan: a block read from the wrong level,
// an edge sample dropped or a lone end block mishandled all show here.
TEST(TraceOverview, TheRangeOfAnyStretchIsExactlyItsLowestAndHighestSample) {
  std::mt19937 random(7);
  for (const std::size_t size : {1U, 2U, 3U, 7U, 8U, 33U, 100U}) {
    const TraceOverview trace = randomTrace(size, random);
    for (std::size_t first = 0; first < size; ++first) {
      for (std::size_t last = first + 1; last <= size; ++last) {
        const auto [low, high] =
            std::minmax_element(trace.values().begin() + static_cast<std::ptrdiff_t>(first),
                                trace.values().begin() + static_cast<std::ptrdiff_t>(last));
        ASSERT_EQ(trace.rangeOf(first, last), (ValueRange{*low, *high}))
            << size << ": [" << first << ", " << last << ")";
      }
    }
  }
  // A long trace, sampled stretches.
  const TraceOverview trace = randomTrace(100'003, random);
  std::uniform_int_distribution<std::size_t> index(0, trace.size());
  for (int i = 0; i < 2000; ++i) {
    // Two draws, in order (std::minmax of two temporaries would dangle).
    std::size_t first = index(random);
    std::size_t last = index(random);
    if (first > last) std::swap(first, last);
    if (first == last) continue;
    const auto [low, high] =
        std::minmax_element(trace.values().begin() + static_cast<std::ptrdiff_t>(first),
                            trace.values().begin() + static_cast<std::ptrdiff_t>(last));
    ASSERT_EQ(trace.rangeOf(first, last), (ValueRange{*low, *high}));
  }
  EXPECT_EQ(trace.rangeOf(5, 5), ValueRange{});
  EXPECT_EQ(trace.rangeOf(trace.size() - 1, trace.size() + 10),
            (ValueRange{trace.values().back(), trace.values().back()}));
}

TEST(TraceOverview, FindsTheFirstSampleAtOrAfterATimeAndHoldsAFewBytesASample) {
  const TraceOverview trace({0.0, 0.5, 0.5, 1.0}, {1.0F, 2.0F, 3.0F, 4.0F});
  EXPECT_EQ(trace.indexAt(-1.0), 0U);
  EXPECT_EQ(trace.indexAt(0.5), 1U);
  EXPECT_EQ(trace.indexAt(0.7), 3U);
  EXPECT_EQ(trace.indexAt(2.0), 4U);
  EXPECT_DOUBLE_EQ(trace.duration(), 1.0);

  std::mt19937 random(3);
  const TraceOverview large = randomTrace(360'000, random);
  // 8 bytes of time, 4 of value, 8 for the levels above each sample.
  EXPECT_LE(large.bytes(), 360'000U * 21U);
}

TEST(RecordingOverview, KeepsTheStoredVerticalAccelerationAgainstTimeAndDropsTheText) {
  std::vector<MotionDataPoint> samples;
  const double zs[] = {0.0, 0.9, -0.3, 0.2, 1.1, -0.5};
  for (std::size_t i = 0; i < std::size(zs); ++i) {
    samples.push_back({.timeStamp = 1764942759.0 + 0.04 * static_cast<double>(i),
                       .accelerationZ = zs[i],
                       .globalAccelerationZ = zs[i]});
  }
  const RecordingOverview overview = overviewOf({.id = "X",
                                                 .dateStart = 1764942759.0,
                                                 .dateEnd = 1764942760.0,
                                                 .timeSpent = 1.0,
                                                 .jumps = 2,
                                                 .csvText = makeMotionCSV(samples),
                                                 .unlockedTrophy = std::nullopt});
  // Let go, not merely emptied: an emptied string keeps its buffer, which
  // for an hour-long recording is over a hundred megabytes.
  EXPECT_EQ(overview.record.csvText.capacity(), std::string().capacity());
  EXPECT_EQ(overview.record.jumps, 2);
  ASSERT_EQ(overview.trace.size(), std::size(zs));
  EXPECT_NEAR(overview.trace.times().back(), 0.2, 1e-6);
  EXPECT_FLOAT_EQ(overview.trace.values()[4], 1.1F);
  ASSERT_EQ(overview.analysis.jumpTimes.size(), 2U);
  EXPECT_NEAR(overview.analysis.jumpTimes[1], overview.trace.times()[4], 1e-9);
}

// A record file as this program writes it is read in place; one written
// any other way (here pretty-printed) through the full decoder. Both give
// the same recording, escapes in the trace and elsewhere resolved alike,
// and both refuse a file of another kind the same way.
TEST(RecordingOverview, ReadsARecordFileTheSameWhicheverWayItIsWritten) {
  std::vector<MotionDataPoint> samples;
  for (int i = 0; i < 500; ++i) {
    const double z = (i % 20 == 5) ? 1.3 : (i % 20 == 8 ? -0.4 : 0.1);
    samples.push_back(
        {.timeStamp = 1764942759.0 + 0.02 * i, .accelerationZ = z, .globalAccelerationZ = z});
  }
  // A line with a tab and a quote: escapes the trace must resolve, and a
  // line the trace reader skips either way.
  const std::string csv = makeMotionCSV(samples) + "x\t\"y\"\n";
  const UserRecordData record{"quote\"d", 1764942759.0, 1764942769.0, 10.0, 25, csv, std::nullopt};
  testing::TempDir dir;
  MemoryLog log;
  ASSERT_FALSE(RecordStore(dir.path(), log).saveUserRecordData(record, "compact"));
  std::ifstream compact(dir.path() / "compact.json");
  const auto json = nlohmann::json::parse(compact);
  std::ofstream(dir.path() / "pretty.json") << json.dump(2);
  std::ofstream(dir.path() / "other.json") << R"({"name": "not a record"})";

  const RecordingOverview expected = overviewOf(record);
  for (const char* name : {"compact.json", "pretty.json"}) {
    SCOPED_TRACE(name);
    const auto loaded = loadRecordingOverview(dir.path() / name);
    ASSERT_TRUE(loaded) << loaded.error().message;
    EXPECT_EQ(loaded->record.id, "quote\"d");
    EXPECT_EQ(loaded->record.jumps, 25);
    EXPECT_EQ(loaded->analysis.jumpTimes, expected.analysis.jumpTimes);
    EXPECT_EQ(loaded->trace.values(), expected.trace.values());
    EXPECT_EQ(loaded->trace.times(), expected.trace.times());
  }
  EXPECT_EQ(expected.analysis.jumpTimes.size(), 25U);
  const auto other = loadRecordingOverview(dir.path() / "other.json");
  ASSERT_FALSE(other);
  EXPECT_EQ(other.error().kind, FailureKind::notARecord);
}

}  // namespace
}  // namespace hopster
