#include "screens/acceleration_chart.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QQuickWindow>
#include <algorithm>
#include <cmath>

#include "screens/chart_axes.h"
#include "screens/chart_node.h"
#include "screens/jump_view_model.h"

namespace hopster {

AccelerationChart::AccelerationChart(QQuickItem* parent) : QQuickItem(parent) {
  setFlag(ItemHasContents, true);
  font_ = QGuiApplication::font();
  font_.setPixelSize(fontPixelSize_);
  clockConnection_ = connect(&ownClock_, &FrameClock::ticked, this, &AccelerationChart::frameTick);
}

void AccelerationChart::setModel(JumpViewModel* model) {
  if (model == model_) return;
  disconnect(modelConnection_);
  model_ = model;
  if (model_ != nullptr) {
    modelConnection_ =
        connect(model_, &JumpViewModel::chartChanged, this, &AccelerationChart::pointsChanged);
  }
  emit modelChanged();
  redraw();
}

FrameClock* AccelerationChart::clock() const {
  return sharedClock_ ? sharedClock_.data() : &ownClock_;
}

void AccelerationChart::setClock(FrameClock* clock) {
  if (clock == &ownClock_) clock = nullptr;
  if (clock == sharedClock_) return;
  disconnect(clockConnection_);
  sharedClock_ = clock;
  clockConnection_ =
      connect(this->clock(), &FrameClock::ticked, this, &AccelerationChart::frameTick);
  emit clockChanged();
  // Points waiting for the old clock's tick ask the new one.
  if (pending_) this->clock()->request();
}

void AccelerationChart::setLineColor(const QColor& color) {
  if (color == lineColor_) return;
  lineColor_ = color;
  applyStyle();
}

void AccelerationChart::setTextColor(const QColor& color) {
  if (color == textColor_) return;
  textColor_ = color;
  applyStyle();
}

void AccelerationChart::setGridColor(const QColor& color) {
  if (color == gridColor_) return;
  gridColor_ = color;
  applyStyle();
}

void AccelerationChart::setLineWidth(qreal width) {
  if (width == lineWidth_ || !(width > 0.0)) return;
  lineWidth_ = width;
  applyStyle();
}

void AccelerationChart::setFontPixelSize(int size) {
  if (size == fontPixelSize_ || size <= 0) return;
  fontPixelSize_ = size;
  font_.setPixelSize(size);
  applyStyle();
}

void AccelerationChart::applyStyle() {
  styleDirty_ = true;
  emit styleChanged();
  redraw();
}

void AccelerationChart::pointsChanged() {
  // An emptied chart (Stop) draws at once; new points wait for a tick.
  if (model_ == nullptr || model_->chartPointCount() == 0) {
    pending_ = false;
    redraw();
    return;
  }
  pending_ = true;
  clock()->request();
}

void AccelerationChart::frameTick() {
  if (!pending_) return;
  pending_ = false;
  redraw();
}

void AccelerationChart::redraw() {
  ++frameCount_;
  emit frameCountChanged();
  update();
}

void AccelerationChart::geometryChange(const QRectF& newGeometry, const QRectF& oldGeometry) {
  QQuickItem::geometryChange(newGeometry, oldGeometry);
  if (newGeometry.size() != oldGeometry.size()) redraw();
}

QSGNode* AccelerationChart::updatePaintNode(QSGNode* old, UpdatePaintNodeData* /*data*/) {
  chart::ChartNode* node = chart::nodeToDraw(old, *this);
  if (node == nullptr) return nullptr;
  QQuickWindow* win = window();
  prepare(*node, *win);
  const QFontMetricsF metrics(font_);
  const QRectF plot = plotArea(metrics);
  {
    chart::ChartFrame frame(*node, *win, font_, textColor_);
    chart::drawGScale(frame, plot, metrics, gridColor_);
    drawTimeAxis(frame, plot, metrics);
  }
  chart::strokeInto(*node->line()->geometry(), scratch_, lineWidth_);
  node->line()->markDirty(QSGNode::DirtyGeometry);
  return node;
}

void AccelerationChart::prepare(chart::ChartNode& node, QQuickWindow& window) {
  chart::prepareNode(node, window, lineColor_, styleDirty_);
  styleDirty_ = false;
}

QRectF AccelerationChart::plotArea(const QFontMetricsF& metrics) const {
  // The g labels in a gutter on the left, the time labels in a row at the
  // bottom, the plot over all the rest of the width.
  const double labelHeight = std::ceil(metrics.height());
  const double gutter = chart::gScaleGutter(metrics);
  return {gutter, labelHeight / 2.0, std::max(1.0, width() - gutter),
          std::max(1.0, height() - labelHeight / 2.0 - labelHeight - 5.0)};
}

void AccelerationChart::drawTimeAxis(chart::ChartFrame& frame, const QRectF& plot,
                                     const QFontMetricsF& metrics) {
  // The time marks and the line's points, only while there are points.
  static const std::deque<AccelerationData> kNoPoints;
  const std::deque<AccelerationData>& points = model_ ? model_->chartPoints() : kNoPoints;
  const double origin = chart::timeOrigin(points, model_ ? model_->recordingStart() : 0.0);
  chart::linePoints(points, origin, plot, scratch_);
  if (scratch_.empty()) return;
  chart::drawTimeMarks(frame, chart::timeWindow(points, origin), plot, metrics, gridColor_,
                       width());
}

}  // namespace hopster
