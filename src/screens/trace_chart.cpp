#include "screens/trace_chart.h"

#include <QFontMetricsF>
#include <QQuickWindow>
#include <algorithm>
#include <cmath>

#include "recording/motion_pipeline.h"
#include "screens/chart_axes.h"
#include "screens/chart_node.h"

namespace hopster {
namespace chart {

void tracePoints(const TraceOverview& trace, const TimeWindow& window, const QRectF& plot,
                 std::vector<QPointF>& out) {
  out.clear();
  const double span = window.to - window.from;
  if (trace.size() < 2 || !(span > 0.0) || plot.width() < 1.0) return;
  const auto xOf = [&](double time) {
    return plot.left() + (time - window.from) / span * plot.width();
  };
  const std::size_t first = trace.indexAt(window.from);
  const std::size_t last = trace.indexAt(window.to);
  const auto columns = static_cast<std::size_t>(std::ceil(plot.width()));
  if (last - first >= 2 * columns) {
    const double perColumn = span / static_cast<double>(columns);
    std::size_t from = first;
    for (std::size_t column = 0; column < columns; ++column) {
      const std::size_t to =
          column + 1 == columns
              ? last
              : trace.indexAt(window.from + perColumn * static_cast<double>(column + 1));
      if (to > from) {
        const ValueRange range = trace.rangeOf(from, to);
        const double x = plot.left() + static_cast<double>(column) + 0.5;
        out.emplace_back(x, yOf(range.high, plot));
        out.emplace_back(x, yOf(range.low, plot));
      }
      from = to;
    }
    return;
  }
  const std::size_t begin = first > 0 ? first - 1 : 0;
  const std::size_t end = std::min(trace.size(), last + 1);
  for (std::size_t i = begin; i < end; ++i) {
    out.emplace_back(xOf(trace.times()[i]), yOf(trace.values()[i], plot));
  }
}

}  // namespace chart

TraceChart::TraceChart(QQuickItem* parent) : QQuickItem(parent) {
  setFlag(ItemHasContents, true);
  font_.setPixelSize(11);
  connect(this, &TraceChart::styleChanged, this, [this] {
    styleDirty_ = true;
    update();
  });
}

void TraceChart::setModel(RecordingViewModel* model) {
  if (model_ == model) return;
  disconnect(modelConnection_);
  model_ = model;
  if (model_) {
    modelConnection_ =
        connect(model_, &RecordingViewModel::changed, this, &TraceChart::overviewChanged);
  }
  overviewChanged();
  emit modelChanged();
}

void TraceChart::overviewChanged() {
  auto overview = model_ ? model_->overview() : nullptr;
  if (overview == overview_) return;
  overview_ = std::move(overview);
  window_ = {0.0, duration()};
  emit viewChanged();
  update();
}

double TraceChart::duration() const { return overview_ ? overview_->trace.duration() : 0.0; }

bool TraceChart::showsAll() const { return window_.from <= 0.0 && window_.to >= duration(); }

int TraceChart::jumpsInView() const {
  if (!overview_) return 0;
  const std::vector<double>& times = overview_->analysis.jumpTimes;
  return static_cast<int>(std::upper_bound(times.begin(), times.end(), window_.to) -
                          std::lower_bound(times.begin(), times.end(), window_.from));
}

void TraceChart::setWindow(double from, double span) {
  const double whole = duration();
  span = std::clamp(span, std::min(kShortestSpan, whole), whole);
  from = std::clamp(from, 0.0, whole - span);
  if (from == window_.from && from + span == window_.to) return;
  window_ = {from, from + span};
  emit viewChanged();
  update();
}

void TraceChart::zoomAt(double factor, double x) {
  if (!overview_ || !(factor > 0.0) || !std::isfinite(factor)) return;
  const QRectF plot = plotArea(QFontMetricsF(font_));
  const double share = std::clamp((x - plot.left()) / plot.width(), 0.0, 1.0);
  const double span = window_.to - window_.from;
  const double anchor = window_.from + share * span;
  const double newSpan = std::clamp(span / factor, std::min(kShortestSpan, duration()), duration());
  setWindow(anchor - share * newSpan, newSpan);
}

void TraceChart::panBy(double pixels) {
  if (!overview_ || !std::isfinite(pixels)) return;
  const QRectF plot = plotArea(QFontMetricsF(font_));
  const double span = window_.to - window_.from;
  setWindow(window_.from + pixels / plot.width() * span, span);
}

void TraceChart::showAll() { setWindow(0.0, duration()); }

void TraceChart::geometryChange(const QRectF& newGeometry, const QRectF& oldGeometry) {
  QQuickItem::geometryChange(newGeometry, oldGeometry);
  if (newGeometry.size() != oldGeometry.size()) update();
}

QSGNode* TraceChart::updatePaintNode(QSGNode* old, UpdatePaintNodeData* /*data*/) {
  chart::ChartNode* node = chart::nodeToDraw(old, *this);
  if (node == nullptr) return nullptr;
  QQuickWindow* win = window();
  chart::prepareNode(*node, *win, lineColor_, styleDirty_);
  styleDirty_ = false;
  const QFontMetricsF metrics(font_);
  const QRectF plot = plotArea(metrics);
  {
    chart::ChartFrame frame(*node, *win, font_, textColor_);
    drawScale(frame, plot, metrics);
    drawMarks(frame, plot, metrics);
  }
  scratch_.clear();
  if (overview_) chart::tracePoints(overview_->trace, window_, plot, scratch_);
  chart::strokeInto(*node->line()->geometry(), scratch_, 1.5);
  node->line()->markDirty(QSGNode::DirtyGeometry);
  return node;
}

QRectF TraceChart::plotArea(const QFontMetricsF& metrics) const {
  // The g labels in a gutter on the left, a row for the jump marks at the
  // top, the time labels at the bottom.
  const double labelHeight = std::ceil(metrics.height());
  const double gutter = chart::gScaleGutter(metrics);
  const double top = 10.0;
  return {gutter, top, std::max(1.0, width() - gutter - 4.0),
          std::max(1.0, height() - top - labelHeight - 6.0)};
}

void TraceChart::drawScale(chart::ChartFrame& frame, const QRectF& plot,
                           const QFontMetricsF& metrics) const {
  chart::drawGScale(frame, plot, metrics, gridColor_);
  // The threshold a rise must pass to count a jump.
  const double threshold = std::round(chart::yOf(MotionPipeline::kJumpThreshold, plot));
  frame.line(QRectF(plot.left(), threshold, plot.width(), 1.0), markColor_);
  if (!overview_ || !(window_.to > window_.from)) return;
  chart::drawTimeMarks(frame, window_, plot, metrics, gridColor_, width());
}

void TraceChart::drawMarks(chart::ChartFrame& frame, const QRectF& plot,
                           const QFontMetricsF& /*metrics*/) const {
  // A tick above the plot for each jump in view; jumps closer than a pixel
  // share one.
  if (!overview_ || !(window_.to > window_.from)) return;
  const std::vector<double>& times = overview_->analysis.jumpTimes;
  const double span = window_.to - window_.from;
  double lastX = -1.0;
  for (auto it = std::lower_bound(times.begin(), times.end(), window_.from);
       it != times.end() && *it <= window_.to; ++it) {
    const double x = std::round(plot.left() + (*it - window_.from) / span * plot.width());
    if (x - lastX < 2.0) continue;
    frame.line(QRectF(x - 0.5, plot.top() - 9.0, 1.5, 7.0), markColor_);
    lastX = x;
  }
}

}  // namespace hopster
