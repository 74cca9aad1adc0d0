#pragma once

#include "platform/headphone_motion_service.h"

namespace hopster {

// A motion service that lends out another one that lives longer: the phone
// source listens on its port for the whole run, while the jump screen and
// the first-run page each want a service of their own. Stopping stops the
// updates only when this lender started them.
class SharedMotionService final : public HeadphoneMotionService {
 public:
  explicit SharedMotionService(HeadphoneMotionService& target) : target_(target) {}
  ~SharedMotionService() override { SharedMotionService::stopDeviceMotionUpdates(); }
  SharedMotionService(const SharedMotionService&) = delete;
  SharedMotionService& operator=(const SharedMotionService&) = delete;

  [[nodiscard]] MotionAuthorizationStatus authorizationStatus() const override {
    return target_.authorizationStatus();
  }
  [[nodiscard]] bool isDeviceMotionAvailable() const override {
    return target_.isDeviceMotionAvailable();
  }
  void startDeviceMotionUpdates(MotionHandler handler) override {
    started_ = true;
    target_.startDeviceMotionUpdates(std::move(handler));
  }
  [[nodiscard]] bool isDeviceMotionActive() const override {
    return started_ && target_.isDeviceMotionActive();
  }
  void stopDeviceMotionUpdates() override {
    if (!started_) return;
    started_ = false;
    target_.stopDeviceMotionUpdates();
  }

 private:
  HeadphoneMotionService& target_;
  bool started_ = false;
};

}  // namespace hopster
