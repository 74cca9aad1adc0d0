#pragma once

#include <cstdint>
#include <memory>

#include "platform/headphone_motion_service.h"
#include "platform/random_source.h"
#include "platform/scheduler.h"

namespace hopster {

// How the simulated person jumps.
struct JumpSimulation {
  double cadence = 2.0;          // jumps per second
  double sampleRate = 25.0;      // samples per second
  double standingSeconds = 1.0;  // standing still before the first take-off
  std::uint64_t seed = 0;        // 0: a fresh seed from the system
  MotionAuthorizationStatus authorization = MotionAuthorizationStatus::authorized;
  bool available = true;
};

// Headphones that synthesise a person skipping rope, so Hopster runs and
// counts on any machine. Each jump is a ground contact (landing and push-off
// as one half-sine of about +2.4 g) followed by free flight near -1 g; the
// push-off balances the flight so the head's velocity stays bounded. The head
// slowly nods, tilts and turns; samples report the acceleration in the
// headphones' own frame together with the attitude that turns it back into
// the world frame, so a consumer sees the vertical signal only through a
// correct conversion.
class SimulatedHeadphones final : public HeadphoneMotionService {
 public:
  SimulatedHeadphones(Scheduler& scheduler, JumpSimulation settings = {});
  ~SimulatedHeadphones() override;

  [[nodiscard]] MotionAuthorizationStatus authorizationStatus() const override;
  [[nodiscard]] bool isDeviceMotionAvailable() const override;
  void startDeviceMotionUpdates(MotionHandler handler) override;
  [[nodiscard]] bool isDeviceMotionActive() const override;
  void stopDeviceMotionUpdates() override;

  // Take-offs simulated since updates were first started.
  [[nodiscard]] std::int64_t jumpsSimulated() const { return jumpsSimulated_; }
  // The sample at `t` seconds after updates began; advances nothing.
  [[nodiscard]] DeviceMotion sampleAt(double t);

 private:
  void deliverNext();

  Scheduler& scheduler_;
  JumpSimulation settings_;
  std::unique_ptr<RandomSource> random_;
  std::shared_ptr<Timer> timer_;
  MotionHandler handler_;
  std::int64_t samplesDelivered_ = 0;
  std::int64_t jumpsSimulated_ = 0;
};

}  // namespace hopster
