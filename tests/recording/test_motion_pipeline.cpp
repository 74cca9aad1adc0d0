#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>
#include <string>
#include <vector>

#include "platform/virtual_scheduler.h"
#include "recording/motion_pipeline.h"

namespace hopster {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// A sample whose world-frame vertical acceleration is `z` (identity attitude).
DeviceMotion verticalSample(double z) {
  DeviceMotion sample;
  sample.userAcceleration = Vector3{0.0, 0.0, z};
  return sample;
}

struct Fixture {
  VirtualScheduler clock{1000.0};
  SequentialUuidSource uuids;
  RecordingAnnouncer announcer;
  RecordingState state;
  MotionPipeline pipeline{state, clock, uuids, announcer};

  void feed(const std::vector<double>& zs) {
    for (double z : zs) pipeline.handleMotionUpdate(verticalSample(z), std::nullopt);
  }
};

TEST(GlobalAcceleration, IsTheMatrixTimesTheColumnVector) {
  const Vector3 a{0.3, -1.2, 2.5};
  const Vector3 identity = computeGlobalAcceleration(a, RotationMatrix{});
  EXPECT_EQ(identity.x, a.x);
  EXPECT_EQ(identity.y, a.y);
  EXPECT_EQ(identity.z, a.z);

  // Rows (1,0,0), (0,0,-1), (0,1,0): the transposed product would give -1.
  const RotationMatrix m{1, 0, 0, 0, 0, -1, 0, 1, 0};
  const Vector3 g = computeGlobalAcceleration(Vector3{0, 1, 0}, m);
  EXPECT_EQ(g.x, 0.0);
  EXPECT_EQ(g.y, 0.0);
  EXPECT_EQ(g.z, 1.0);
}

TEST(GlobalAcceleration, AddsTheFirstTwoProductsFirst) {
  // (1e16 + 1) + 1 rounds differently from 1e16 + (1 + 1).
  const RotationMatrix m{0, 0, 0, 0, 0, 0, 1e16, 1, 1};
  EXPECT_EQ(computeGlobalAcceleration(Vector3{1, 1, 1}, m).z, (1e16 + 1.0) + 1.0);
}

TEST(MakeMotionDataPoint, CopiesEveryMemberAndStampsTheClock) {
  VirtualScheduler clock(1764942759.5);
  DeviceMotion s;
  s.userAcceleration = {1, 2, 3};
  s.rotationRate = {4, 5, 6};
  s.attitude = Attitude{7, 8, 9, RotationMatrix{0, 1, 0, 1, 0, 0, 0, 0, 1}};
  s.gravity = {10, 11, kNaN};
  s.userAcceleration.z = kInf;
  const MotionDataPoint p = makeMotionDataPoint(s, clock);
  const std::vector<double> expected{1764942759.5, 1, 2, kInf, 4, 5, 6, 7, 8, 9, 10, 11};
  const double* fields = &p.timeStamp;
  for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(fields[i], expected[i]) << i;
  EXPECT_TRUE(std::isnan(p.gravityZ));
  // Infinity is not rejected: it spreads into every component that uses it
  // (0 times infinity is not a number).
  EXPECT_TRUE(std::isnan(p.globalAccelerationX));
  EXPECT_TRUE(std::isnan(p.globalAccelerationY));
  EXPECT_EQ(p.globalAccelerationZ, kInf);
}

struct DetectorCase {
  const char* name;
  bool armed;
  std::vector<double> zs;
  std::int64_t jumps;
  bool armedAfter;
};

TEST(DetectJump, CountsEachRiseOnceAndReArmsOnlyBelowZero) {
  const std::vector<DetectorCase> cases = {
      {"no fall between rises", true, {0.8, 0.9, 0.8}, 1, false},
      {"0.5 does not re-arm", true, {0.8, 0.5, 0.8}, 1, false},
      {"a fall below zero re-arms", true, {0.8, -0.1, 0.8}, 2, false},
      {"exactly the threshold", true, {0.7}, 0, true},
      {"just above the threshold", true, {0.71}, 1, false},
      {"exactly zero does not re-arm", true, {0.8, 0.0, 0.8}, 1, false},
      {"negative zero does not re-arm", true, {0.8, -0.0, 0.8}, 1, false},
      {"starting disarmed waits for a fall", false, {0.9, 0.9, -0.5, 0.9}, 1, false},
      {"not a number neither counts nor re-arms", true, {kNaN, 0.8, kNaN, 0.8}, 1, false},
      {"infinity counts", true, {kInf, -kInf, kInf}, 2, false},
      {"a fall alone keeps it armed", true, {-1.0, -0.2}, 0, true},
  };
  for (const auto& c : cases) {
    Fixture f;
    f.state.isAllowedToCount = c.armed;
    f.feed(c.zs);
    EXPECT_EQ(f.state.jumpCount, c.jumps) << c.name;
    EXPECT_EQ(f.state.isAllowedToCount, c.armedAfter) << c.name;
  }
}

TEST(DetectJump, AnnouncesTheNewCountOncePerJump) {
  Fixture f;
  f.feed({0.8, 0.9, -0.1, 1.2, 1.3, -1.0, 0.75});
  EXPECT_EQ(f.announcer.announcements(), (std::vector<std::string>{"1", "2", "3"}));
}

TEST(HandleMotionUpdate, IgnoresDeliveriesWithoutASampleButNotThoseWithAnError) {
  Fixture f;
  f.pipeline.handleMotionUpdate(std::nullopt, MotionError{"lost"});
  f.pipeline.handleMotionUpdate(std::nullopt, std::nullopt);
  EXPECT_TRUE(f.state.motionData.empty());
  EXPECT_TRUE(f.state.accelerationData.empty());
  f.pipeline.handleMotionUpdate(verticalSample(0.9), MotionError{"noisy"});
  EXPECT_EQ(f.state.motionData.size(), 1u);
  EXPECT_EQ(f.state.jumpCount, 1);
}

TEST(HandleMotionUpdate, ChartKeepsTheLastFiftyWhileTheTraceKeepsAll) {
  Fixture f;
  std::vector<double> zs;
  for (int i = 1; i <= 100; ++i) zs.push_back(i / 1000.0);
  f.feed({zs.begin(), zs.begin() + 51});
  ASSERT_EQ(f.state.accelerationData.size(), 50u);
  EXPECT_EQ(f.state.accelerationData.front().zAcceleration, 0.002);  // samples 2 to 51
  f.feed({zs.begin() + 51, zs.end()});
  ASSERT_EQ(f.state.accelerationData.size(), 50u);
  EXPECT_EQ(f.state.accelerationData.front().zAcceleration, 0.051);  // samples 51 to 100
  EXPECT_EQ(f.state.accelerationData.back().zAcceleration, 0.1);
  EXPECT_EQ(f.state.motionData.size(), 100u);

  std::set<std::string> ids;
  for (const auto& point : f.state.accelerationData) ids.insert(point.id.str());
  EXPECT_EQ(ids.size(), 50u);  // equal-looking samples still get their own ids
}

TEST(HandleMotionUpdate, StampsSamplesInTheSameTickAlike) {
  Fixture f;
  f.feed({0.1, 0.1});
  EXPECT_EQ(f.state.motionData[0].timeStamp, f.state.motionData[1].timeStamp);
  EXPECT_EQ(f.state.accelerationData[0].time, 1000.0);
}

}  // namespace
}  // namespace hopster
