#include "recording/jump_screen_triggers.h"

namespace hopster {

JumpScreenTriggers::JumpScreenTriggers(RecordingController& controller)
    : controller_(controller),
      wasStarting_(controller.isStarting()),
      wasShowingTrophy_(controller.showTrophyAlert()),
      subscription_(controller.observe([this] { stateChanged(); })) {}

void JumpScreenTriggers::screenAppeared() { controller_.jumpScreenAppeared(); }

void JumpScreenTriggers::stateChanged() {
  const bool starting = controller_.isStarting();
  const bool showingTrophy = controller_.showTrophyAlert();
  const bool buttonBack = wasStarting_ && !starting;
  const bool trophyChanged = showingTrophy != wasShowingTrophy_;
  // Record the new state first: the operations below change it again.
  wasStarting_ = starting;
  wasShowingTrophy_ = showingTrophy;
  if (trophyChanged) controller_.scheduleTrophyAlertDismissal(showingTrophy);
  if (buttonBack) controller_.jumpScreenAppeared();
}

}  // namespace hopster
