#include "app/window_activation.h"

#include <string>

namespace hopster {

void WindowActivation::activate() {
  if (window_.raise) window_.raise();
  if (window_.showJumpTab) window_.showJumpTab();
}

void WindowActivation::activateAction(std::string_view name) {
  if (name == "jump") {
    activate();
    return;
  }
  log_.line("Ignored the unknown application action \"" + std::string(name) + "\"");
}

}  // namespace hopster
