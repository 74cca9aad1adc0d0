// The replay of the app's own recordings (a motion CSV, or a record's JSON),
// and the turn a replayed sample is given.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <cstring>
#include <tuple>

#include "motion_sources/motion_trace.h"
#include "motion_sources/replay_motion_service.h"
#include "motion_sources/replayed_motion.h"
#include "motion_sources/rotation_math.h"
#include "motion_sources/simulated_headphones.h"
#include "motion_test_support.h"
#include "platform/linux/memory_log.h"
#include "platform/linux/sequential_uuid_source.h"
#include "recording/motion_pipeline.h"
#include "records/motion_csv.h"
#include "records/user_record_json.h"

namespace hopster {
namespace {

using namespace rotation;

TEST(RotationBetween, IsAProperRotationTurningOneDirectionOntoTheOther) {
  const std::pair<Vector3, Vector3> pairs[] = {
      {{0.3, -0.2, 0.9}, {1.5, -1.0, 4.5}},              // parallel
      {{1.0, 0.0, 0.0}, {1.0, 1e-10, 0.0}},              // nearly parallel
      {{0.3, -0.2, 0.9}, {0.5, 0.7, -0.1}},              // within a quarter turn
      {{0.3, -0.2, 0.9}, {-0.8, 0.1, -0.2}},             // wider
      {{0.3, -0.2, 0.9}, {-0.3, 0.2, -0.9}},             // opposite
      {{0.0, 0.0, 1.0}, {0.0, 0.0, -2.0}},               // opposite along an axis
      {{1.0, 0.0, 0.0}, {-1.0, 1e-17, 1e-17}},           // opposite but for rounding
      {{0.3, -0.2, 0.9}, {-0.3, 0.2 + 1e-6, -0.9}},      // nearly opposite, on both sides of
      {{0.3, -0.2, 0.9}, {-0.3, 0.2 + 3e-9, -0.9}},      // the sine below which any
      {{0.3, -0.2, 0.9}, {-0.3, 0.2 + 1e-10, -0.9}},     // perpendicular axis does
      {{5e-324, 0.0, 1e-323}, {1e308, 1e308, -1e308}}};  // subnormal and huge
  for (const auto& [from, to] : pairs) {
    const RotationMatrix m = rotationBetween(from, to);
    // Orthonormal columns, and a determinant of +1.
    const Vector3 c[3] = {{m.m11, m.m21, m.m31}, {m.m12, m.m22, m.m32}, {m.m13, m.m23, m.m33}};
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) EXPECT_NEAR(dot(c[i], c[j]), i == j, 1e-12);
    EXPECT_NEAR(dot(cross(c[0], c[1]), c[2]), 1.0, 1e-12);
    EXPECT_LT(distance(computeGlobalAcceleration(unit(from), m), unit(to)), 1e-12)
        << to.x << ", " << to.y << ", " << to.z;
  }
  // Without two directions there is nothing to turn.
  const RotationMatrix identity;
  for (const Vector3& bad : {Vector3{}, Vector3{kNaN, 0.0, 1.0}, Vector3{0.0, -kInf, 1.0}}) {
    for (const RotationMatrix& m :
         {rotationBetween({0.1, 0.2, -0.9}, bad), rotationBetween(bad, {1, 0, 0})}) {
      EXPECT_EQ(std::memcmp(&m, &identity, sizeof m), 0);
    }
  }
}

class Replay : public TempFiles {
 protected:
  // Every delivery while `seconds` pass.
  std::vector<DeviceMotion> play(ReplayMotionService& replay, double seconds) {
    std::vector<DeviceMotion> seen;
    replay.startDeviceMotionUpdates(
        [&](const auto& sample, const auto&) { seen.push_back(*sample); });
    scheduler_.advanceBy(seconds);
    return seen;
  }

  VirtualScheduler scheduler_{50.0};
  MemoryLog log_;
};

// The jumps and trace of `source` through the real pipeline while `advance` runs.
RecordingState record(HeadphoneMotionService& source, VirtualScheduler& time,
                      const std::function<void()>& advance) {
  RecordingState state;
  SequentialUuidSource uuids;
  SilentAnnouncer announcer;
  MotionPipeline pipeline(state, time, uuids, announcer);
  source.startDeviceMotionUpdates(
      [&](const auto& sample, const auto& error) { pipeline.handleMotionUpdate(sample, error); });
  advance();
  source.stopDeviceMotionUpdates();
  return state;
}

TEST_F(Replay, ReproducesARecordedCountAndItsVerticalSignal) {
  JumpSimulation settings;
  settings.seed = 11;
  VirtualScheduler recordingTime(1764942759.0);
  SimulatedHeadphones headphones(recordingTime, settings);
  const RecordingState recorded =
      record(headphones, recordingTime, [&] { recordingTime.advanceBy(30.0); });
  ASSERT_GT(recorded.jumpCount, 50);

  // Replayed from the first sample's time, the recorded time stamps come back.
  VirtualScheduler replayTime(recorded.motionData.front().timeStamp);
  ReplayMotionService replay(write("s.csv", makeMotionCSV(recorded.motionData)), replayTime, log_);
  const RecordingState replayed = record(replay, replayTime, [&] {
    while (!replay.isFinished() && replayTime.advanceToNext()) {
    }
  });
  EXPECT_TRUE(log_.lines().empty());
  EXPECT_EQ(replayed.jumpCount, recorded.jumpCount);
  ASSERT_EQ(replayed.motionData.size(), recorded.motionData.size());
  for (std::size_t i = 0; i < recorded.motionData.size(); ++i) {
    const MotionDataPoint &a = recorded.motionData[i], &b = replayed.motionData[i];
    EXPECT_EQ(b.timeStamp, a.timeStamp) << i;
    EXPECT_NEAR(b.globalAccelerationZ, a.globalAccelerationZ, 1e-12) << i;
  }
}

TEST_F(Replay, DeliversAtTheRecordedOffsetsFromEachStartAndThenFinishes) {
  std::vector<MotionDataPoint> samples;
  for (double t : {1000.0, 1000.04, 1000.04, 999.0, 1000.5}) samples.push_back({t});
  ReplayMotionService replay(write("t.csv", makeMotionCSV(samples)), scheduler_, log_);
  int finished = 0;
  replay.setFinishedHandler([&] { ++finished; });
  std::vector<double> times;
  const auto start = [&] {
    replay.startDeviceMotionUpdates(
        [&](const auto&, const auto&) { times.push_back(scheduler_.now()); });
  };
  scheduler_.advanceBy(2.0);  // nothing comes before updates start
  start();
  scheduler_.advanceBy(0.05);
  replay.stopDeviceMotionUpdates();
  scheduler_.advanceBy(10.0);  // nor after they stop
  EXPECT_EQ(times.size(), 4u);
  EXPECT_FALSE(replay.isFinished());

  times.clear();
  const double started = scheduler_.now();
  start();
  start();  // from the first sample again, once
  scheduler_.advanceBy(10.0);
  // A repeated time stamp or a step back comes with the sample before.
  const auto at = [&](double stamp) { return started + (stamp - 1000.0); };
  EXPECT_EQ(times,
            (std::vector<double>{at(1000.0), at(1000.04), at(1000.04), at(1000.04), at(1000.5)}));
  EXPECT_TRUE(replay.isFinished());
  EXPECT_FALSE(replay.isDeviceMotionActive());
  EXPECT_EQ(finished, 1);
}

// A motion CSV row: time stamp `t`, vertical acceleration `z` in both frames.
std::string row(const std::string& t, const std::string& z) {
  return t + ",0,0," + z + ",0,0,0,0,0,0,0,0,-1,0,0," + z + "\n";
}

TEST_F(Replay, SkipsMalformedAndNonFiniteRowsOfACsvOrARecordWithOneLogLine) {
  const std::string header = std::string(kMotionCSVHeader) + "\n";
  std::string csv = header + "1,0,0,0.25,0.5,-3,5e-05,-0.0,1e-05,1.5e+16,0,0,-1,0,0,0\n" +
                    "1,2,3,4,5,6,7,8,9,10,11,12,13,14,15\n" +        // too few
                    "1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17\n" +  // too many
                    "1,2,3abc,4,5,6,7,8,9,10,11,12,13,14,15,16\n" +
                    "1,,3,4,5,6,7,8,9,10,11,12,13,14,15,16\n\n" + header;
  std::size_t bad = 5;
  for (const char* number : {"nan", "inf", "-inf"}) {
    csv += row(number, "0");    // the time stamp, which sets the delivery time
    csv += row("1.5", number);  // the vertical acceleration, which the detector reads
    csv += "1.5,0,0,0,0,0,0,0,0," + std::string(number) + ",0,0,-1,0,0,0\n";  // the yaw
    bad += 3;
  }
  csv += "2,0,0,-0.75,0,0,0,0,0,0,0,0,0,0,0,0";  // no final line feed
  const UserRecordData record{"6F1C2A0E-8D4B-4C3A-9E2F-1B5D7A9C3E01", 5.0, 6.0, 1.0, 1, csv, {}};
  std::string json;
  ASSERT_FALSE(encodeUserRecordData(record, json).has_value());
  for (const auto& path : {write("1764942759.5.json", " \n" + json), write("run.csv", csv)}) {
    log_.clear();
    ReplayMotionService replay(path, scheduler_, log_);
    EXPECT_EQ(replay.skippedLines(), bad) << path;
    ASSERT_EQ(log_.lines().size(), 1u) << path;
    EXPECT_NE(log_.lines()[0].find("Skipped " + std::to_string(bad) + " "), std::string::npos)
        << log_.lines()[0];
    EXPECT_NE(log_.lines()[0].find(path.filename().string()), std::string::npos) << log_.lines()[0];

    const std::vector<DeviceMotion> seen = play(replay, 2.0);
    ASSERT_EQ(seen.size(), 2u) << path;
    EXPECT_EQ(seen[0].userAcceleration.z, 0.25);
    EXPECT_EQ(seen[1].userAcceleration.z, -0.75);
    EXPECT_EQ(seen[0].rotationRate.x, 0.5);
    EXPECT_EQ(seen[0].rotationRate.z, 5e-05);
    EXPECT_TRUE(std::signbit(seen[0].attitude.pitch));
    EXPECT_EQ(seen[0].attitude.yaw, 1.5e+16);
  }
}

TEST_F(Replay, StreamsALongCsvAcrossReadsAndKeepsWithinItsCaps) {
  // Far more than one read's worth, with one line too long to buffer among them.
  std::string csv = std::string(kMotionCSVHeader) + "\n";
  for (int k = 0; k < 3000; ++k) {
    csv += row(std::to_string(k), "0.25");
    if (k == 1000) csv += std::string(100 * 1024, '1') + "\n";
  }
  const auto path = write("long.csv", csv);
  const Outcome<MotionTrace> trace = loadMotionTrace(path);
  ASSERT_TRUE(trace) << trace.error().message;
  EXPECT_EQ(trace->samples.size(), 3000u);
  EXPECT_EQ(trace->skippedLines, 1u);
  EXPECT_FALSE(trace->truncated);
  for (std::size_t k = 0; k < trace->samples.size(); ++k) {
    ASSERT_EQ(trace->samples[k].timeStamp, static_cast<double>(k));
  }

  // Samples past the cap are left out, with a log line that says so.
  ReplayMotionService capped(path, scheduler_, log_, MotionTraceLimits{.maxSamples = 2000});
  EXPECT_EQ(capped.sampleCount(), 2000u);
  ASSERT_FALSE(log_.lines().empty());
  EXPECT_NE(log_.lines().back().find("the rest is ignored"), std::string::npos);

  // Files past their byte caps are refused before they are read.
  std::string json;
  ASSERT_FALSE(encodeUserRecordData({"A", 5.0, 6.0, 1.0, 1, csv, {}}, json).has_value());
  const std::tuple<fs::path, MotionTraceLimits, const char*> tooLarge[] = {
      {path, {.maxCsvBytes = csv.size() - 1}, "larger than"},
      {write("long.json", json), {.maxRecordBytes = json.size() - 1}, "a record file larger than"}};
  for (const auto& [file, limits, reason] : tooLarge) {
    const Outcome<MotionTrace> refused = loadMotionTrace(file, limits);
    ASSERT_FALSE(refused) << file;
    EXPECT_EQ(refused.error().kind, FailureKind::tooLarge) << file;
    EXPECT_TRUE(refused.error().message.starts_with(reason)) << refused.error().message;
  }
}

// Each is refused at once, with one log line naming the file (and its kind
// where it is no regular file: a FIFO once blocked the open for a writer, and
// /dev/zero was read until memory ran out), and the reader's failure of the
// kind the recount command names files by.
TEST_F(Replay, AFileThatCannotBeReplayedIsUnavailableWithOneLogLine) {
  const auto fifo = dir_.path() / "motion.fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const auto zero = dir_.path() / "zero.csv";
  std::filesystem::create_symlink("/dev/zero", zero);
  using enum FailureKind;
  const std::tuple<fs::path, const char*, FailureKind> cases[] = {
      {fifo, "a FIFO", notRegularFile},
      {zero, "a character device", notRegularFile},
      {dir_.path(), "a folder", notRegularFile},
      {dir_.path() / "missing.csv", "", notFound},
      {write("empty.csv", ""), "", malformed},
      {write("header.csv", std::string(kMotionCSVHeader) + "\n"), "", malformed},
      {write("garbage.csv", "a,b\nc\n"), "", malformed},
      {write("torn.json", "{\"csvText\": \""), "not a valid record file", notARecord},
      {write("no-csv.json", "{\"id\": \"A\", \"csvText\": 5}"), "", malformed}};
  for (const auto& [path, kind, failure] : cases) {
    EXPECT_EQ(loadMotionTrace(path).error().kind, failure) << path;
    log_.clear();
    ReplayMotionService replay(path, scheduler_, log_);
    EXPECT_FALSE(replay.isDeviceMotionAvailable()) << path;
    ASSERT_EQ(log_.lines().size(), 1u) << path;
    EXPECT_NE(log_.lines()[0].find(path.string()), std::string::npos) << log_.lines()[0];
    EXPECT_NE(log_.lines()[0].find(kind), std::string::npos) << log_.lines()[0];
    EXPECT_TRUE(play(replay, 1.0).empty()) << path;
  }
}

}  // namespace
}  // namespace hopster
