#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

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

// Counts jumps from `source` through the real pipeline while `run` runs.
template <typename Run>
Session countJumps(HeadphoneMotionService& source, VirtualScheduler& scheduler, Run run) {
  RecordingState state;
  SequentialUuidSource uuids;
  SilentAnnouncer announcer;
  MotionPipeline pipeline(state, scheduler, uuids, announcer);
  source.startDeviceMotionUpdates(
      [&](const auto& sample, const auto& error) { pipeline.handleMotionUpdate(sample, error); });
  run();
  return Session{state.jumpCount, std::move(state.motionData)};
}

MotionDataPoint pointAt(double timeStamp, double accelerationZ = 0.0) {
  MotionDataPoint point;
  point.timeStamp = timeStamp;
  point.accelerationZ = accelerationZ;
  return point;
}

class Replay : public ::testing::Test {
 protected:
  std::filesystem::path write(const std::string& name, const std::string& text) {
    std::ofstream(dir_.path() / name, std::ios::binary) << text;
    return dir_.path() / name;
  }
  // The user acceleration z of every delivery while `seconds` pass.
  std::vector<double> play(ReplayMotionService& replay, double seconds) {
    std::vector<double> zs;
    replay.startDeviceMotionUpdates(
        [&](const auto& sample, const auto&) { zs.push_back(sample->userAcceleration.z); });
    scheduler_.advanceBy(seconds);
    return zs;
  }

  testing::TempDir dir_;
  VirtualScheduler scheduler_{50.0};
  MemoryLog log_;
};

TEST_F(Replay, ReproducesARecordedCountAndItsVerticalSignal) {
  JumpSimulation settings;
  settings.seed = 11;
  VirtualScheduler recordingTime(1764942759.0);
  SimulatedHeadphones headphones(recordingTime, settings);
  const Session recorded = countJumps(headphones, recordingTime, [&] {
    recordingTime.advanceBy(30.0);
    headphones.stopDeviceMotionUpdates();
  });
  ASSERT_GT(recorded.jumps, 50);

  // Replayed from the first sample's time, the recorded time stamps come back.
  VirtualScheduler replayTime(recorded.trace.front().timeStamp);
  ReplayMotionService replay(write("s.csv", makeMotionCSV(recorded.trace)), replayTime, log_);
  const Session replayed = countJumps(replay, replayTime, [&] {
    while (!replay.isFinished() && replayTime.advanceToNext()) {
    }
  });
  EXPECT_TRUE(log_.lines().empty());
  EXPECT_EQ(replayed.jumps, recorded.jumps);
  ASSERT_EQ(replayed.trace.size(), recorded.trace.size());
  for (std::size_t i = 0; i < recorded.trace.size(); ++i) {
    const MotionDataPoint &a = recorded.trace[i], &b = replayed.trace[i];
    EXPECT_EQ(b.timeStamp, a.timeStamp) << i;
    EXPECT_EQ(b.accelerationY, a.accelerationY) << i;
    EXPECT_NEAR(b.globalAccelerationZ, a.globalAccelerationZ, 1e-12) << i;
  }
}

TEST_F(Replay, DeliversAtTheRecordedOffsetsAndThenFinishes) {
  const std::vector<double> stamps = {1000.0, 1000.04, 1000.1, kNaN, 999.0, 1000.5};
  std::vector<MotionDataPoint> samples;
  for (double t : stamps) samples.push_back(pointAt(t));
  ReplayMotionService replay(write("t.csv", makeMotionCSV(samples)), scheduler_, log_);
  int finished = 0;
  replay.setFinishedHandler([&] { ++finished; });
  scheduler_.advanceBy(2.0);  // nothing comes before updates start

  std::vector<double> times;
  replay.startDeviceMotionUpdates(
      [&](const auto&, const auto&) { times.push_back(scheduler_.now()); });
  scheduler_.advanceBy(0.05);
  EXPECT_EQ(times.size(), 2u);
  EXPECT_FALSE(replay.isFinished());
  scheduler_.advanceBy(10.0);
  // Started at 52.0; the NaN and the step back come with the sample before them.
  const auto at = [](double stamp) { return 52.0 + (stamp - 1000.0); };
  EXPECT_EQ(times, (std::vector<double>{at(1000.0), at(1000.04), at(1000.1), at(1000.1), at(1000.1),
                                        at(1000.5)}));
  EXPECT_TRUE(replay.isFinished());
  EXPECT_FALSE(replay.isDeviceMotionActive());
  EXPECT_EQ(finished, 1);
}

TEST_F(Replay, StopEndsDeliveriesAndAStartPlaysFromTheBeginning) {
  std::vector<MotionDataPoint> samples;
  for (int i = 0; i < 10; ++i) samples.push_back(pointAt(100.0 + 0.1 * i, i));
  ReplayMotionService replay(write("t.csv", makeMotionCSV(samples)), scheduler_, log_);
  std::vector<double> zs;
  replay.startDeviceMotionUpdates([&](const auto& sample, const auto&) {
    zs.push_back(sample->userAcceleration.z);
    if (zs.size() == 3) replay.stopDeviceMotionUpdates();
  });
  scheduler_.advanceBy(5.0);
  EXPECT_EQ(zs, (std::vector<double>{0.0, 1.0, 2.0}));
  EXPECT_FALSE(replay.isFinished());
  EXPECT_EQ(play(replay, 0.15), (std::vector<double>{0.0, 1.0}));
}

TEST_F(Replay, ReadsTheTraceOfASavedRecord) {
  UserRecordData record{"6F1C2A0E-8D4B-4C3A-9E2F-1B5D7A9C3E01",
                        5.0,
                        6.0,
                        1.0,
                        1,
                        makeMotionCSV({pointAt(5.0, 0.25), pointAt(5.5, -0.75)}),
                        std::nullopt};
  std::string json;
  ASSERT_FALSE(encodeUserRecordData(record, json).has_value());
  ReplayMotionService replay(write("1764942759.5.json", " \n" + json), scheduler_, log_);
  EXPECT_EQ(replay.authorizationStatus(), MotionAuthorizationStatus::authorized);
  EXPECT_EQ(play(replay, 1.0), (std::vector<double>{0.25, -0.75}));
  EXPECT_TRUE(log_.lines().empty());
}

TEST_F(Replay, SkipsAndCountsMalformedLines) {
  const std::string header = std::string(kMotionCSVHeader) + "\n";
  ReplayMotionService replay(
      write("t.csv", header + "1.0,0,0,0.3,nan,inf,-inf,-0.0,1e-05,1.5e+16,0,0,-1,0,0,0.3\n" +
                         "1,2,3,4,5,6,7,8,9,10,11,12,13,14,15\n" +        // too few
                         "1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17\n" +  // too many
                         "1,2,abc,4,5,6,7,8,9,10,11,12,13,14,15,16\n" +
                         "1,,3,4,5,6,7,8,9,10,11,12,13,14,15,16\n" +
                         "1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,\n" +
                         "1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,0x10\n" + "\n" + header +
                         "2.0,0,0,0.5,0,0,0,0,0,0,0,0,0,0,0,0"),  // no final line feed
      scheduler_, log_);
  EXPECT_EQ(replay.skippedLines(), 7u);
  ASSERT_EQ(log_.lines().size(), 1u);
  EXPECT_NE(log_.lines()[0].find("Skipped 7 "), std::string::npos) << log_.lines()[0];
  EXPECT_NE(log_.lines()[0].find("t.csv"), std::string::npos) << log_.lines()[0];

  std::vector<DeviceMotion> seen;
  replay.startDeviceMotionUpdates(
      [&](const auto& sample, const auto&) { seen.push_back(*sample); });
  scheduler_.advanceBy(2.0);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_TRUE(std::isnan(seen[0].rotationRate.x));
  EXPECT_EQ(seen[0].rotationRate.y, kInf);
  EXPECT_EQ(seen[0].rotationRate.z, -kInf);
  EXPECT_TRUE(std::signbit(seen[0].attitude.pitch));
  EXPECT_EQ(seen[0].attitude.roll, 1e-05);
  EXPECT_EQ(seen[0].attitude.yaw, 1.5e+16);
  EXPECT_EQ(seen[1].userAcceleration.z, 0.5);
}

TEST_F(Replay, AFileThatCannotBeReplayedIsUnavailableWithOneLogLine) {
  for (const auto& path : {dir_.path() / "missing.csv", dir_.path(), write("empty.csv", ""),
                           write("header.csv", std::string(kMotionCSVHeader) + "\n"),
                           write("garbage.csv", "a,b\nc\n"), write("torn.json", "{\"csvText\": \""),
                           write("no-csv.json", "{\"id\": \"A\", \"csvText\": 5}")}) {
    log_.clear();
    ReplayMotionService replay(path, scheduler_, log_);
    EXPECT_FALSE(replay.isDeviceMotionAvailable()) << path;
    ASSERT_EQ(log_.lines().size(), 1u) << path;
    EXPECT_NE(log_.lines()[0].find(path.string()), std::string::npos) << log_.lines()[0];
    EXPECT_TRUE(play(replay, 1.0).empty()) << path;
    EXPECT_FALSE(replay.isDeviceMotionActive()) << path;
  }
}

}  // namespace
}  // namespace hopster
