#pragma once

#include <QColor>
#include <QRectF>

#include "screens/chart_layout.h"
#include "screens/chart_node.h"

class QFontMetricsF;
class QQuickItem;
class QQuickWindow;
class QSGNode;

namespace hopster::chart {

// What both charts draw alike: the node made ready for a frame, the g scale
// on the left and the time marks along the bottom.

// The node a frame of `item` draws into: `old`, or a new one when there is
// none. Nothing (and `old` deleted) while the item has no window or no size.
[[nodiscard]] ChartNode* nodeToDraw(QSGNode* old, const QQuickItem& item);

// Sets the line's colour and drops the label textures when the style
// changed (`restyle`) or the window moved to a screen of another pixel ratio,
// and now and then as time labels come and go.
void prepareNode(ChartNode& node, QQuickWindow& window, const QColor& lineColor, bool restyle);

// The width of the g labels' gutter left of the plot.
[[nodiscard]] double gScaleGutter(const QFontMetricsF& metrics);

// The axes' colour on a grid of `gridColor`: further from the background.
[[nodiscard]] QColor axisColorFor(const QColor& gridColor);

// A grid line and a label at each g mark, and the axis on the left.
void drawGScale(ChartFrame& frame, const QRectF& plot, const QFontMetricsF& metrics,
                const QColor& gridColor);

// The marks of `window` under the plot, each label shown whole or not at
// all: it neither runs off the right edge (`right`) nor into the gutter.
void drawTimeMarks(ChartFrame& frame, const TimeWindow& window, const QRectF& plot,
                   const QFontMetricsF& metrics, const QColor& gridColor, double right);

}  // namespace hopster::chart
