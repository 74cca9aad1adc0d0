#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/application_services.h"
#include "platform/clock.h"

namespace hopster::testing {

// An application with one active window scene and a settings page that opens.
class FakeApplication final : public ApplicationServices {
 public:
  void setIdleTimerDisabled(bool disabled) override {
    idleTimerDisabled = disabled;
    ++idleTimerCalls;
  }
  [[nodiscard]] std::vector<ConnectedScene> connectedScenes() const override { return scenes; }
  [[nodiscard]] std::optional<std::string> settingsAddress() const override { return address; }
  [[nodiscard]] bool canOpen(const std::string&) const override { return openable; }
  void open(const std::string& opened, std::function<void(bool)> completion) override {
    openedAddresses.push_back(opened);
    pendingCompletion = std::move(completion);
  }

  bool idleTimerDisabled = false;
  int idleTimerCalls = 0;
  std::vector<ConnectedScene> scenes{ConnectedScene{}};
  std::optional<std::string> address = "settings://hopster";
  bool openable = true;
  std::vector<std::string> openedAddresses;
  std::function<void(bool)> pendingCompletion;
};

// Notes the time of every review request.
class FakeStoreReview final : public StoreReview {
 public:
  explicit FakeStoreReview(const Clock& clock) : clock_(clock) {}
  void requestReview(const ConnectedScene&) override { requests.push_back(clock_.now()); }
  std::vector<double> requests;

 private:
  const Clock& clock_;
};

}  // namespace hopster::testing
