#pragma once

#include <memory>

#include "platform/application_services.h"
#include "platform/linux/screen_saver_inhibitor.h"
#include "platform/log.h"

namespace hopster {

// The application services of the windowed app on a Linux desktop or phone:
// one window scene, active while the window has focus; the idle timer is the
// desktop's screen saver. Linux has no store to review the app in and no
// per-app settings page, so those requests end quietly, as they do on a
// phone that chooses not to show a prompt.
class DesktopApplication final : public ApplicationServices, public StoreReview {
 public:
  explicit DesktopApplication(Log& log);
  ~DesktopApplication() override;
  DesktopApplication(const DesktopApplication&) = delete;
  DesktopApplication& operator=(const DesktopApplication&) = delete;

  void setIdleTimerDisabled(bool disabled) override;
  [[nodiscard]] std::vector<ConnectedScene> connectedScenes() const override;
  [[nodiscard]] std::optional<std::string> settingsAddress() const override { return std::nullopt; }
  [[nodiscard]] bool canOpen(const std::string&) const override { return false; }
  void open(const std::string&, std::function<void(bool)> completion) override {
    completion(false);
  }
  void requestReview(const ConnectedScene&) override {}

 private:
  Log& log_;
  std::unique_ptr<ScreenSaverInhibitor> inhibitor_;
  bool triedInhibit_ = false;  // one log line, not one per appearance
};

}  // namespace hopster
