#include <gtest/gtest.h>

#include <cmath>
#include <deque>
#include <limits>
#include <vector>

#include "screens/acceleration_chart.h"

namespace hopster::chart {
namespace {

// A recording that began at this wall-clock time (seconds since 1970).
constexpr double kStart = 1796590000.25;
const QRectF kPlot(20.0, 5.0, 300.0, 80.0);

std::deque<AccelerationData> samples(double firstSecond, int count, double rate, double g = 0.0) {
  std::deque<AccelerationData> points;
  for (int i = 0; i < count; ++i) {
    points.push_back({{}, kStart + firstSecond + i / rate, g});
  }
  return points;
}

TEST(AccelerationChartScale, GMapsOntoTheFixedScaleAndClampsAtItsEdges) {
  const double inf = std::numeric_limits<double>::infinity();
  const struct {
    double g;
    double y;
  } cases[] = {
      {4.0, kPlot.top()},
      {-4.0, kPlot.bottom()},
      {0.0, kPlot.center().y()},
      {2.0, kPlot.top() + kPlot.height() / 4},
      {5.0, kPlot.top()},
      {-12.5, kPlot.bottom()},
      {inf, kPlot.top()},
      {-inf, kPlot.bottom()},
      {std::nan(""), kPlot.center().y()},
  };
  for (const auto& c : cases) {
    EXPECT_DOUBLE_EQ(yOf(c.g, kPlot), c.y) << c.g << " g";
  }
}

TEST(AccelerationChartLine, SpansTheWholeWidthInListOrder) {
  for (const double rate : {25.0, 100.0}) {
    const auto points = samples(12.0, 50, rate, 1.0);
    std::vector<QPointF> line;
    linePoints(points, timeOrigin(points, kStart), kPlot, line);
    ASSERT_EQ(line.size(), 50u) << rate;
    EXPECT_DOUBLE_EQ(line.front().x(), kPlot.left()) << rate;
    EXPECT_DOUBLE_EQ(line.back().x(), kPlot.right()) << rate;
    // Evenly spaced samples lie evenly across the width.
    EXPECT_NEAR(line[25].x(), kPlot.left() + kPlot.width() * 25 / 49, 1e-3) << rate;
    for (std::size_t i = 1; i < line.size(); ++i) EXPECT_GT(line[i].x(), line[i - 1].x());
    EXPECT_DOUBLE_EQ(line[3].y(), kPlot.top() + kPlot.height() * 3 / 8);
  }
}

TEST(AccelerationChartLine, DrawsNothingWithoutTwoUsablePoints) {
  std::vector<QPointF> line{{1, 1}};
  const struct {
    const char* what;
    std::deque<AccelerationData> points;
  } cases[] = {
      {"idle, no points", {}},
      {"one point", samples(3.0, 1, 25)},
      {"one point with a time", {{{}, kStart + 1, 0.5}, {{}, std::nan(""), 0.5}}},
  };
  for (const auto& c : cases) {
    linePoints(c.points, timeOrigin(c.points, kStart), kPlot, line);
    EXPECT_TRUE(line.empty()) << c.what;
  }
}

TEST(AccelerationChartLine, StaysInsideThePlotWhenTheClockGoesBack) {
  // The newest point is older than the one before it.
  const std::deque<AccelerationData> points{
      {{}, kStart + 5.0, 9.0}, {{}, kStart + 6.0, -9.0}, {{}, kStart + 4.0, 0.0}};
  std::vector<QPointF> line;
  linePoints(points, timeOrigin(points, kStart), kPlot, line);
  ASSERT_EQ(line.size(), 3u);
  for (const QPointF& p : line) EXPECT_TRUE(kPlot.contains(p)) << p.x() << "," << p.y();
  EXPECT_DOUBLE_EQ(line.back().x(), kPlot.right());
}

TEST(AccelerationChartTime, CountsFromTheRecordingsStartAndNeverFromEpoch) {
  const auto points = samples(12.0, 50, 25.0);
  const struct {
    const char* what;
    double recordingStart;
    double origin;
  } cases[] = {
      {"the recording's start", kStart, kStart},
      {"no start known", 0.0, points.front().time},
      {"a start after the newest point", kStart + 60.0, points.front().time},
      {"a start that is not a number", std::nan(""), points.front().time},
  };
  for (const auto& c : cases) {
    const double origin = timeOrigin(points, c.recordingStart);
    EXPECT_DOUBLE_EQ(origin, c.origin) << c.what;
    const TimeWindow window = timeWindow(points, origin);
    EXPECT_LT(window.to, 60.0) << c.what;
    for (const TimeMark& mark : timeMarks(window, kPlot, 60.0)) {
      EXPECT_LE(mark.label.size(), 7) << c.what << ": " << mark.label.toStdString();
      EXPECT_TRUE(mark.label.startsWith(QStringLiteral("0:"))) << mark.label.toStdString();
    }
  }
}

TEST(AccelerationChartTime, MarksSitAtRoundTimesAcrossTheWindow) {
  // Fifty samples at 25 a second, from 12.0 s to 13.96 s into the recording.
  const auto points = samples(12.0, 50, 25.0);
  const TimeWindow window = timeWindow(points, kStart);
  EXPECT_NEAR(window.from, 12.0, 1e-6);
  EXPECT_NEAR(window.to, 13.96, 1e-6);
  const std::vector<TimeMark> marks = timeMarks(window, kPlot, 60.0);
  ASSERT_EQ(marks.size(), 4u);
  const char* labels[] = {"0:12.0", "0:12.5", "0:13.0", "0:13.5"};
  for (std::size_t i = 0; i < marks.size(); ++i) {
    EXPECT_EQ(marks[i].label.toStdString(), labels[i]);
    const double t = 12.0 + 0.5 * static_cast<double>(i);
    EXPECT_NEAR(marks[i].x, kPlot.left() + (t - 12.0) / 1.96 * kPlot.width(), 1e-3);
  }
}

TEST(AccelerationChartTime, StepIsTheSmallestRoundOneThatKeepsMarksApart) {
  const struct {
    double span;
    double width;
    double step;
  } cases[] = {
      {0.49, 300, 0.1},                     // fifty samples at 100 a second
      {1.96, 300, 0.5},                     // fifty at 25 a second
      {1.96, 1200, 0.1}, {0.01, 300, 0.1},  // the first two samples: never finer than a tenth
      {40, 300, 10},     {100000, 300, 3600},
  };
  for (const auto& c : cases) {
    EXPECT_DOUBLE_EQ(timeStep({5.0, 5.0 + c.span}, c.width, 60.0), c.step) << c.span;
  }
}

TEST(AccelerationChartTime, LabelsReadAsMinutesAndSeconds) {
  const struct {
    double seconds;
    double step;
    const char* label;
  } cases[] = {
      {0.0, 1.0, "0:00"},          {5.0, 1.0, "0:05"},    {65.0, 5.0, "1:05"},
      {59.96, 1.0, "1:00"},        {5.5, 0.5, "0:05.5"},  {12.3, 0.1, "0:12.3"},
      {0.2, 0.2, "0:00.2"},        {754.0, 2.0, "12:34"}, {7200.0, 600.0, "120:00"},
      {-1.5, 0.5, "\u22120:01.5"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(timeLabel(c.seconds, c.step).toStdString(), c.label) << c.seconds;
  }
}

// Every step of the pacing: a request after a quiet spell ticks at once,
// requests within a frame wait for the timer's tick, and a tick nobody asked
// for stops the timer.
TEST(AccelerationChartPacing, TicksAtOnceFromIdleAtMostOncePerFrameAndStopsWhenNotAsked) {
  FramePacer pacer;
  EXPECT_FALSE(pacer.timerRunning());
  for (const int requestsWithinTheFrame : {0, 3}) {
    SCOPED_TRACE(requestsWithinTheFrame);
    const FramePacer::Step first = pacer.request();
    EXPECT_TRUE(first.tick);
    EXPECT_TRUE(first.timerRunning);
    if (requestsWithinTheFrame > 0) {
      for (int i = 0; i < requestsWithinTheFrame; ++i) EXPECT_FALSE(pacer.request().tick);
      const FramePacer::Step due = pacer.tick();
      EXPECT_TRUE(due.tick);
      EXPECT_TRUE(due.timerRunning);
    }
    const FramePacer::Step quiet = pacer.tick();
    EXPECT_FALSE(quiet.tick);
    EXPECT_FALSE(quiet.timerRunning);
  }
  EXPECT_FALSE(pacer.timerRunning());
}

}  // namespace
}  // namespace hopster::chart
