#pragma once

#include <functional>
#include <optional>

#include "platform/device_motion.h"

namespace hopster {

// Whether the user lets the app read headphone motion.
enum class MotionAuthorizationStatus : int {
  notDetermined = 0,
  restricted = 1,
  denied = 2,
  authorized = 3,
};

// Receives each delivery: a sample, an error, or both or neither.
using MotionHandler = std::function<void(const std::optional<DeviceMotion>& sample,
                                         const std::optional<MotionError>& error)>;

// The headphones' motion sensors. A new instance is idle; once updates are
// started the handler is called once per sample on the main thread until
// updates are stopped.
class HeadphoneMotionService {
 public:
  virtual ~HeadphoneMotionService() = default;

  [[nodiscard]] virtual MotionAuthorizationStatus authorizationStatus() const = 0;
  [[nodiscard]] virtual bool isDeviceMotionAvailable() const = 0;
  virtual void startDeviceMotionUpdates(MotionHandler handler) = 0;
  [[nodiscard]] virtual bool isDeviceMotionActive() const = 0;
  virtual void stopDeviceMotionUpdates() = 0;
};

}  // namespace hopster
