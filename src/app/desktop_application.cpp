#include "app/desktop_application.h"

#include <QGuiApplication>

namespace hopster {

DesktopApplication::DesktopApplication(Log& log) : log_(log) {}

DesktopApplication::~DesktopApplication() = default;

void DesktopApplication::setIdleTimerDisabled(bool disabled) {
  // Jumping with the device on the floor must not let the screen dim or
  // lock: while disabled, the desktop's screen saver is held off.
  if (!disabled) {
    inhibitor_.reset();
    return;
  }
  if (inhibitor_ || triedInhibit_) return;
  triedInhibit_ = true;
  auto inhibited = ScreenSaverInhibitor::inhibit("Hopster", "Recording jumps");
  if (inhibited)
    inhibitor_ = std::move(inhibited).value();
  else
    log_.line("The screen may dim while recording: " + inhibited.error().message);
}

std::vector<ConnectedScene> DesktopApplication::connectedScenes() const {
  const bool active = QGuiApplication::applicationState() == Qt::ApplicationActive;
  return {ConnectedScene{active ? ConnectedScene::kForegroundActive : 1, true}};
}

}  // namespace hopster
