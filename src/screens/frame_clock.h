#pragma once

#include <QtQml/qqmlregistration.h>
#include <QObject>
#include <QTimer>

namespace hopster {
namespace chart {

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

}  // namespace hopster
