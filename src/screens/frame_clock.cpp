#include "screens/frame_clock.h"

namespace hopster {
namespace chart {

FramePacer::Step FramePacer::request() {
  if (!running_) {
    running_ = true;
    pending_ = false;
    return {true, true};
  }
  pending_ = true;
  return {false, true};
}

FramePacer::Step FramePacer::tick() {
  if (pending_) {
    pending_ = false;
    return {true, true};
  }
  running_ = false;
  return {false, false};
}

}  // namespace chart

FrameClock::FrameClock(QObject* parent) : QObject(parent) {
  timer_.setInterval(kFrameMilliseconds);
  timer_.setTimerType(Qt::PreciseTimer);
  connect(&timer_, &QTimer::timeout, this, &FrameClock::timerTicked);
}

void FrameClock::request() { apply(pacer_.request()); }

void FrameClock::timerTicked() { apply(pacer_.tick()); }

void FrameClock::apply(chart::FramePacer::Step step) {
  const bool wasRunning = timer_.isActive();
  if (step.timerRunning && !wasRunning) timer_.start();
  if (!step.timerRunning) timer_.stop();
  if (wasRunning != step.timerRunning) emit runningChanged();
  // Last, as a listener may ask for the next tick at once.
  if (step.tick) emit ticked();
}

}  // namespace hopster
