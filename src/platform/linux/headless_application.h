#pragma once

#include "platform/application_services.h"

namespace hopster {

// The application around a run without a window: no scene to keep awake or
// to ask for a review in, and no settings page to open.
class HeadlessApplication final : public ApplicationServices, public StoreReview {
 public:
  void setIdleTimerDisabled(bool) override {}
  [[nodiscard]] std::vector<ConnectedScene> connectedScenes() const override { return {}; }
  [[nodiscard]] std::optional<std::string> settingsAddress() const override { return std::nullopt; }
  [[nodiscard]] bool canOpen(const std::string&) const override { return false; }
  void open(const std::string&, std::function<void(bool)> completion) override {
    completion(false);
  }
  void requestReview(const ConnectedScene&) override {}
};

}  // namespace hopster
