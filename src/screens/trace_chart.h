#pragma once

#include <QColor>
#include <QFont>
#include <QPointer>
#include <QQuickItem>
#include <memory>
#include <vector>

#include "analysis/recording_overview.h"
#include "screens/chart_layout.h"
#include "screens/recording_view_model.h"

class QFontMetricsF;

namespace hopster {
namespace chart {
class ChartFrame;

// The line of a stretch of a long trace across `plot`: where a pixel column
// covers two samples or more, the column's lowest and highest values (read
// from the overview's levels, so the cost follows the width, not the
// samples); zoomed in further, the samples themselves, one past each edge
// so the line runs to the border.
void tracePoints(const TraceOverview& trace, const TimeWindow& window, const QRectF& plot,
                 std::vector<QPointF>& out);

}  // namespace chart

// A saved recording's whole vertical acceleration on the fixed -4 to 4 g
// scale, with the jump threshold drawn across it and a mark at the top for
// every counted jump. It opens showing the whole session and zooms and pans
// (the QML around it turns wheel, pinch, drag and keys into zoomAt/panBy).
class TraceChart : public QQuickItem {
  Q_OBJECT
  QML_ELEMENT

  Q_PROPERTY(hopster::RecordingViewModel* model READ model WRITE setModel NOTIFY modelChanged)
  Q_PROPERTY(QColor lineColor MEMBER lineColor_ NOTIFY styleChanged)
  Q_PROPERTY(QColor textColor MEMBER textColor_ NOTIFY styleChanged)
  Q_PROPERTY(QColor gridColor MEMBER gridColor_ NOTIFY styleChanged)
  Q_PROPERTY(QColor markColor MEMBER markColor_ NOTIFY styleChanged)
  // The span shown, in seconds after the first sample.
  Q_PROPERTY(double viewFrom READ viewFrom NOTIFY viewChanged)
  Q_PROPERTY(double viewTo READ viewTo NOTIFY viewChanged)
  Q_PROPERTY(double duration READ duration NOTIFY viewChanged)
  // Whether the whole recording is in view.
  Q_PROPERTY(bool showsAll READ showsAll NOTIFY viewChanged)
  // The counted jumps inside the span shown.
  Q_PROPERTY(int jumpsInView READ jumpsInView NOTIFY viewChanged)

 public:
  // Zoomed in, the chart shows at least this many seconds.
  static constexpr double kShortestSpan = 1.0;

  explicit TraceChart(QQuickItem* parent = nullptr);

  [[nodiscard]] RecordingViewModel* model() const { return model_; }
  void setModel(RecordingViewModel* model);
  [[nodiscard]] double viewFrom() const { return window_.from; }
  [[nodiscard]] double viewTo() const { return window_.to; }
  [[nodiscard]] double duration() const;
  [[nodiscard]] bool showsAll() const;
  [[nodiscard]] int jumpsInView() const;

  // Shows `factor` times less time (above 1 zooms in), keeping the moment
  // under `x` (in the item's coordinates) where it is.
  Q_INVOKABLE void zoomAt(double factor, double x);
  // Moves the span by `pixels` of the plot's width (positive: later).
  Q_INVOKABLE void panBy(double pixels);
  Q_INVOKABLE void showAll();

 signals:
  void modelChanged();
  void styleChanged();
  void viewChanged();

 protected:
  QSGNode* updatePaintNode(QSGNode* old, UpdatePaintNodeData* data) override;
  void geometryChange(const QRectF& newGeometry, const QRectF& oldGeometry) override;

 private:
  void overviewChanged();
  void setWindow(double from, double span);
  [[nodiscard]] QRectF plotArea(const QFontMetricsF& metrics) const;
  void drawScale(chart::ChartFrame& frame, const QRectF& plot, const QFontMetricsF& metrics) const;
  void drawMarks(chart::ChartFrame& frame, const QRectF& plot, const QFontMetricsF& metrics) const;

  QPointer<RecordingViewModel> model_;
  QMetaObject::Connection modelConnection_;
  std::shared_ptr<const RecordingOverview> overview_;
  chart::TimeWindow window_;
  QColor lineColor_{0x00, 0x7a, 0xff};
  QColor textColor_{0x4a, 0x4a, 0x4f};
  QColor gridColor_{0xc7, 0xc7, 0xcc};
  QColor markColor_{0xc9, 0x34, 0x00};
  QFont font_;
  // Set when a colour changed; the next frame applies it.
  bool styleDirty_ = true;
  std::vector<QPointF> scratch_;
};

}  // namespace hopster
