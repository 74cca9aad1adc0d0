#pragma once

#include <QObject>

#include "platform/scheduler.h"

namespace hopster {

// The main-thread scheduler on Qt's event loop: repeating timers and delayed
// work are precise QTimers on the thread that made this object; posted work
// is queued onto that thread from any thread.
class QtScheduler final : public QObject, public Scheduler {
  Q_OBJECT

 public:
  explicit QtScheduler(QObject* parent = nullptr);

  std::shared_ptr<Timer> scheduleRepeating(double intervalSeconds,
                                           std::function<void(Timer&)> block) override;
  void runAfter(double delaySeconds, std::function<void()> work) override;
  void post(std::function<void()> work) override;
};

}  // namespace hopster
