// The same motion gives the same numbers, to the last bit, on every machine:
// the world-frame conversion, the simulation, a replay's reconversion and the
// counts. The build rounds each product and sum as written
// (-ffp-contract=off); a compiler left to fuse a multiply and an add into one
// rounding (GCC does on arm64 by default) moves these values by an ulp, and a
// recount on a phone would then disagree with the same recount on a desktop.
// The expected values are written as hexadecimal floats, exact to the bit.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "analysis/recording_analysis.h"
#include "motion_sources/replayed_motion.h"
#include "motion_sources/simulated_headphones.h"
#include "platform/doubles/virtual_scheduler.h"
#include "platform/linux/sequential_uuid_source.h"
#include "recording/motion_pipeline.h"
#include "records/motion_csv.h"

namespace hopster {
namespace {

TEST(ExactArithmetic, TheWorldFrameConversionRoundsEachProductAndSumAsWritten) {
  struct Case {
    RotationMatrix matrix;
    Vector3 userAcceleration, global;
  };
  // Head attitudes and accelerations of a jump, each chosen so that fusing
  // any row's multiply-adds changes that row's last bit.
  for (const Case& c :
       std::vector<Case>{{{0x1.6829887ae46cep-1, -0x1.6a3b30fb25b29p-1, -0x1.16ef9ea7f69b5p-4,
                           0x1.569f5dc527dafp-1, 0x1.621198664b6dap-1, -0x1.167d61fdf7a48p-2,
                           0x1.ea80521650096p-3, 0x1.2a790f9d2f2bp-3, 0x1.eb776162fe68ap-1},
                          {-0x1.b7e1228264f27p-7, 0x1.81b913a211e1fp-4, 0x1.5391817868b9bp-1},
                          {-0x1.f0911eef0fe36p-4, -0x1.fcd9f6d8a0f4ap-4, 0x1.4b54ad3fe1597p-1}},
                         {{0x1.ec3369893aacp-1, -0x1.fd8af1d958a3p-3, 0x1.e3ab0242bdea2p-4,
                           0x1.cce94548ffd62p-3, 0x1.e9e71ea200af6p-1, 0x1.788c5d756da34p-3,
                           -0x1.451502c73f653p-3, -0x1.338fb14e1c7c5p-3, 0x1.f3a078aff15bdp-1},
                          {0x1.1c4e2c3af7433p-4, -0x1.773984321bd84p-4, -0x1.c4265716fef33p+0},
                          {-0x1.e797949bdce44p-4, -0x1.964b14a6d144ap-2, -0x1.b885886ab5b15p+0}}}) {
    const Vector3 global = computeGlobalAcceleration(c.userAcceleration, c.matrix);
    EXPECT_EQ(global.x, c.global.x);
    EXPECT_EQ(global.y, c.global.y);
    EXPECT_EQ(global.z, c.global.z);
  }
}

// FNV-1a: a fingerprint of a whole trace's text that is the same everywhere.
std::uint64_t fingerprint(const std::string& text) {
  std::uint64_t hash = 0xcbf29ce484222325u;
  for (const char c : text) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 0x100000001b3u;
  }
  return hash;
}

TEST(ExactArithmetic, ASeededSessionAndItsRecountGiveTheSameTraceAndJumpsEverywhere) {
  VirtualScheduler scheduler(1764942759.0);
  SimulatedHeadphones headphones(scheduler, {.seed = 7});
  RecordingState state;
  SequentialUuidSource uuids;
  SilentAnnouncer announcer;
  MotionPipeline pipeline(state, scheduler, uuids, announcer);
  headphones.startDeviceMotionUpdates(
      [&](const auto& sample, const auto& error) { pipeline.handleMotionUpdate(sample, error); });
  scheduler.advanceBy(10.0);
  const std::vector<MotionDataPoint>& trace = state.motionData;
  ASSERT_EQ(trace.size(), 250u);
  EXPECT_EQ(state.jumpCount, 18);
  EXPECT_EQ(countedJumpTimes(trace).size(), 18u);

  // A landing's rise, its peak and fall, and a flight sample: the
  // head-frame acceleration the simulation made, the world frame it was
  // turned back into, and the world frame a replay of the saved trace gives
  // the detector (the replay's rotation is rebuilt from the saved vectors,
  // so its last bit may differ from the recording's, the same everywhere).
  struct Sample {
    std::size_t index;
    double deviceX, worldZ, replayedZ;
  };
  for (const Sample& s :
       {Sample{38, -0x1.15e427f45529ep-3, 0x1.8b072a3f4e395p-1, 0x1.8b072a3f4e395p-1},
        Sample{40, -0x1.295ebe013a423p-2, 0x1.335407a58e4d2p+1, 0x1.335407a58e4d1p+1},
        Sample{42, -0x1.04ac4636a891dp-4, 0x1.7dfb23a258a1fp-1, 0x1.7dfb23a258a2p-1},
        Sample{44, 0x1.cac17d249d674p-6, -0x1.05cf7b23836ecp+0, -0x1.05cf7b23836edp+0}}) {
    SCOPED_TRACE(s.index);
    const MotionDataPoint& p = trace.at(s.index);
    EXPECT_EQ(p.accelerationX, s.deviceX) << std::hexfloat << p.accelerationX;
    EXPECT_EQ(p.globalAccelerationZ, s.worldZ) << std::hexfloat << p.globalAccelerationZ;
    const DeviceMotion replayed = replayedMotion(p);
    const double z =
        computeGlobalAcceleration(replayed.userAcceleration, replayed.attitude.rotationMatrix).z;
    EXPECT_EQ(z, s.replayedZ) << std::hexfloat << z;
  }
  // Every digit of the saved trace.
  EXPECT_EQ(fingerprint(makeMotionCSV(trace)), 554296290909694508u);
}

}  // namespace
}  // namespace hopster
