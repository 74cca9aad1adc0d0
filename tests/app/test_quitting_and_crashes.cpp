// The real program, as separate processes: quitting by signal saves the
// recording, kill -9 loses at most a few seconds of it, a full disk is a
// failure and concurrent runs keep the total exact.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <fstream>
#include <regex>
#include <thread>

#include "platform/linux/file_key_value_storage.h"
#include "platform/linux/memory_log.h"
#include "records/record_store.h"
#include "records/recording_journal.h"
#include "support/child_program.h"
#include "support/temp_dir.h"

namespace hopster {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
using ::testing::SizeIs;

// The real program, with its data in `home`.
class Program : public testing::ChildProgram {
 public:
  Program(const fs::path& home, const std::vector<std::string>& args, bool window = false,
          rlim_t fileSizeLimit = RLIM_INFINITY)
      : ChildProgram(HOPSTER_BINARY, home, args, Options{window, fileSizeLimit}) {}
};

struct Home {
  testing::TempDir dir;
  MemoryLog log;
  std::vector<UserRecordData> records() {
    return RecordStore(dir.path() / "data/hopster/Documents", log).loadAllUserRecordData();
  }
  std::int64_t total() {
    KeyValueStore settings(
        std::make_unique<FileKeyValueStorage>(dir.path() / "config/hopster/settings.json"), log);
    return settings.integer("totalJumps");
  }
  // The jumps of the one saved record, which the total must equal; -1 when
  // there is not exactly one.
  std::int64_t onlyRecordJumps() {
    const std::vector<UserRecordData> saved = records();
    EXPECT_THAT(saved, SizeIs(1));
    if (saved.size() != 1) return -1;
    EXPECT_EQ(total(), saved[0].jumps);
    return saved[0].jumps;
  }
  // Starts the program again for a second, which recovers what a run left;
  // returns what it printed.
  std::string nextStart() {
    Program next(dir.path(), {"--headless", "--fast", "--seconds", "1"});
    EXPECT_EQ(next.wait(), 0) << next.output();
    return next.output();
  }
};

// The number in the first match of `pattern` (one group) in `output`, or -1.
std::int64_t numberIn(const std::string& output, const std::string& pattern) {
  std::smatch match;
  if (!std::regex_search(output, match, std::regex(pattern))) return -1;
  return std::stoll(match[1]);
}

std::ptrdiff_t occurrences(const std::string& text, const std::string& pattern) {
  const std::regex regex(pattern);
  return std::distance(std::sregex_iterator(text.begin(), text.end(), regex), {});
}

// One run per signal, all at once: each counts in real time.
TEST(Quitting, SigtermOrSighupDuringAHeadlessRecordingSavesIt) {
  const int quitSignals[] = {SIGTERM, SIGHUP, SIGINT};
  struct Run {
    Home home;
    Program hopster{home.dir.path(), {"--headless", "--seconds", "60", "--rate", "50"}};
  };
  std::vector<std::unique_ptr<Run>> runs;
  for (std::size_t i = 0; i < std::size(quitSignals); ++i) runs.push_back(std::make_unique<Run>());
  for (std::size_t i = 0; i < std::size(quitSignals); ++i) {
    SCOPED_TRACE(strsignal(quitSignals[i]));
    Program& hopster = runs[i]->hopster;
    ASSERT_TRUE(hopster.waitFor("^Jumps: 3$")) << hopster.output();
    EXPECT_EQ(hopster.stop(quitSignals[i]), 0) << hopster.output();
    EXPECT_THAT(hopster.output(), HasSubstr("Record saved: file://"));
    EXPECT_GE(runs[i]->home.onlyRecordJumps(), 3);
  }
}

// Waits until the journal in `documents` has been flushed `flushes` times
// after it was made (each flush makes it longer); false after `seconds`.
bool waitForJournalFlushes(const fs::path& documents, int flushes, double seconds) {
  std::vector<std::uintmax_t> sizes;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (std::chrono::steady_clock::now() < deadline) {
    const std::vector<fs::path> journals = listJournals(documents);
    std::error_code error;
    const std::uintmax_t size = journals.empty() ? 0 : fs::file_size(journals.front(), error);
    if (!journals.empty() && !error && (sizes.empty() || size > sizes.back())) {
      sizes.push_back(size);
      if (static_cast<int>(sizes.size()) > flushes) return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

TEST(Quitting, ASignalToTheWindowSavesItsRecording) {
  Home home;
  fs::create_directories(home.dir.path() / "config/hopster");
  std::ofstream(home.dir.path() / "config/hopster/settings.json")
      << R"({"hasSeenOnboarding": true})";
  Program hopster(home.dir.path(), {"--start", "--rate", "50"}, /*window=*/true);
  // Tap, three seconds of countdown, a second of standing, then jumps. The
  // journal is flushed every two seconds of recording: after its second
  // flush, the recording has jumped for three seconds.
  EXPECT_TRUE(waitForJournalFlushes(home.dir.path() / "data/hopster/Documents", 2, 30.0))
      << hopster.output();
  EXPECT_EQ(hopster.stop(SIGTERM), 0) << hopster.output();
  EXPECT_THAT(hopster.output(), HasSubstr("UserRecordData saved successfully"));
  EXPECT_GE(home.onlyRecordJumps(), 2);
}

TEST(Crashes, KillDuringARecordingLosesAtMostTheLastFewSecondsAndIsRecoveredOnce) {
  Home home;
  constexpr std::int64_t kCountedBeforeKill = 8;
  {
    Program hopster(home.dir.path(), {"--headless", "--seconds", "60", "--rate", "50"});
    ASSERT_TRUE(hopster.waitFor("^Jumps: 8$")) << hopster.output();
    EXPECT_EQ(hopster.stop(SIGKILL), 128 + SIGKILL);
  }
  EXPECT_THAT(home.records(), IsEmpty());

  EXPECT_THAT(home.nextStart(), HasSubstr("Recovered a recording of "));
  const std::int64_t recovered = home.onlyRecordJumps();
  // The journal reaches the disk every two seconds: at two jumps a second
  // at most about five jumps are lost.
  EXPECT_LE(recovered, kCountedBeforeKill);
  EXPECT_GE(recovered, kCountedBeforeKill - 5);
}

TEST(FullDisk, AFailedSaveIsAFailureAndTheRecordingIsSavedAtTheNextStart) {
  Home home;
  // Room for the journal of ten seconds at 25 Hz and the settings, not for
  // the record's text.
  Program full(home.dir.path(), {"--headless", "--fast", "--seconds", "10", "--seed", "3"}, false,
               40 * 1024);
  EXPECT_EQ(full.wait(), 3) << full.output();
  EXPECT_THAT(full.output(), HasSubstr("Record NOT saved: "));
  const std::int64_t counted = numberIn(full.output(), "Jumps counted: ([0-9]+)");
  EXPECT_GE(counted, 15) << full.output();
  EXPECT_THAT(full.output(), HasSubstr("All " + std::to_string(counted) +
                                       " jumps counted are kept on disk: the next start will "
                                       "recover all " +
                                       std::to_string(counted) + "."));
  EXPECT_THAT(full.output(), HasSubstr("Total jumps: 0"));
  EXPECT_THAT(full.output(), HasSubstr("Trophies unlocked: none"));
  EXPECT_THAT(home.records(), IsEmpty());
  EXPECT_EQ(home.total(), 0);

  home.nextStart();
  EXPECT_EQ(home.onlyRecordJumps(), counted);
}

// The disk fills while the journal is still being written: the run says how
// many of the jumps it counted the journal holds, logs the journal's failure
// once, and the next start recovers exactly that many. That start's own run
// saves nothing, and says so, naming the recovered record on a line of its own.
TEST(FullDisk, AJournalCutShortSaysHowManyJumpsItKeepsAndTheNextStartRecoversExactlyThose) {
  Home home;
  // Room for about three quarters of the journal of sixty seconds at 25 Hz.
  Program full(home.dir.path(), {"--headless", "--fast", "--seconds", "60", "--seed", "3"}, false,
               150 * 1024);
  EXPECT_EQ(full.wait(), 3) << full.output();
  const std::int64_t counted = numberIn(full.output(), "Jumps counted: ([0-9]+)");
  const std::int64_t kept = numberIn(
      full.output(), "Only ([0-9]+) of the " + std::to_string(counted) +
                         " jumps counted are kept on disk: the next start will recover those ");
  EXPECT_GE(counted, 100) << full.output();
  EXPECT_GE(kept, 10) << full.output();
  EXPECT_LT(kept, counted) << full.output();
  EXPECT_EQ(occurrences(full.output(), "Failed to write the recording journal"), 1)
      << full.output();

  const std::string output = home.nextStart();
  EXPECT_EQ(home.onlyRecordJumps(), kept);
  EXPECT_THAT(output, HasSubstr("No record saved: no jumps were counted."));
  EXPECT_THAT(output, Not(HasSubstr("Record saved:")));
  std::smatch url;
  ASSERT_TRUE(
      std::regex_search(output, url, std::regex("Recovered an earlier recording: file://(\\S+)")))
      << output;
  const auto recovered = readUserRecordFile(url[1].str());
  ASSERT_TRUE(recovered) << recovered.error().message;
  EXPECT_EQ(recovered->jumps, kept);
}

TEST(Concurrency, RunsAtTheSameTimeKeepTheTotalExact) {
  Home home;
  std::vector<std::unique_ptr<Program>> runs;
  for (int i = 0; i < 4; ++i) {
    runs.push_back(std::make_unique<Program>(
        home.dir.path(),
        std::vector<std::string>{"--headless", "--fast", "--seconds", std::to_string(20 + i),
                                 "--seed", std::to_string(i + 1)}));
  }
  for (auto& run : runs) EXPECT_EQ(run->wait(), 0) << run->output();
  std::int64_t saved = 0;
  for (const auto& record : home.records()) saved += record.jumps;
  EXPECT_THAT(home.records(), SizeIs(4));
  EXPECT_EQ(home.total(), saved);
}

}  // namespace
}  // namespace hopster
