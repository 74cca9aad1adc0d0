#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "app/headless_runner.h"
#include "platform/doubles/fake_sleep_inhibitor.h"
#include "platform/linux/memory_log.h"
#include "records/record_store.h"
#include "support/temp_dir.h"

namespace hopster {
namespace {

namespace fs = std::filesystem;

struct HeadlessRunResult {
  HeadlessOutcome outcome;
  std::string output;
};

// Each test's data in a scratch folder of its own.
class HeadlessRun : public ::testing::Test {
 protected:
  HeadlessRunResult run(const std::vector<std::string>& args) {
    const auto options = parseCommandLine(args);
    EXPECT_TRUE(options) << options.error().message;
    std::ostringstream out;
    // The run, then the output: braces sequence their elements.
    return {runHeadless(*options, locations_, out, awake_), out.str()};
  }

  FakeSleepInhibitor awake_;  // keeps the tests off the machine's logind

  testing::TempDir dir_;
  const DataLocations locations_{dir_.path() / "Documents", dir_.path() / "settings.json", {}};
};

TEST_F(HeadlessRun, CountsSavesAwardsAndReplaysTheSameCount) {
  // About 150 jumps in about 100 seconds.
  const HeadlessRunResult first = run({"--headless", "--fast", "--seconds", "100", "--cadence",
                                       "1.52", "--seed", "21", "--rate", "50"});
  ASSERT_EQ(first.outcome.exitCode, 0) << first.output;
  EXPECT_GE(first.outcome.jumpsCounted, 150);
  EXPECT_EQ(first.outcome.jumpsSimulated, first.outcome.jumpsCounted);
  EXPECT_EQ(first.outcome.totalJumps, first.outcome.jumpsCounted);
  EXPECT_EQ(first.outcome.trophiesUnlocked,
            (std::vector<std::string>{"First 10 Times", "Fast Starter", "60 Jumps Per Minute"}));
  EXPECT_NE(first.output.find("Starting in 3..."), std::string::npos);

  MemoryLog log;
  const auto records = RecordStore(locations_.documents, log).loadAllUserRecordData();
  ASSERT_EQ(records.size(), 1u);
  const auto& record = records[0];
  EXPECT_EQ(record.jumps, first.outcome.jumpsCounted);
  EXPECT_NEAR(record.timeSpent, 100.0, 0.05);
  // One line a sample at 50 a second, and the header.
  const auto lines = std::count(record.csvText.begin(), record.csvText.end(), '\n');
  EXPECT_NEAR(static_cast<double>(lines), 5001.0, 2.0);
  ASSERT_TRUE(first.outcome.recordUrl);
  const fs::path file = first.outcome.recordUrl->substr(std::string("file://").size());

  // The saved record, replayed, counts the same jumps and ends by itself.
  const HeadlessRunResult replay =
      run({"--headless", "--fast", "--motion", "replay:" + file.string()});
  ASSERT_EQ(replay.outcome.exitCode, 0) << replay.output;
  EXPECT_EQ(replay.outcome.jumpsCounted, record.jumps);
  EXPECT_EQ(replay.outcome.totalJumps, 2 * record.jumps);
  EXPECT_TRUE(replay.outcome.trophiesUnlocked.empty()) << "already unlocked";
  EXPECT_EQ(awake_.requests(), 2) << "each run kept the system awake while it recorded";
  EXPECT_EQ(awake_.held(), 0);
}

TEST_F(HeadlessRun, ReportsAMissingReplayClearly) {
  const HeadlessRunResult missing =
      run({"--headless", "--fast", "--motion", "replay:/nonexistent.csv"});
  EXPECT_EQ(missing.outcome.exitCode, 1);
  EXPECT_NE(missing.output.find("/nonexistent.csv"), std::string::npos) << missing.output;
  EXPECT_NE(missing.output.find("not available"), std::string::npos) << missing.output;
}

// A replay whose time stamps jump by 1e300 seconds: virtual time skips the
// idle stretch instead of ticking through it (the run used to spin forever).
TEST_F(HeadlessRun, AReplayWithAHugeGapEndsAtOnceInVirtualTime) {
  // Sixteen columns: the time, and z as both user and world-frame acceleration.
  const auto row = [](double t, double z) {
    std::ostringstream line;
    line.precision(17);
    line << t;
    for (int column = 1; column < 16; ++column) {
      line << ',' << (column == 3 || column == 15 ? z : 0.0);
    }
    return line.str() + "\n";
  };
  const fs::path csv = dir_.path() / "gap.csv";
  std::ofstream(csv) << row(1764942759.0, 1.5) << row(1764942759.5, -1.0) << row(1e300, 1.5)
                     << row(1e300, -1.0);
  const HeadlessRunResult gap = run({"--headless", "--fast", "--motion", "replay:" + csv.string()});
  EXPECT_EQ(gap.outcome.exitCode, 0) << gap.output;
  EXPECT_EQ(gap.outcome.jumpsCounted, 2);
}

}  // namespace
}  // namespace hopster
