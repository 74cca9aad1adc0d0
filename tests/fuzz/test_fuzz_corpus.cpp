#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <set>
#include <string>

#include "decoder_fuzz_target.h"
#include "motion_lines_fuzz_target.h"
#include "push_message_fuzz_target.h"
#include "settings_fuzz_target.h"

namespace hopster {
namespace {

namespace fs = std::filesystem;

// Every input a fuzz target has kept, crashes once found included, goes
// through that target again on every test run, so a fixed crash stays fixed.
// A broken invariant aborts the test program; the line before it names the
// input.
int replayCorpus(const std::string& name, const std::function<void(const std::string&)>& replay) {
  int replayed = 0;
  for (const auto& entry : fs::directory_iterator(fs::path(HOPSTER_FUZZ_CORPUS) / name)) {
    if (!entry.is_regular_file()) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    const std::string bytes(std::istreambuf_iterator<char>(in), {});
    std::cerr << "replaying " << entry.path().string() << std::endl;
    replay(bytes);
    ++replayed;
  }
  return replayed;
}

TEST(FuzzCorpus, EveryCorpusFolderBelongsToAReplayedTarget) {
  std::set<std::string> folders;
  for (const auto& entry : fs::directory_iterator(HOPSTER_FUZZ_CORPUS)) {
    folders.insert(entry.path().filename().string());
  }
  EXPECT_EQ(folders,
            (std::set<std::string>{"decoders", "motion_lines", "push_message", "settings"}));
}

// Merging a long run's whole output would slow every test run and bury the
// seeds; `make fuzz-merge` keeps only what adds coverage.
TEST(FuzzCorpus, EveryCorpusStaysSmall) {
  for (const auto& folder : fs::directory_iterator(HOPSTER_FUZZ_CORPUS)) {
    std::size_t files = 0;
    std::uintmax_t bytes = 0;
    for (const auto& entry : fs::directory_iterator(folder.path())) {
      ++files;
      bytes += entry.file_size();
    }
    SCOPED_TRACE(folder.path().string());
    EXPECT_LE(files, 600U);
    EXPECT_LE(bytes, std::uintmax_t{4} << 20);
  }
}

TEST(FuzzCorpus, DecoderInputsDecodeWithoutHarm) {
  const int replayed = replayCorpus("decoders", [](const std::string& bytes) {
    EXPECT_EQ(fuzzDecoders(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), 0);
  });
  EXPECT_GT(replayed, 5);
}

// Beyond surviving, the seeds must still get past the parsers' first
// refusals; a change of format that leaves every seed malformed would make
// the fuzzer explore error paths only.
TEST(FuzzCorpus, MotionLineInputsKeepTheParsersPromisesAndReachSamples) {
  MotionLinesOutcome reached;
  const int replayed = replayCorpus("motion_lines", [&reached](const std::string& bytes) {
    const MotionLinesOutcome outcome = exerciseMotionLines(bytes);
    reached.streamSamples += outcome.streamSamples;
    reached.traceSamples += outcome.traceSamples;
    reached.skippedLines += outcome.skippedLines;
  });
  EXPECT_GE(replayed, 10);
  EXPECT_GT(reached.streamSamples, 0U);
  EXPECT_GT(reached.traceSamples, 0U);
  EXPECT_GT(reached.skippedLines, 0U);
}

TEST(FuzzCorpus, SettingsInputsKeepTheReadersPromisesAndReachValues) {
  std::size_t mostSettingsKeys = 0;
  std::size_t mostReminders = 0;
  bool settingsClean = false, settingsLogged = false, scheduleLogged = false;
  const int replayed = replayCorpus("settings", [&](const std::string& bytes) {
    const SettingsOutcome outcome = exerciseSettings(bytes);
    mostSettingsKeys = std::max(mostSettingsKeys, outcome.settingsKeysSet);
    mostReminders = std::max(mostReminders, outcome.reminders);
    settingsClean |= !outcome.settingsLogged;
    settingsLogged |= outcome.settingsLogged;
    scheduleLogged |= outcome.scheduleLogged;
  });
  EXPECT_GE(replayed, 10);
  EXPECT_EQ(mostSettingsKeys, 3U);
  EXPECT_GE(mostReminders, 2U);
  EXPECT_TRUE(settingsClean);
  EXPECT_TRUE(settingsLogged);
  EXPECT_TRUE(scheduleLogged);
}

// The seeds cover both streams the builder knows, headphones and a phone's
// own sensors, and readings it refuses; a change of the message format that
// stopped them at the decoder would leave the builder unfuzzed.
TEST(FuzzCorpus, PushMessageInputsKeepTheirPromisesAndReachSamples) {
  PushMessageOutcome reached;
  bool refusedBody = false;
  const int replayed = replayCorpus("push_message", [&](const std::string& bytes) {
    const PushMessageOutcome outcome = exercisePushMessage(bytes);
    refusedBody |= !outcome.decoded;
    reached.readings += outcome.readings;
    reached.headphoneSamples += outcome.headphoneSamples;
    reached.phoneSamples += outcome.phoneSamples;
    reached.refusedReadings += outcome.refusedReadings;
  });
  EXPECT_GE(replayed, 12);
  EXPECT_TRUE(refusedBody);
  EXPECT_GT(reached.headphoneSamples, 0U);
  EXPECT_GT(reached.phoneSamples, 0U);
  EXPECT_GT(reached.refusedReadings, 0U);
  EXPECT_GT(reached.readings, reached.headphoneSamples + reached.phoneSamples);
}

}  // namespace
}  // namespace hopster
