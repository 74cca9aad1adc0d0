#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <set>
#include <string>
#include <vector>

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
// input. Returns what `replay` made of each input, in turn.
template <typename Replay>
auto replayCorpus(const std::string& name, Replay replay) {
  std::vector<decltype(replay(std::string()))> outcomes;
  for (const auto& entry : fs::directory_iterator(fs::path(HOPSTER_FUZZ_CORPUS) / name)) {
    if (!entry.is_regular_file()) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    const std::string bytes(std::istreambuf_iterator<char>(in), {});
    std::cerr << "replaying " << entry.path().string() << std::endl;
    outcomes.push_back(replay(bytes));
  }
  return outcomes;
}

// The sum of `field` over `outcomes`; for a flag, how many have it set.
template <typename Outcome, typename Field>
std::size_t total(const std::vector<Outcome>& outcomes, Field Outcome::*field) {
  std::size_t sum = 0;
  for (const Outcome& outcome : outcomes) sum += static_cast<std::size_t>(outcome.*field);
  return sum;
}

// Every corpus folder belongs to a replayed target, and stays small: merging
// a long run's whole output would slow every test run and bury the seeds;
// `make fuzz-merge` keeps only what adds coverage.
TEST(FuzzCorpus, EveryCorpusFolderBelongsToAReplayedTargetAndStaysSmall) {
  std::set<std::string> folders;
  for (const auto& folder : fs::directory_iterator(HOPSTER_FUZZ_CORPUS)) {
    folders.insert(folder.path().filename().string());
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
  EXPECT_EQ(folders,
            (std::set<std::string>{"decoders", "motion_lines", "push_message", "settings"}));
}

TEST(FuzzCorpus, DecoderInputsDecodeWithoutHarm) {
  const auto results = replayCorpus("decoders", [](const std::string& bytes) {
    return fuzzDecoders(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  });
  EXPECT_GT(results.size(), 5U);
  EXPECT_THAT(results, ::testing::Each(0));
}

// Beyond surviving, the seeds must still get past the parsers' first
// refusals; a change of format that leaves every seed malformed would make
// the fuzzer explore error paths only.
TEST(FuzzCorpus, MotionLineInputsKeepTheParsersPromisesAndReachSamples) {
  const auto outcomes = replayCorpus("motion_lines", exerciseMotionLines);
  EXPECT_GE(outcomes.size(), 10U);
  EXPECT_GT(total(outcomes, &MotionLinesOutcome::streamSamples), 0U);
  EXPECT_GT(total(outcomes, &MotionLinesOutcome::traceSamples), 0U);
  EXPECT_GT(total(outcomes, &MotionLinesOutcome::skippedLines), 0U);
}

TEST(FuzzCorpus, SettingsInputsKeepTheReadersPromisesAndReachValues) {
  using O = SettingsOutcome;
  const auto outcomes = replayCorpus("settings", exerciseSettings);
  ASSERT_GE(outcomes.size(), 10U);
  EXPECT_EQ(std::ranges::max(outcomes, {}, &O::settingsKeysSet).settingsKeysSet, 3U);
  EXPECT_GE(std::ranges::max(outcomes, {}, &O::reminders).reminders, 2U);
  // Some documents read cleanly, some make the store complain, some the schedule.
  EXPECT_LT(total(outcomes, &O::settingsLogged), outcomes.size());
  EXPECT_GT(total(outcomes, &O::settingsLogged), 0U);
  EXPECT_GT(total(outcomes, &O::scheduleLogged), 0U);
}

// The seeds cover both streams the builder knows, headphones and a phone's
// own sensors, and readings it refuses; a change of the message format that
// stopped them at the decoder would leave the builder unfuzzed.
TEST(FuzzCorpus, PushMessageInputsKeepTheirPromisesAndReachSamples) {
  using O = PushMessageOutcome;
  const auto outcomes = replayCorpus("push_message", exercisePushMessage);
  EXPECT_GE(outcomes.size(), 12U);
  EXPECT_LT(total(outcomes, &O::decoded), outcomes.size()) << "a body refused";
  EXPECT_GT(total(outcomes, &O::headphoneSamples), 0U);
  EXPECT_GT(total(outcomes, &O::phoneSamples), 0U);
  EXPECT_GT(total(outcomes, &O::refusedReadings), 0U);
  EXPECT_GT(total(outcomes, &O::readings),
            total(outcomes, &O::headphoneSamples) + total(outcomes, &O::phoneSamples));
}

}  // namespace
}  // namespace hopster
