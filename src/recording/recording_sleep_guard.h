#pragma once

#include <memory>

#include "platform/background_work.h"
#include "platform/log.h"
#include "platform/sleep_inhibitor.h"
#include "platform/subscription.h"
#include "recording/recording_controller.h"

namespace hopster {

// Keeps the system awake while the controller records: a Linux phone
// suspends soon after its screen blanks, and a pocketed recording would stop
// counting. A hold on sleep is asked for when a recording starts and let go
// of when it stops, whatever stops it; none is held before or after.
//
// Asking the system can take seconds, so taking and letting go run as jobs
// of `work` (in the app a worker of their own, so a save never waits behind
// them). The jobs run in order, so a Stop right after Start lets go of the
// hold its Start took, however late that arrived. When the system refuses,
// one log line says so, the first time only, and the recording goes on.
// A hold still taken goes with the guard, or with the last job under way.
class RecordingSleepGuard {
 public:
  // `inhibitor` must outlive the jobs handed to `work`.
  RecordingSleepGuard(RecordingController& controller, SleepInhibitor& inhibitor,
                      BackgroundWork& work, Log& log);
  RecordingSleepGuard(const RecordingSleepGuard&) = delete;
  RecordingSleepGuard& operator=(const RecordingSleepGuard&) = delete;

 private:
  void follow(bool recording);

  SleepInhibitor& inhibitor_;
  BackgroundWork& work_;
  Log& log_;
  bool holding_ = false;  // a hold is asked for (it may not have arrived yet)
  bool refusalLogged_ = false;
  // Touched only by the jobs on `work`, one at a time.
  std::shared_ptr<std::unique_ptr<SleepInhibitor::Hold>> hold_ =
      std::make_shared<std::unique_ptr<SleepInhibitor::Hold>>();
  std::shared_ptr<int> alive_ = std::make_shared<int>(0);
  Subscription recordingWatch_;
};

}  // namespace hopster
