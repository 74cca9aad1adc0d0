#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "platform/simulated_headphones.h"
#include "platform/virtual_scheduler.h"
#include "recording/motion_pipeline.h"

namespace hopster {
namespace {

struct SimulatedRun {
  std::int64_t counted = 0;
  std::int64_t simulated = 0;
  std::vector<MotionDataPoint> trace;
};

// Records `seconds` of simulated jumping through the real pipeline.
SimulatedRun simulate(JumpSimulation settings, double seconds) {
  VirtualScheduler scheduler(1764942759.0);
  SimulatedHeadphones headphones(scheduler, settings);
  RecordingState state;
  SequentialUuidSource uuids;
  SilentAnnouncer announcer;
  MotionPipeline pipeline(state, scheduler, uuids, announcer);
  headphones.startDeviceMotionUpdates(
      [&](const auto& sample, const auto& error) { pipeline.handleMotionUpdate(sample, error); });
  scheduler.advanceBy(seconds);
  headphones.stopDeviceMotionUpdates();
  return SimulatedRun{state.jumpCount, headphones.jumpsSimulated(), std::move(state.motionData)};
}

TEST(SimulatedJumping, EveryJumpIsCountedOverAMinute) {
  JumpSimulation settings;
  settings.seed = 42;
  const SimulatedRun run = simulate(settings, 60.0);
  EXPECT_EQ(run.trace.size(), 1500u);  // 25 samples a second
  EXPECT_GE(run.simulated, 115);       // about two a second after a second of standing
  EXPECT_EQ(run.counted, run.simulated);
}

TEST(SimulatedJumping, CountsAtOtherCadencesRatesAndSeeds) {
  struct Case {
    double cadence, rate;
    std::uint64_t seed;
  };
  for (const Case c :
       {Case{1.5, 25.0, 1}, Case{2.5, 50.0, 2}, Case{3.0, 100.0, 3}, Case{2.0, 100.0, 4}}) {
    JumpSimulation settings;
    settings.cadence = c.cadence;
    settings.sampleRate = c.rate;
    settings.seed = c.seed;
    const SimulatedRun run = simulate(settings, 30.0);
    EXPECT_GT(run.simulated, 0);
    EXPECT_EQ(run.counted, run.simulated) << c.cadence << " jumps/s at " << c.rate << " Hz";
  }
}

TEST(SimulatedJumping, LooksLikeAPersonJumping) {
  JumpSimulation settings;
  settings.seed = 9;
  settings.sampleRate = 100.0;
  const SimulatedRun run = simulate(settings, 20.0);

  double standingMax = 0.0, peak = 0.0;
  int flightSamples = 0, nearMinusOne = 0;
  for (const auto& p : run.trace) {
    const double t = p.timeStamp - 1764942759.0;
    const double z = p.globalAccelerationZ;
    if (t < 0.95) standingMax = std::max(standingMax, std::abs(z));
    peak = std::max(peak, z);
    if (z < -0.5) {
      ++flightSamples;
      if (std::abs(z + 1.0) < 0.15) ++nearMinusOne;
    }
    // The reported gravity is one g in the headphones' frame.
    EXPECT_NEAR(std::hypot(p.gravityX, p.gravityY, p.gravityZ), 1.0, 1e-12);
  }
  EXPECT_LT(standingMax, 0.2);
  EXPECT_GT(peak, 1.5);
  EXPECT_LT(peak, 3.0);
  EXPECT_EQ(nearMinusOne, flightSamples);
  EXPECT_GT(flightSamples, 800);  // about 60 % of 19 s at 100 Hz
}

TEST(SimulatedJumping, DeviceFrameDiffersFromWorldFrame) {
  // The head is tilted, so the vertical signal reaches the detector only
  // through the conversion: the raw z axis differs from the world's.
  JumpSimulation settings;
  settings.seed = 5;
  const SimulatedRun run = simulate(settings, 30.0);
  double largest = 0.0;
  for (const auto& p : run.trace) {
    largest = std::max(largest, std::hypot(p.accelerationX - p.globalAccelerationX,
                                           p.accelerationY - p.globalAccelerationY,
                                           p.accelerationZ - p.globalAccelerationZ));
  }
  EXPECT_GT(largest, 0.2);
}

TEST(SimulatedJumping, IsDeterministicForASeed) {
  JumpSimulation settings;
  settings.seed = 77;
  const SimulatedRun a = simulate(settings, 5.0);
  const SimulatedRun b = simulate(settings, 5.0);
  ASSERT_EQ(a.trace.size(), b.trace.size());
  for (std::size_t i = 0; i < a.trace.size(); ++i) {
    EXPECT_EQ(a.trace[i].accelerationX, b.trace[i].accelerationX);
    EXPECT_EQ(a.trace[i].globalAccelerationZ, b.trace[i].globalAccelerationZ);
  }
}

TEST(SimulatedHeadphones, HonoursAvailabilityAuthorizationAndStop) {
  VirtualScheduler scheduler;
  int deliveries = 0;
  const auto count = [&](const auto&, const auto&) { ++deliveries; };

  JumpSimulation unavailable;
  unavailable.available = false;
  SimulatedHeadphones none(scheduler, unavailable);
  none.startDeviceMotionUpdates(count);
  EXPECT_FALSE(none.isDeviceMotionActive());

  JumpSimulation denied;
  denied.authorization = MotionAuthorizationStatus::denied;
  SimulatedHeadphones refused(scheduler, denied);
  refused.startDeviceMotionUpdates(count);
  scheduler.advanceBy(1.0);
  EXPECT_EQ(deliveries, 0);

  // The first start while undecided stands for the user allowing access.
  JumpSimulation undecided;
  undecided.authorization = MotionAuthorizationStatus::notDetermined;
  SimulatedHeadphones asking(scheduler, undecided);
  asking.startDeviceMotionUpdates([&](const auto&, const auto&) {
    ++deliveries;
    asking.stopDeviceMotionUpdates();  // stopping from inside the handler
  });
  EXPECT_EQ(asking.authorizationStatus(), MotionAuthorizationStatus::authorized);
  scheduler.advanceBy(1.0);
  EXPECT_EQ(deliveries, 1);
  EXPECT_FALSE(asking.isDeviceMotionActive());
}

}  // namespace
}  // namespace hopster
