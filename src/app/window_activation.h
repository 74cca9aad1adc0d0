#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/log.h"

namespace hopster {

// What the open window does when the desktop activates Hopster: a second
// launch, a click on a reminder, a launcher's action. Each request brings the
// window to the front on the Jump tab; an action it does not know is left
// alone with one log line.
class WindowActivation {
 public:
  // The window's side: bring it to the front; show the Jump tab.
  struct Window {
    std::function<void()> raise;
    std::function<void()> showJumpTab;
  };

  explicit WindowActivation(Log& log) : log_(log) {}

  // Connects the window, once it exists; requests before then do nothing.
  void attach(Window window) { window_ = std::move(window); }

  void activate();
  // `name` as a desktop entry's action names it ("jump").
  void activateAction(std::string_view name);

 private:
  Log& log_;
  Window window_;
};

}  // namespace hopster
