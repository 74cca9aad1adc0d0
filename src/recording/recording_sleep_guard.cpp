#include "recording/recording_sleep_guard.h"

namespace hopster {

RecordingSleepGuard::RecordingSleepGuard(RecordingController& controller, SleepInhibitor& inhibitor,
                                         BackgroundWork& work, Log& log)
    : inhibitor_(inhibitor), work_(work), log_(log) {
  recordingWatch_ = controller.observe([this, &controller] { follow(controller.isRecording()); });
  follow(controller.isRecording());
}

void RecordingSleepGuard::follow(bool recording) {
  if (recording == holding_) return;
  holding_ = recording;
  if (!recording) {
    work_.submit([hold = hold_] { hold->reset(); }, [] {});
    return;
  }
  runInBackground<Status>(
      work_,
      [hold = hold_, &inhibitor = inhibitor_]() -> Status {
        auto taken = inhibitor.holdOffSleep("Hopster", "Counting jumps");
        if (!taken) return std::move(taken).error();
        *hold = std::move(taken).value();
        return std::nullopt;
      },
      [this, alive = std::weak_ptr<int>(alive_)](const Status& refused) {
        if (!refused || alive.expired() || refusalLogged_) return;
        refusalLogged_ = true;
        log_.line("The system may suspend while recording: " + refused->message);
      });
}

}  // namespace hopster
