#pragma once

#include "platform/headphone_motion_service.h"

namespace hopster::testing {

// Headphones a test plays by hand: `deliver` hands one sample to the handler
// while updates run. Counts how often the authorization was asked for.
class FakeMotionService final : public HeadphoneMotionService {
 public:
  [[nodiscard]] MotionAuthorizationStatus authorizationStatus() const override {
    ++authorizationQueries;
    return status;
  }
  [[nodiscard]] bool isDeviceMotionAvailable() const override { return available; }
  void startDeviceMotionUpdates(MotionHandler h) override {
    handler = std::move(h);
    ++starts;
  }
  [[nodiscard]] bool isDeviceMotionActive() const override { return static_cast<bool>(handler); }
  void stopDeviceMotionUpdates() override { handler = nullptr; }

  // A sample whose world-frame vertical acceleration is `z`; returns whether
  // anyone was listening.
  bool deliver(double z) {
    if (!handler) return false;
    DeviceMotion sample;
    sample.userAcceleration.z = z;
    MotionHandler copy = handler;
    copy(sample, std::nullopt);
    return true;
  }
  // `jumps` clean jumps: a rise above the threshold, then a fall below zero.
  void jump(int jumps) {
    for (int i = 0; i < jumps; ++i) {
      deliver(1.5);
      deliver(-1.0);
    }
  }

  MotionAuthorizationStatus status = MotionAuthorizationStatus::authorized;
  bool available = true;
  mutable int authorizationQueries = 0;
  int starts = 0;
  MotionHandler handler;
};

}  // namespace hopster::testing
