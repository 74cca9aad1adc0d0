#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <tuple>

#include "motion_sources/simulated_headphones.h"
#include "platform/doubles/virtual_scheduler.h"
#include "platform/linux/sequential_uuid_source.h"
#include "recording/motion_pipeline.h"
#include "records/motion_csv.h"

namespace hopster {
namespace {

constexpr double kStart = 1764942759.0;

struct SimulatedRun {
  std::int64_t counted, simulated;
  std::vector<MotionDataPoint> trace;
};

// Records `seconds` of simulated jumping through the real pipeline.
SimulatedRun simulate(JumpSimulation settings, double seconds) {
  VirtualScheduler scheduler(kStart);
  SimulatedHeadphones headphones(scheduler, settings);
  RecordingState state;
  SequentialUuidSource uuids;
  SilentAnnouncer announcer;
  MotionPipeline pipeline(state, scheduler, uuids, announcer);
  headphones.startDeviceMotionUpdates(
      [&](const auto& sample, const auto& error) { pipeline.handleMotionUpdate(sample, error); });
  scheduler.advanceBy(seconds);
  return SimulatedRun{state.jumpCount, headphones.jumpsSimulated(), std::move(state.motionData)};
}

TEST(SimulatedJumping, EveryJumpIsCountedAtEachCadenceAndRate) {
  using Case = std::tuple<double, double, double, std::uint64_t>;
  for (const auto& [cadence, rate, seconds, seed] :
       {Case{2.0, 25.0, 60.0, 42}, Case{1.5, 25.0, 30.0, 1}, Case{2.5, 50.0, 30.0, 2},
        Case{3.0, 100.0, 30.0, 3}}) {
    SCOPED_TRACE(::testing::Message() << cadence << " jumps/s at " << rate << " Hz");
    const SimulatedRun run = simulate({cadence, rate, 1.0, seed}, seconds);
    EXPECT_NEAR(static_cast<double>(run.trace.size()), rate * seconds, 1.0);
    EXPECT_GE(run.simulated, cadence * (seconds - 2.0)) << "the cadence after standing a second";
    EXPECT_EQ(run.counted, run.simulated);
  }
}

TEST(SimulatedJumping, LooksLikeAPersonJumpingWithATiltedHeadTheSameForASeed) {
  double standing = 0.0, peak = 0.0, tilt = 0.0;
  int flight = 0, flightAwayFromMinusOne = 0;
  const SimulatedRun run = simulate({.sampleRate = 100.0, .seed = 9}, 20.0);
  for (const auto& p : run.trace) {
    const double z = p.globalAccelerationZ;
    if (p.timeStamp - kStart < 0.95) standing = std::max(standing, std::abs(z));
    peak = std::max(peak, z);
    flight += z < -0.5;
    flightAwayFromMinusOne += z < -0.5 && std::abs(z + 1.0) >= 0.15;
    // The reported gravity is one g in the headphones' frame.
    EXPECT_NEAR(std::hypot(p.gravityX, p.gravityY, p.gravityZ), 1.0, 1e-12);
    // The vertical signal reaches the detector only through the conversion.
    tilt = std::max(tilt, std::hypot(p.accelerationX - p.globalAccelerationX,
                                     p.accelerationY - p.globalAccelerationY,
                                     p.accelerationZ - p.globalAccelerationZ));
  }
  EXPECT_LT(standing, 0.2);
  EXPECT_TRUE(peak > 1.5 && peak < 3.0) << peak;
  EXPECT_GT(flight, 800);  // about 60 % of 19 s at 100 Hz, near -1 g
  EXPECT_EQ(flightAwayFromMinusOne, 0);
  EXPECT_GT(tilt, 0.2);
  // The same seed gives the same jumping.
  EXPECT_EQ(makeMotionCSV(run.trace),
            makeMotionCSV(simulate({.sampleRate = 100.0, .seed = 9}, 20.0).trace));
}

}  // namespace
}  // namespace hopster
