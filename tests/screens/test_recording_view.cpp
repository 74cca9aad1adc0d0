#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QSignalSpy>
#include <filesystem>
#include <fstream>

#include "platform/linux/memory_log.h"
#include "records/motion_csv.h"
#include "records/record_store.h"
#include "screens/recording_view_model.h"
#include "screens/trace_chart.h"
#include "support/temp_dir.h"

namespace hopster {
namespace {

QCoreApplication& recordingApplication() {
  static int argc = 1;
  static char name[] = "test_recording_view";
  static char* argv[] = {name, nullptr};
  static QCoreApplication app(argc, argv);
  return app;
}

// A trace of `seconds` at 25 Hz with a jump (one sample at 1.2 g, the next
// at -0.5 g) every `gap` seconds from the first second.
std::string jumpingTrace(double seconds, double gap) {
  std::vector<MotionDataPoint> samples;
  for (int i = 0; i * 0.04 < seconds; ++i) {
    const double t = i * 0.04;
    const double phase = std::fmod(t - 1.0, gap);
    double z = 0.0;
    if (t >= 1.0 && phase < 0.02) z = 1.2;
    if (t >= 1.0 && phase >= 0.02 && phase < 0.06) z = -0.5;
    samples.push_back(
        {.timeStamp = 1796478720.0 + t, .accelerationZ = z, .globalAccelerationZ = z});
  }
  return makeMotionCSV(samples);
}

class RecordingViewModelTest : public ::testing::Test {
 protected:
  void save(const std::string& stem, std::int64_t storedJumps, double seconds, double gap) {
    ASSERT_FALSE(
        store.saveUserRecordData({"ID-" + stem, 1796478720.0, 1796478720.0 + seconds, seconds,
                                  storedJumps, jumpingTrace(seconds, gap), std::nullopt},
                                 stem));
  }
  void openAndWait(const QString& fileName) {
    QSignalSpy loaded(&model, &RecordingViewModel::loaded);
    model.open(fileName);
    EXPECT_TRUE(model.loading());
    ASSERT_TRUE(loaded.wait(20000));
    EXPECT_FALSE(model.loading());
  }

  QCoreApplication& app = recordingApplication();
  testing::TempDir dir;
  MemoryLog log;
  RecordStore store{dir.path(), log};
  RecordingViewModel model{store};
};

TEST_F(RecordingViewModelTest, OpensARecordOffTheMainThreadWithItsMinutesPeakAndRun) {
  // 130 s, a jump every 2 s from 1 s: 65 jumps, 30 + 30 + 5 by minute.
  save("a", 65, 130.0, 2.0);
  openAndWait("a.json");
  EXPECT_EQ(model.errorText(), "");
  EXPECT_EQ(model.jumpsPerMinute(), (QVariantList{30, 30, 5}));
  EXPECT_EQ(model.peakJumpsPerMinute(), 30);
  EXPECT_EQ(model.peakMinute(), 0);
  EXPECT_EQ(model.peakMinuteText(), "30 jumps, from 0:00 to 1:00");
  EXPECT_EQ(model.longestRunText(), "65 jumps in 2m 8.00s");
  EXPECT_EQ(model.recountText(), "");
  ASSERT_NE(model.overview(), nullptr);
  EXPECT_TRUE(model.overview()->record.csvText.empty());

  model.close();
  EXPECT_EQ(model.overview(), nullptr);
  EXPECT_EQ(model.jumpsPerMinute(), QVariantList{});
}

TEST_F(RecordingViewModelTest, SaysWhenACountDiffersOrAFileCannotBeRead) {
  save("b", 70, 30.0, 2.0);
  openAndWait("b.json");
  EXPECT_EQ(model.recountText(),
            "The trace recounts 15 jumps; the minutes and the run follow the recount.");

  std::ofstream(dir.path() / "c.json") << "{\"not\": \"a record\"}";
  openAndWait("c.json");
  EXPECT_EQ(model.overview(), nullptr);
  EXPECT_TRUE(model.errorText().startsWith("This recording could not be read: "))
      << model.errorText().toStdString();
  EXPECT_TRUE(log.lines().back().starts_with("Could not open a recording: "));
}

TEST_F(RecordingViewModelTest, OnlyTheLastRecordOpenedIsShown) {
  // A row tapped, then another at once: the short load left behind ends
  // first, and its answer must neither show nor end the wait.
  save("short", 15, 30.0, 2.0);
  save("long", 300, 600.0, 2.0);
  model.open("short.json");
  openAndWait("long.json");
  ASSERT_NE(model.overview(), nullptr);
  EXPECT_EQ(model.overview()->record.id, "ID-long");
}

TEST(TracePoints, ColumnsHoldTheirSamplesLowestAndHighestAndZoomedInTheSamplesThemselves) {
  std::vector<double> times;
  std::vector<float> values;
  for (int i = 0; i < 10'000; ++i) {
    times.push_back(0.01 * i);
    values.push_back(static_cast<float>(std::sin(i * 0.37) * 3.0));
  }
  const TraceOverview trace(times, values);
  const QRectF plot(10.0, 0.0, 100.0, 80.0);
  std::vector<QPointF> points;

  // 100 columns over 10,000 samples: a high and a low point per column.
  chart::tracePoints(trace, {0.0, 100.0}, plot, points);
  ASSERT_EQ(points.size(), 200U);
  for (std::size_t column = 0; column < 100; ++column) {
    const ValueRange range = trace.rangeOf(column * 100, column * 100 + 100);
    SCOPED_TRACE(column);
    EXPECT_DOUBLE_EQ(points[2 * column].x(), 10.5 + static_cast<double>(column));
    EXPECT_DOUBLE_EQ(points[2 * column].y(), chart::yOf(range.high, plot));
    EXPECT_DOUBLE_EQ(points[2 * column + 1].y(), chart::yOf(range.low, plot));
  }

  // One second is 100 samples on 100 columns: the samples, with one past
  // each edge so the line reaches the border.
  chart::tracePoints(trace, {50.0, 51.0}, plot, points);
  ASSERT_EQ(points.size(), 102U);
  EXPECT_LT(points.front().x(), plot.left());
  EXPECT_GT(points.back().x(), plot.right() - 1.0);
  EXPECT_DOUBLE_EQ(points[1].y(), chart::yOf(values[5000], plot));

  chart::tracePoints(TraceOverview({0.0}, {1.0F}), {0.0, 1.0}, plot, points);
  EXPECT_TRUE(points.empty());
}

}  // namespace
}  // namespace hopster
