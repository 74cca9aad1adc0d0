#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace hopster {

// A window or other scene the application has open.
struct ConnectedScene {
  static constexpr int kForegroundActive = 0;
  int activationState = kForegroundActive;
  bool isWindowScene = true;
};

// What the recording controller needs of the application around it: keeping
// the display awake, its scenes, and the system's settings page.
class ApplicationServices {
 public:
  virtual ~ApplicationServices() = default;
  virtual void setIdleTimerDisabled(bool disabled) = 0;
  // In the platform's own order.
  [[nodiscard]] virtual std::vector<ConnectedScene> connectedScenes() const = 0;
  // The address of the system settings page for this app, if there is one.
  [[nodiscard]] virtual std::optional<std::string> settingsAddress() const = 0;
  [[nodiscard]] virtual bool canOpen(const std::string& address) const = 0;
  // Opens `address`; `completion` is later told whether it opened.
  virtual void open(const std::string& address, std::function<void(bool)> completion) = 0;
};

// Asks the user to rate the app; whether anything is shown is the platform's call.
class StoreReview {
 public:
  virtual ~StoreReview() = default;
  virtual void requestReview(const ConnectedScene& scene) = 0;
};

}  // namespace hopster
