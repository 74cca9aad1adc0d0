#pragma once

#include "platform/application_services.h"

namespace hopster {

// The application services of the windowed app on a Linux desktop or phone:
// one window scene, active while the window has focus. Linux has no store
// to review the app in and no per-app settings page, so those requests end
// quietly, as they do on a phone that chooses not to show a prompt.
class DesktopApplication final : public ApplicationServices, public StoreReview {
 public:
  void setIdleTimerDisabled(bool disabled) override;
  [[nodiscard]] std::vector<ConnectedScene> connectedScenes() const override;
  [[nodiscard]] std::optional<std::string> settingsAddress() const override { return std::nullopt; }
  [[nodiscard]] bool canOpen(const std::string&) const override { return false; }
  void open(const std::string&, std::function<void(bool)> completion) override {
    completion(false);
  }
  void requestReview(const ConnectedScene&) override {}

 private:
  bool idleTimerDisabled_ = false;
};

}  // namespace hopster
