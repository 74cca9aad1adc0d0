#pragma once

#include "platform/subscription.h"
#include "recording/recording_controller.h"

namespace hopster {

// The operations the jump screen runs by itself rather than on a tap: when
// it is shown and whenever the Start / Stop button comes back in place of
// the countdown (a countdown ended or was cancelled), the button's
// appearance; and whenever the trophy popup is raised, its dismissal. Any
// front end (the window, the headless runner, tests) binds one of these to
// its controller so the controller is driven exactly as on screen.
class JumpScreenTriggers {
 public:
  explicit JumpScreenTriggers(RecordingController& controller);

  // The screen came into view.
  void screenAppeared();

 private:
  void stateChanged();

  RecordingController& controller_;
  bool wasStarting_;
  bool wasShowingTrophy_;
  Subscription subscription_;
};

}  // namespace hopster
