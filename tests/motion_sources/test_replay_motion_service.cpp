#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

#include "motion_sources/motion_trace.h"
#include "motion_sources/replay_motion_service.h"
#include "platform/simulated_headphones.h"
#include "platform/virtual_scheduler.h"
#include "recording/motion_pipeline.h"
#include "records/motion_csv.h"
#include "records/user_record_json.h"
#include "support/temp_dir.h"

namespace hopster {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

struct Session {
  std::int64_t jumps = 0;
  std::vector<MotionDataPoint> trace;
};

// Runs the jump pipeline on `source` until `runFor` returns.
template <typename Run>
Session count(HeadphoneMotionService& source, VirtualScheduler& scheduler, Run runFor) {
  RecordingState state;
  SequentialUuidSource uuids;
  SilentAnnouncer announcer;
  MotionPipeline pipeline(state, scheduler, uuids, announcer);
  source.startDeviceMotionUpdates(
      [&](const auto& sample, const auto& error) { pipeline.handleMotionUpdate(sample, error); });
  runFor();
  source.stopDeviceMotionUpdates();
  return Session{state.jumpCount, std::move(state.motionData)};
}

void writeFile(const std::filesystem::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

MotionDataPoint pointAt(double timeStamp, double accelerationZ = 0.0) {
  MotionDataPoint point;
  point.timeStamp = timeStamp;
  point.accelerationZ = accelerationZ;
  point.globalAccelerationZ = accelerationZ;
  return point;
}

TEST(ReplayMotionService, ReplaysARecordingToTheSameCountAndVerticalSignal) {
  JumpSimulation settings;
  settings.seed = 11;
  VirtualScheduler recordingTime(1764942759.0);
  SimulatedHeadphones headphones(recordingTime, settings);
  const Session recorded = count(headphones, recordingTime, [&] { recordingTime.advanceBy(30.0); });
  ASSERT_GT(recorded.jumps, 50);

  testing::TempDir dir;
  writeFile(dir.path() / "session.csv", makeMotionCSV(recorded.trace));
  // Replaying from the first sample's time gives the recorded time stamps back.
  VirtualScheduler replayTime(recorded.trace.front().timeStamp);
  MemoryLog log;
  ReplayMotionService replay(dir.path() / "session.csv", replayTime, log);
  const Session replayed = count(replay, replayTime, [&] {
    while (!replay.isFinished() && replayTime.advanceToNext()) {
    }
  });

  EXPECT_TRUE(log.lines().empty());
  EXPECT_EQ(replayed.jumps, recorded.jumps);
  ASSERT_EQ(replayed.trace.size(), recorded.trace.size());
  for (std::size_t i = 0; i < recorded.trace.size(); ++i) {
    const MotionDataPoint& a = recorded.trace[i];
    const MotionDataPoint& b = replayed.trace[i];
    EXPECT_EQ(b.timeStamp, a.timeStamp) << i;
    EXPECT_EQ(b.accelerationY, a.accelerationY) << i;
    EXPECT_EQ(b.yaw, a.yaw) << i;
    EXPECT_EQ(b.gravityZ, a.gravityZ) << i;
    EXPECT_NEAR(b.globalAccelerationX, a.globalAccelerationX, 1e-12) << i;
    EXPECT_NEAR(b.globalAccelerationY, a.globalAccelerationY, 1e-12) << i;
    EXPECT_NEAR(b.globalAccelerationZ, a.globalAccelerationZ, 1e-12) << i;
  }
}

TEST(DeliveryOffsets, HoldBackTimeStampsThatDoNotMoveForward) {
  struct Case {
    std::vector<double> stamps, offsets;
  };
  for (const Case& c : {
           Case{{10.0, 10.5, 11.0}, {0.0, 0.5, 1.0}},
           Case{{10.0, 10.5, 10.5, 10.2, kNaN, 11.0}, {0.0, 0.5, 0.5, 0.5, 0.5, 1.0}},
           Case{{kNaN, -kInf, 5.0, kInf, 6.0}, {0.0, 0.0, 0.0, 0.0, 1.0}},
           Case{{kNaN}, {0.0}},
       }) {
    std::vector<MotionDataPoint> samples;
    for (double t : c.stamps) samples.push_back(pointAt(t));
    EXPECT_EQ(deliveryOffsets(samples), c.offsets);
  }
}

TEST(ReplayMotionService, DeliversAtTheRecordedOffsetsFromTheStart) {
  const std::vector<double> stamps = {1000.0, 1000.04, 1000.1, 1000.1, kNaN, 999.0, 1000.5};
  std::vector<MotionDataPoint> samples;
  for (std::size_t i = 0; i < stamps.size(); ++i) samples.push_back(pointAt(stamps[i], 0.1 * i));
  testing::TempDir dir;
  writeFile(dir.path() / "t.csv", makeMotionCSV(samples));

  VirtualScheduler scheduler(50.0);
  MemoryLog log;
  ReplayMotionService replay(dir.path() / "t.csv", scheduler, log);
  int finishedCalls = 0;
  replay.setFinishedHandler([&] {
    ++finishedCalls;
    EXPECT_FALSE(replay.isDeviceMotionActive());
  });
  scheduler.advanceBy(2.0);  // nothing is delivered before updates start

  std::vector<double> times, zs;
  replay.startDeviceMotionUpdates([&](const auto& sample, const auto& error) {
    ASSERT_TRUE(sample.has_value());
    EXPECT_FALSE(error.has_value());
    times.push_back(scheduler.now());
    zs.push_back(sample->userAcceleration.z);
  });
  scheduler.advanceBy(0.05);
  EXPECT_EQ(times.size(), 2u);
  EXPECT_TRUE(replay.isDeviceMotionActive());
  EXPECT_FALSE(replay.isFinished());
  scheduler.advanceBy(10.0);

  // Started at 52.0; the NaN and the step back wait with the sample before them.
  const auto at = [](double stamp) { return 52.0 + (stamp - 1000.0); };
  EXPECT_EQ(times, (std::vector<double>{at(1000.0), at(1000.04), at(1000.1), at(1000.1), at(1000.1),
                                        at(1000.1), at(1000.5)}));
  for (std::size_t i = 0; i < zs.size(); ++i) EXPECT_EQ(zs[i], 0.1 * i);
  EXPECT_TRUE(replay.isFinished());
  EXPECT_FALSE(replay.isDeviceMotionActive());
  EXPECT_EQ(finishedCalls, 1);
}

TEST(ReplayMotionService, StopEndsDeliveriesAndAStartPlaysFromTheBeginning) {
  std::vector<MotionDataPoint> samples;
  for (int i = 0; i < 10; ++i) samples.push_back(pointAt(100.0 + 0.1 * i, i));
  testing::TempDir dir;
  writeFile(dir.path() / "t.csv", makeMotionCSV(samples));
  VirtualScheduler scheduler(0.0);
  MemoryLog log;
  ReplayMotionService replay(dir.path() / "t.csv", scheduler, log);

  std::vector<double> seen;
  replay.startDeviceMotionUpdates([&](const auto& sample, const auto&) {
    seen.push_back(sample->userAcceleration.z);
    if (seen.size() == 3) replay.stopDeviceMotionUpdates();  // from inside the handler
  });
  scheduler.advanceBy(5.0);
  EXPECT_EQ(seen, (std::vector<double>{0.0, 1.0, 2.0}));
  EXPECT_FALSE(replay.isFinished());

  seen.clear();
  replay.startDeviceMotionUpdates(
      [&](const auto& sample, const auto&) { seen.push_back(sample->userAcceleration.z); });
  scheduler.advanceBy(0.35);
  replay.stopDeviceMotionUpdates();
  scheduler.advanceBy(5.0);
  EXPECT_EQ(seen, (std::vector<double>{0.0, 1.0, 2.0, 3.0}));
  EXPECT_EQ(replay.samplesDelivered(), 4u);
}

TEST(ReplayMotionService, ReadsTheTraceOfASavedRecord) {
  std::vector<MotionDataPoint> samples = {pointAt(5.0, 0.25), pointAt(5.5, -0.75)};
  UserRecordData record;
  record.id = "6F1C2A0E-8D4B-4C3A-9E2F-1B5D7A9C3E01";
  record.dateStart = 5.0;
  record.dateEnd = 6.0;
  record.timeSpent = 1.0;
  record.jumps = 1;
  record.csvText = makeMotionCSV(samples);
  std::string json;
  ASSERT_FALSE(encodeUserRecordData(record, json).has_value());
  testing::TempDir dir;
  writeFile(dir.path() / "1764942759.5.json", " \n" + json);

  VirtualScheduler scheduler(0.0);
  MemoryLog log;
  ReplayMotionService replay(dir.path() / "1764942759.5.json", scheduler, log);
  ASSERT_TRUE(replay.isDeviceMotionAvailable());
  EXPECT_EQ(replay.authorizationStatus(), MotionAuthorizationStatus::authorized);
  std::vector<double> zs;
  replay.startDeviceMotionUpdates(
      [&](const auto& sample, const auto&) { zs.push_back(sample->userAcceleration.z); });
  scheduler.advanceBy(1.0);
  EXPECT_EQ(zs, (std::vector<double>{0.25, -0.75}));
  EXPECT_TRUE(log.lines().empty());
}

TEST(ReplayMotionService, SkipsAndCountsMalformedLines) {
  const std::string header = kMotionCSVHeader;
  const std::string good =
      "1.0,0.1,0.2,0.3,nan,inf,-inf,-0.0,1e-05,1.5e+16,0.0,0.0,-1.0,0.1,0.2,0.3\n";
  const std::string text =
      header + "\n" + good + "1.0,2.0,3.0,4.0,5.0,6.0,7.0,8.0,9.0,10.0,11.0,12.0,13.0,14.0,15.0\n" +
      "1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17\n" + "1,2,abc,4,5,6,7,8,9,10,11,12,13,14,15,16\n" +
      "1,,3,4,5,6,7,8,9,10,11,12,13,14,15,16\n" + "1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,\n" +
      "1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,0x10\n" + "\n" + header + "\n" +
      "2.0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0";  // no final line feed
  testing::TempDir dir;
  writeFile(dir.path() / "t.csv", text);
  VirtualScheduler scheduler(0.0);
  MemoryLog log;
  ReplayMotionService replay(dir.path() / "t.csv", scheduler, log);

  EXPECT_EQ(replay.sampleCount(), 2u);
  EXPECT_EQ(replay.skippedLines(), 7u);
  ASSERT_EQ(log.lines().size(), 1u);
  EXPECT_NE(log.lines()[0].find("7"), std::string::npos) << log.lines()[0];
  EXPECT_NE(log.lines()[0].find("t.csv"), std::string::npos) << log.lines()[0];

  std::vector<DeviceMotion> seen;
  replay.startDeviceMotionUpdates(
      [&](const auto& sample, const auto&) { seen.push_back(*sample); });
  scheduler.advanceBy(2.0);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_TRUE(std::isnan(seen[0].rotationRate.x));
  EXPECT_EQ(seen[0].rotationRate.y, kInf);
  EXPECT_EQ(seen[0].rotationRate.z, -kInf);
  EXPECT_TRUE(std::signbit(seen[0].attitude.pitch));
  EXPECT_EQ(seen[0].attitude.roll, 1e-05);
  EXPECT_EQ(seen[0].attitude.yaw, 1.5e+16);
}

TEST(ReplayMotionService, AFileThatCannotBeReplayedIsUnavailableWithOneLogLine) {
  testing::TempDir dir;
  writeFile(dir.path() / "empty.csv", "");
  writeFile(dir.path() / "header.csv", std::string(kMotionCSVHeader) + "\n");
  writeFile(dir.path() / "garbage.csv", "a,b\nc\n");
  writeFile(dir.path() / "broken.json", "{\"csvText\": \"");
  writeFile(dir.path() / "no-csv.json", "{\"id\": \"A\", \"csvText\": 5}");
  for (const char* name : {"missing.csv", "empty.csv", "header.csv", "garbage.csv", "broken.json",
                           "no-csv.json", "."}) {
    VirtualScheduler scheduler(0.0);
    MemoryLog log;
    ReplayMotionService replay(dir.path() / name, scheduler, log);
    EXPECT_FALSE(replay.isDeviceMotionAvailable()) << name;
    ASSERT_EQ(log.lines().size(), 1u) << name;
    EXPECT_NE(log.lines()[0].find((dir.path() / name).string()), std::string::npos)
        << log.lines()[0];
    int deliveries = 0;
    replay.startDeviceMotionUpdates([&](const auto&, const auto&) { ++deliveries; });
    EXPECT_FALSE(replay.isDeviceMotionActive()) << name;
    EXPECT_FALSE(scheduler.advanceToNext()) << name;
    EXPECT_EQ(deliveries, 0);
  }
}

}  // namespace
}  // namespace hopster
