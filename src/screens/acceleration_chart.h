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
#include "screens/jump_view_model.h"

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

// The pacing of a frame clock: ticks at most once per frame interval while
// they are asked for, and none when they are not. The first request after a
// quiet spell ticks at once and starts the frame timer; requests within the
// interval wait for its tick; a tick that nobody asked for stops the timer.
class FramePacer {
 public:
  struct Step {
    bool tick = false;  // emit a tick now
    bool timerRunning = false;
  };
  // Someone wants a tick.
  Step request();
  // The frame timer ticked.
  Step tick();
  [[nodiscard]] bool timerRunning() const { return running_; }

 private:
  bool running_ = false;
  bool pending_ = false;
};

}  // namespace chart

// One clock for everything on a screen that moves while points stream in,
// so that their changes share frames: it ticks at most once per
// kFrameMilliseconds while asked to, and never when nobody asks. Whoever
// changes something on screen asks with request() and makes the change on
// the next tick, so changes from several sources are drawn together.
class FrameClock : public QObject {
  Q_OBJECT
  QML_ELEMENT

  Q_PROPERTY(bool running READ running NOTIFY runningChanged)

 public:
  explicit FrameClock(QObject* parent = nullptr);

  // The interval between ticks: about 16 frames a second, still live to the
  // eye (the chart holds the last 50 samples), at a fraction of what a
  // software-rendered window costs drawing every display frame.
  static constexpr int kFrameMilliseconds = 60;

  // Asks for a tick: at the running clock's next one, or at once when idle.
  Q_INVOKABLE void request();
  [[nodiscard]] bool running() const { return pacer_.timerRunning(); }

 signals:
  void ticked();
  void runningChanged();

 private:
  void timerTicked();
  void apply(chart::FramePacer::Step step);

  chart::FramePacer pacer_;
  QTimer timer_;
};

// The live chart: a line of the recording's last vertical accelerations on a
// fixed scale of -4 to 4 g, labelled g marks on the left and times into the
// recording along the bottom. It draws with a few scene-graph nodes, updated
// in place, on the ticks of its frame clock (its own, or one shared with the
// rest of the screen): at most 25 times a second while points arrive, the
// points between two ticks drawn together, and never when none arrive.
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
