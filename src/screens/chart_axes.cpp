#include "screens/chart_axes.h"

#include <QFontMetricsF>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSGFlatColorMaterial>
#include <algorithm>
#include <cmath>

namespace hopster::chart {

ChartNode* nodeToDraw(QSGNode* old, const QQuickItem& item) {
  if (item.window() == nullptr || item.width() <= 0.0 || item.height() <= 0.0) {
    delete old;
    return nullptr;
  }
  return old != nullptr ? static_cast<ChartNode*>(old) : new ChartNode;
}

void prepareNode(ChartNode& node, QQuickWindow& window, const QColor& lineColor, bool restyle) {
  if (restyle || !node.styleApplied) {
    node.dropTextures();
    auto* material = static_cast<QSGFlatColorMaterial*>(node.line()->material());
    material->setColor(lineColor);
    node.line()->markDirty(QSGNode::DirtyMaterial);
    node.styleApplied = true;
  }
  node.dropTexturesWhenMany();
  // Labels are drawn for the screen's pixel ratio; another screen, new ones.
  if (node.pixelRatio != window.effectiveDevicePixelRatio()) {
    node.dropTextures();
    node.pixelRatio = window.effectiveDevicePixelRatio();
  }
}

double gScaleGutter(const QFontMetricsF& metrics) {
  double gutter = 0.0;
  for (const double g : kGMarks) {
    gutter = std::max(gutter, std::ceil(metrics.horizontalAdvance(gLabel(g))) + 2.0);
  }
  return gutter + 6.0;
}

QColor axisColorFor(const QColor& gridColor) {
  // The axes stand out from the grid away from the background: darker on a
  // light grid, lighter on the dark palette's dark grid.
  return gridColor.lightness() < 128 ? gridColor.lighter(140) : gridColor.darker(140);
}

void drawGScale(ChartFrame& frame, const QRectF& plot, const QFontMetricsF& metrics,
                const QColor& gridColor) {
  const double labelHeight = std::ceil(metrics.height());
  const QColor axisColor = axisColorFor(gridColor);
  for (const double g : kGMarks) {
    const double y = std::round(yOf(g, plot));
    frame.line(QRectF(plot.left(), y, plot.width(), 1.0), g == kLowestG ? axisColor : gridColor);
    frame.text(gLabel(g), plot.left() - 5.0, y - labelHeight / 2.0, Qt::AlignRight);
  }
  frame.line(QRectF(plot.left(), plot.top(), 1.0, std::round(plot.height()) + 1.0), axisColor);
}

void drawTimeMarks(ChartFrame& frame, const TimeWindow& window, const QRectF& plot,
                   const QFontMetricsF& metrics, const QColor& gridColor, double right) {
  const QColor axisColor = axisColorFor(gridColor);
  const double minSpacing = metrics.horizontalAdvance(QStringLiteral("00:00.0")) + 16.0;
  const double bottom = std::round(plot.bottom());
  for (const TimeMark& mark : timeMarks(window, plot, minSpacing)) {
    const double x = std::round(mark.x);
    frame.line(QRectF(x, bottom + 1.0, 1.0, 4.0), axisColor);
    const double halfWidth = metrics.horizontalAdvance(mark.label) / 2.0 + 1.0;
    if (x - halfWidth >= plot.left() - 2.0 && x + halfWidth <= right) {
      frame.text(mark.label, x, bottom + 5.0, Qt::AlignHCenter);
    }
  }
}

}  // namespace hopster::chart
