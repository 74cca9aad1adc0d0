#pragma once

#include <QtQml/qqmlregistration.h>
#include <QColor>
#include <QFont>
#include <QPointF>
#include <QPointer>
#include <QQuickItem>
#include <QRectF>
#include <QString>
#include <QTimer>
#include <deque>
#include <vector>

#include "recording/acceleration_data.h"
#include "screens/chart_layout.h"
#include "screens/frame_clock.h"
#include "screens/jump_view_model.h"

class QFontMetricsF;

namespace hopster {
namespace chart {
class ChartNode;
class ChartFrame;
}  // namespace chart

// The live chart: a line of the recording's last vertical accelerations on a
// fixed scale of -4 to 4 g, labelled g marks on the left and times into the
// recording along the bottom. It draws with a few scene-graph nodes, updated
// in place, on the ticks of its frame clock (its own, or one shared with the
// rest of the screen): at most once per tick while points arrive, the points
// between two ticks drawn together, and never when none arrive.
class AccelerationChart : public QQuickItem {
  Q_OBJECT
  QML_ELEMENT

  Q_PROPERTY(hopster::JumpViewModel* model READ model WRITE setModel NOTIFY modelChanged)
  Q_PROPERTY(QColor lineColor READ lineColor WRITE setLineColor NOTIFY styleChanged)
  Q_PROPERTY(QColor textColor READ textColor WRITE setTextColor NOTIFY styleChanged)
  Q_PROPERTY(QColor gridColor READ gridColor WRITE setGridColor NOTIFY styleChanged)
  Q_PROPERTY(qreal lineWidth READ lineWidth WRITE setLineWidth NOTIFY styleChanged)
  Q_PROPERTY(int fontPixelSize READ fontPixelSize WRITE setFontPixelSize NOTIFY styleChanged)
  // The clock that paces the redraws; unset, the chart keeps its own.
  Q_PROPERTY(hopster::FrameClock* clock READ clock WRITE setClock NOTIFY clockChanged)
  // The redraws so far; lets tests see that an idle chart stays still.
  Q_PROPERTY(int frameCount READ frameCount NOTIFY frameCountChanged)

 public:
  explicit AccelerationChart(QQuickItem* parent = nullptr);

  [[nodiscard]] JumpViewModel* model() const { return model_; }
  void setModel(JumpViewModel* model);
  [[nodiscard]] FrameClock* clock() const;
  void setClock(FrameClock* clock);
  [[nodiscard]] QColor lineColor() const { return lineColor_; }
  void setLineColor(const QColor& color);
  [[nodiscard]] QColor textColor() const { return textColor_; }
  void setTextColor(const QColor& color);
  [[nodiscard]] QColor gridColor() const { return gridColor_; }
  void setGridColor(const QColor& color);
  [[nodiscard]] qreal lineWidth() const { return lineWidth_; }
  void setLineWidth(qreal width);
  [[nodiscard]] int fontPixelSize() const { return fontPixelSize_; }
  void setFontPixelSize(int size);
  [[nodiscard]] int frameCount() const { return frameCount_; }

 signals:
  void modelChanged();
  void clockChanged();
  void styleChanged();
  void frameCountChanged();

 protected:
  QSGNode* updatePaintNode(QSGNode* old, UpdatePaintNodeData* data) override;
  void geometryChange(const QRectF& newGeometry, const QRectF& oldGeometry) override;

 private:
  void pointsChanged();
  void frameTick();
  void redraw();
  void applyStyle();
  // The parts of a frame: the node made ready for this frame's style and
  // screen, the plot's place, and the time marks with the line's points
  // (left in scratch_).
  void prepare(chart::ChartNode& node, QQuickWindow& window);
  [[nodiscard]] QRectF plotArea(const QFontMetricsF& metrics) const;
  void drawTimeAxis(chart::ChartFrame& frame, const QRectF& plot, const QFontMetricsF& metrics);

  QPointer<JumpViewModel> model_;
  QMetaObject::Connection modelConnection_;
  mutable FrameClock ownClock_;
  QPointer<FrameClock> sharedClock_;
  QMetaObject::Connection clockConnection_;
  // Points changed since the last redraw.
  bool pending_ = false;
  QColor lineColor_{94, 255, 83};
  QColor textColor_{0x4a, 0x4a, 0x4f};
  QColor gridColor_{0xc7, 0xc7, 0xcc};
  qreal lineWidth_ = 2.0;
  int fontPixelSize_ = 11;
  QFont font_;
  int frameCount_ = 0;
  // Set when a colour, width or size changed; the next draw applies it.
  bool styleDirty_ = true;
  std::vector<QPointF> scratch_;
};

}  // namespace hopster
