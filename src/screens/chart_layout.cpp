#include "screens/chart_layout.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace hopster {
namespace chart {
namespace {

// A window narrower than this would divide by next to nothing.
constexpr double kNarrowestWindow = 0.001;
// Round steps between time marks, in seconds.
constexpr double kTimeSteps[] = {0.1, 0.2, 0.5, 1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 1800, 3600};

}  // namespace

double timeOrigin(const std::deque<AccelerationData>& points, double recordingStart) {
  if (points.empty()) return std::isfinite(recordingStart) ? recordingStart : 0.0;
  const double oldest = points.front().time;
  const double newest = points.back().time;
  if (std::isfinite(recordingStart) && recordingStart > 0.0 && recordingStart <= newest) {
    return recordingStart;
  }
  return std::isfinite(oldest) ? oldest : 0.0;
}

TimeWindow timeWindow(const std::deque<AccelerationData>& points, double origin) {
  double from = 0.0;
  double to = 0.0;
  bool any = false;
  for (const AccelerationData& point : points) {
    if (!std::isfinite(point.time)) continue;
    const double t = point.time - origin;
    from = any ? std::min(from, t) : t;
    to = any ? std::max(to, t) : t;
    any = true;
  }
  // Arrival order is time order unless the clock was set back; the newest
  // point still ends the window.
  if (any && std::isfinite(points.back().time)) to = points.back().time - origin;
  from = std::min(from, to - kNarrowestWindow);
  return {from, to};
}

double yOf(double g, const QRectF& plot) {
  const double clamped = std::isnan(g) ? 0.0 : std::clamp(g, kLowestG, kHighestG);
  return plot.top() + (kHighestG - clamped) / (kHighestG - kLowestG) * plot.height();
}

void linePoints(const std::deque<AccelerationData>& points, double origin, const QRectF& plot,
                std::vector<QPointF>& out) {
  out.clear();
  if (points.size() < 2) return;
  const TimeWindow window = timeWindow(points, origin);
  const double scale = plot.width() / (window.to - window.from);
  out.reserve(points.size());
  for (const AccelerationData& point : points) {
    if (!std::isfinite(point.time)) continue;
    const double x = plot.left() + (point.time - origin - window.from) * scale;
    out.emplace_back(std::clamp(x, plot.left(), plot.right()), yOf(point.zAcceleration, plot));
  }
  if (out.size() < 2) out.clear();
}

double timeStep(const TimeWindow& window, double width, double minSpacing) {
  const double span = window.to - window.from;
  for (const double step : kTimeSteps) {
    if (width <= 0.0 || step / span * width >= minSpacing) return step;
  }
  return kTimeSteps[std::size(kTimeSteps) - 1];
}

QString timeLabel(double seconds, double step) {
  const bool tenths = step < 1.0;
  const auto tenthsOfSecond = static_cast<long long>(std::llround(std::fabs(seconds) * 10.0));
  const long long whole = tenths ? tenthsOfSecond / 10 : (tenthsOfSecond + 5) / 10;
  QString text = QStringLiteral("%1:%2")
                     .arg(whole / 60)
                     .arg(static_cast<int>(whole % 60), 2, 10, QLatin1Char('0'));
  if (tenths) text += QStringLiteral(".%1").arg(tenthsOfSecond % 10);
  if (seconds < 0.0 && tenthsOfSecond != 0) text.prepend(QChar(0x2212));
  return text;
}

std::vector<TimeMark> timeMarks(const TimeWindow& window, const QRectF& plot, double minSpacing) {
  std::vector<TimeMark> marks;
  const double span = window.to - window.from;
  if (!(span > 0.0) || !std::isfinite(span) || plot.width() <= 0.0) return marks;
  const double step = timeStep(window, plot.width(), minSpacing);
  // Marks at whole multiples of the step, counted in integers so that the
  // labels do not drift with rounding.
  const auto first = static_cast<long long>(std::ceil(window.from / step - 1e-9));
  const auto last = static_cast<long long>(std::floor(window.to / step + 1e-9));
  for (long long k = first; k <= last && marks.size() < 64; ++k) {
    const double t = static_cast<double>(k) * step;
    marks.push_back({plot.left() + (t - window.from) / span * plot.width(), timeLabel(t, step)});
  }
  return marks;
}

}  // namespace chart
}  // namespace hopster
