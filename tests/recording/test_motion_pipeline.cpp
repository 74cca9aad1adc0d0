#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <limits>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "platform/doubles/virtual_scheduler.h"
#include "platform/linux/sequential_uuid_source.h"
#include "recording/motion_pipeline.h"

namespace hopster {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

struct Fixture {
  VirtualScheduler clock{1000.0};
  SequentialUuidSource uuids;
  RecordingAnnouncer announcer;
  RecordingState state;
  MotionPipeline pipeline{state, clock, uuids, announcer};

  // Samples whose world-frame vertical acceleration is each of `zs`.
  void feed(const std::vector<double>& zs, const std::optional<MotionError>& error = {}) {
    for (double z : zs) {
      DeviceMotion sample;  // lying on its side: the device's x axis points up
      sample.userAcceleration.x = z;
      sample.attitude.rotationMatrix = RotationMatrix{0, 1, 0, 0, 0, 1, 1, 0, 0};
      pipeline.handleMotionUpdate(sample, error);
    }
  }
};

TEST(MakeMotionDataPoint, CopiesEveryMemberAndTurnsTheAccelerationIntoTheWorldFrame) {
  VirtualScheduler clock(1764942759.5);
  DeviceMotion s;
  s.userAcceleration = {1, 2, 3};
  s.rotationRate = {4, 5, 6};
  // Rows (0,1,0), (0,0,1), (1,0,0): the transposed product would give (3,1,2).
  s.attitude = Attitude{7, 8, 9, RotationMatrix{0, 1, 0, 0, 0, 1, 1, 0, 0}};
  s.gravity = {10, 11, 12};
  EXPECT_EQ((std::bit_cast<std::array<double, 16>>(makeMotionDataPoint(s, clock))),
            (std::array<double, 16>{1764942759.5, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 2, 3, 1}));
  // Each row's first two products are added first: (1e16 + 1) + 1 rounds
  // differently from 1e16 + (1 + 1).
  const RotationMatrix m{0, 0, 0, 0, 0, 0, 1e16, 1, 1};
  EXPECT_EQ(computeGlobalAcceleration(Vector3{1, 1, 1}, m).z, (1e16 + 1.0) + 1.0);
}

TEST(DetectJump, CountsAndAnnouncesEachRiseOnceAndReArmsOnlyBelowZero) {
  using Case = std::tuple<const char*, bool, std::vector<double>, std::int64_t, bool>;
  for (const auto& [name, armed, zs, jumps, armedAfter] : std::vector<Case>{
           {"no fall between rises", true, {0.8, 0.9, 0.8}, 1, false},
           {"0.5 does not re-arm", true, {0.8, 0.5, 0.8}, 1, false},
           {"a fall below zero re-arms", true, {0.8, -0.1, 0.8}, 2, false},
           {"exactly the threshold", true, {0.7}, 0, true},
           {"just above the threshold", true, {0.71}, 1, false},
           {"exactly zero does not re-arm", true, {0.8, 0.0, 0.8}, 1, false},
           {"starting disarmed waits for a fall", false, {0.9, 0.9, -0.5, 0.9}, 1, false},
           {"not a number neither counts nor re-arms", true, {kNaN, 0.8, kNaN, 0.8}, 1, false},
           {"infinity counts", true, {kInf, -kInf, kInf}, 2, false}}) {
    Fixture f;
    f.state.isAllowedToCount = armed;
    f.feed(zs);
    EXPECT_EQ(f.state.jumpCount, jumps) << name;
    EXPECT_EQ(f.state.isAllowedToCount, armedAfter) << name;
    std::vector<std::string> announced;  // the new count, once per jump
    for (int jump = 1; jump <= jumps; ++jump) announced.push_back(std::to_string(jump));
    EXPECT_EQ(f.announcer.announcements(), announced) << name;
  }
}

TEST(HandleMotionUpdate, ChartKeepsTheLastFiftyWhileTheTraceKeepsEverySample) {
  Fixture f;
  // Deliveries without a sample are skipped; errors are not looked at.
  f.pipeline.handleMotionUpdate(std::nullopt, MotionError{"lost"});
  f.pipeline.handleMotionUpdate(std::nullopt, std::nullopt);
  for (int i = 1; i <= 100; ++i) f.feed({i / 1000.0}, MotionError{"noisy"});
  ASSERT_EQ(f.state.accelerationData.size(), 50u);
  EXPECT_EQ(f.state.accelerationData.front().zAcceleration, 0.051);  // samples 51 to 100
  EXPECT_EQ(f.state.accelerationData.back().zAcceleration, 0.1);
  EXPECT_EQ(f.state.accelerationData.back().time, 1000.0);
  EXPECT_EQ(f.state.motionData.size(), 100u);
  std::set<std::string> ids;
  for (const auto& point : f.state.accelerationData) ids.insert(point.id.str());
  EXPECT_EQ(ids.size(), 50u) << "every point gets its own id";
}

}  // namespace
}  // namespace hopster
