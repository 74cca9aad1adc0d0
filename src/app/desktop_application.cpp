#include "app/desktop_application.h"

#include <QGuiApplication>

namespace hopster {

void DesktopApplication::setIdleTimerDisabled(bool disabled) {
  // Jumping with the phone on the floor must not let the screen lock; Qt
  // has no portable switch for that, so the window keeps itself awake by
  // being redrawn while a recording runs. Remembered for completeness.
  idleTimerDisabled_ = disabled;
}

std::vector<ConnectedScene> DesktopApplication::connectedScenes() const {
  const bool active = QGuiApplication::applicationState() == Qt::ApplicationActive;
  return {ConnectedScene{active ? ConnectedScene::kForegroundActive : 1, true}};
}

}  // namespace hopster
