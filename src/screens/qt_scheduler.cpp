#include "screens/qt_scheduler.h"

#include <QPointer>
#include <QTimer>
#include <cmath>

namespace hopster {
namespace {

int milliseconds(double seconds) {
  if (!(seconds > 0.0)) return 0;
  return static_cast<int>(std::lround(std::fmin(seconds, 2.0e6) * 1000.0));
}

// A repeating QTimer behind the Timer handle. The event loop keeps it
// running until it is invalidated, also when the handle is dropped.
class QtRepeatingTimer final : public Timer {
 public:
  QtRepeatingTimer(QObject* owner, double interval, std::function<void(Timer&)> block)
      : timer_(new QTimer(owner)), block_(std::move(block)) {
    timer_->setTimerType(Qt::PreciseTimer);
    timer_->setInterval(milliseconds(interval));
  }
  ~QtRepeatingTimer() override = default;

  void start(const std::shared_ptr<QtRepeatingTimer>& self) {
    // The connection holds the timer object alive while the QTimer runs.
    QObject::connect(timer_, &QTimer::timeout, timer_, [self] {
      if (self->isValid()) self->block_(*self);
    });
    timer_->start();
  }
  void invalidate() override {
    if (!timer_) return;
    timer_->stop();
    timer_->deleteLater();  // also drops the connection and with it `self`
    timer_ = nullptr;
  }
  [[nodiscard]] bool isValid() const override { return timer_ != nullptr; }

 private:
  QPointer<QTimer> timer_;
  std::function<void(Timer&)> block_;
};

}  // namespace

QtScheduler::QtScheduler(QObject* parent) : QObject(parent) {}

std::shared_ptr<Timer> QtScheduler::scheduleRepeating(double intervalSeconds,
                                                      std::function<void(Timer&)> block) {
  auto timer = std::make_shared<QtRepeatingTimer>(this, intervalSeconds, std::move(block));
  timer->start(timer);
  return timer;
}

void QtScheduler::runAfter(double delaySeconds, std::function<void()> work) {
  QTimer::singleShot(milliseconds(delaySeconds), Qt::PreciseTimer, this, std::move(work));
}

void QtScheduler::post(std::function<void()> work) {
  QMetaObject::invokeMethod(this, std::move(work), Qt::QueuedConnection);
}

}  // namespace hopster
