#pragma once

#include <QPointF>
#include <QRectF>
#include <QString>
#include <deque>
#include <vector>

#include "recording/acceleration_data.h"

namespace hopster {

// What the live chart of vertical acceleration draws, worked out without a
// display: the points of the line, the marks of both axes and their labels.
namespace chart {

// The vertical scale is fixed whatever the data.
inline constexpr double kLowestG = -4.0;
inline constexpr double kHighestG = 4.0;
// The labelled marks of the vertical axis, bottom to top.
inline constexpr double kGMarks[] = {-4.0, -2.0, 0.0, 2.0, 4.0};

// The span of time the chart shows, in seconds into the recording.
struct TimeWindow {
  double from = 0.0;
  double to = 0.0;
};

// One labelled mark of the time axis.
struct TimeMark {
  double x = 0.0;  // in the item's coordinates
  QString label;
};

// The seconds from which the time axis counts: the recording's start, or the
// oldest point when the start is unknown or lies after the newest point (a
// clock set back), so that the labels never show wall-clock values.
double timeOrigin(const std::deque<AccelerationData>& points, double recordingStart);

// The window from the oldest to the newest point, relative to `origin`; it
// is never narrower than a millisecond, and ends at the newest point.
TimeWindow timeWindow(const std::deque<AccelerationData>& points, double origin);

// The height of `g` in `plot`: kHighestG at the top edge, kLowestG at the
// bottom one; values beyond the scale lie on its edge, a value that is not a
// number on the zero line.
double yOf(double g, const QRectF& plot);

// Fills `out` with the line's points in list order: the window spans the
// whole width of `plot`, the fixed g scale its height. Points whose time is
// not a number are left out. Fewer than two points draw no line, so `out`
// is then empty.
void linePoints(const std::deque<AccelerationData>& points, double origin, const QRectF& plot,
                std::vector<QPointF>& out);

// The step between time marks: the smallest of a fixed set of round steps
// (a tenth of a second up to an hour) that keeps marks `minSpacing` apart
// across `width`.
double timeStep(const TimeWindow& window, double width, double minSpacing);

// A time into the recording as minutes and seconds ("0:05", "12:30"), with
// tenths when the marks are less than a second apart ("0:05.5").
QString timeLabel(double seconds, double step);

// The marks of the time axis inside `window`, placed across `plot`.
std::vector<TimeMark> timeMarks(const TimeWindow& window, const QRectF& plot, double minSpacing);

}  // namespace chart
}  // namespace hopster
