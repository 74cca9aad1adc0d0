#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <tuple>
#include <vector>

#include "controller_fixture.h"
#include "platform/linux/loop_scheduler.h"
#include "platform/linux/worker_thread.h"
#include "records/motion_csv.h"
#include "records/number_form.h"

namespace hopster {
namespace {

namespace fs = std::filesystem;
using testing::ControllerFixture;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::SizeIs;
using ::testing::UnorderedElementsAre;

// A stop hands the record to the background work and Start waits for it;
// the total, the trophies and the review follow only once it is written,
// in that order, and the samples come back to the controller.
TEST(BackgroundSave, TheStopSavesOffTheMainThreadAndCountsOnlyOnceTheRecordIsWritten) {
  auto settings = std::make_shared<MemoryKeyValueStorage::State>();
  settings->document = R"({"totalJumps": 990})";
  ControllerFixture f(settings);
  auto& c = *f.controller;
  std::vector<bool> savingSeen;
  auto watch = c.observe([&] {
    if (savingSeen.empty() || savingSeen.back() != c.isSaving()) savingSeen.push_back(c.isSaving());
  });
  f.startRecording();
  f.headphones->jump(12);
  const std::size_t samples = c.motionData().size();
  f.background.hold(true);
  const double stopAt = f.scheduler.now();
  c.toggleRecording();

  // Between the stop and the end of the save.
  EXPECT_TRUE(c.isSaving());
  EXPECT_FALSE(c.isRecording());
  EXPECT_EQ(f.records.loadAllUserRecordData().size(), 0u);
  EXPECT_EQ(c.jumpCount(), 12) << "the count stays until the record is written";
  EXPECT_EQ(c.totalJumps(), 990);
  EXPECT_EQ(f.settingsStore.integer("totalJumps"), 990);
  EXPECT_FALSE(c.showTrophyAlert() || c.lastSaved());
  const std::size_t taps = f.haptics.playersStarted().size();
  c.toggleRecording();
  f.scheduler.advanceBy(5.0);
  EXPECT_FALSE(c.isStarting() || c.isRecording()) << "Start waits for the save";
  EXPECT_EQ(f.haptics.playersStarted().size(), taps);

  // Written on the worker, but the main thread has not heard yet.
  ASSERT_EQ(f.background.runWork(), 1u);
  EXPECT_EQ(f.records.loadAllUserRecordData().size(), 1u);
  EXPECT_TRUE(c.isSaving());
  EXPECT_EQ(f.settingsStore.integer("totalJumps"), 990);

  ASSERT_EQ(f.background.deliver(), 1u);
  EXPECT_FALSE(c.isSaving());
  EXPECT_EQ(c.totalJumps(), 1002);
  EXPECT_EQ(f.settingsStore.integer("totalJumps"), 1002);
  // The thousand-total trophy sees the total that already holds this recording.
  ASSERT_TRUE(c.unlockedTrophy());
  EXPECT_EQ(c.unlockedTrophy()->id, "trophy-1000-times");
  EXPECT_EQ(c.jumpCount(), 0);
  EXPECT_EQ(c.motionData().size(), samples) << "the samples come back after the save";
  ASSERT_TRUE(c.lastSaved());
  EXPECT_EQ(c.lastSaved()->jumps, 12);
  EXPECT_EQ(c.lastSaved()->timeSpent, stopAt - (testing::kEpoch + 4.0));
  f.scheduler.advanceBy(3.0);
  EXPECT_THAT(f.review.requests, SizeIs(1));
  EXPECT_THAT(savingSeen, ElementsAre(false, true, false));

  c.toggleRecording();
  EXPECT_TRUE(c.isStarting());
  EXPECT_FALSE(c.lastSaved()) << "a new Start clears the confirmation";
}

// A save that fails on the worker ends as a failed save always has: the
// reason shown, the count kept, nothing added; Start, discard and a second
// retry wait while a retry is under way.
TEST(BackgroundSave, AFailedSaveOnTheWorkerWaitsForARetryThatAlsoRunsInTheBackground) {
  ControllerFixture f;
  auto& c = *f.controller;
  f.startRecording();
  f.headphones->jump(4);
  const fs::path blocker = f.documents.path() / (formatNumber(f.scheduler.now()) + ".json");
  fs::create_directory(blocker);  // no record can be written where a folder stands
  f.background.hold(true);
  c.toggleRecording();
  EXPECT_FALSE(c.saveFailure()) << "not known before the worker has tried";
  f.background.completeAll();
  EXPECT_FALSE(c.isSaving());
  ASSERT_TRUE(c.saveFailure());
  EXPECT_EQ(c.jumpCount(), 4);
  EXPECT_EQ(f.settingsStore.integer("totalJumps"), 0);
  EXPECT_FALSE(c.showTrophyAlert() || c.lastSaved());
  EXPECT_THAT(listJournals(f.documents.path()), SizeIs(1)) << "kept for the next start";

  fs::remove(blocker);
  c.retrySave();
  EXPECT_TRUE(c.isSaving());
  EXPECT_FALSE(c.saveFailure());
  c.toggleRecording();
  c.discardRecording();
  c.retrySave();
  EXPECT_FALSE(c.isStarting());
  EXPECT_EQ(f.background.waitingWork(), 1u) << "one attempt at a time";
  f.background.completeAll();
  EXPECT_FALSE(c.isSaving() || c.saveFailure());
  EXPECT_EQ(f.records.loadAllUserRecordData().size(), 1u);
  EXPECT_EQ(f.settingsStore.integer("totalJumps"), 4);
  EXPECT_THAT(listJournals(f.documents.path()), IsEmpty());
  EXPECT_FALSE(c.unlockedTrophy());
  EXPECT_EQ(c.lastSaved()->jumps, 4);

  // Each record holds the CSV of exactly its own samples: kept whole through
  // the failed save for the retry, and started afresh for the next recording.
  const std::string retried = makeMotionCSV(c.motionData());
  f.background.hold(false);
  f.background.completeAll();  // the journal let go after the retry
  f.record(3);
  std::vector<std::string> texts;
  for (const UserRecordData& record : f.records.loadAllUserRecordData()) {
    texts.push_back(record.csvText);
  }
  EXPECT_THAT(texts, UnorderedElementsAre(retried, makeMotionCSV(c.motionData())));
}

// Quitting, or the controller going away, waits for the save and counts it
// there; the completion that the worker posted arrives later and changes
// nothing.
TEST(BackgroundSave, QuittingWaitsForTheSaveAndTheLateCompletionCountsNothingTwice) {
  for (const bool stoppedBeforeQuit : {false, true}) {
    SCOPED_TRACE(stoppedBeforeQuit);
    ControllerFixture f;
    auto& c = *f.controller;
    f.startRecording();
    f.headphones->jump(11);
    f.background.hold(true);
    if (stoppedBeforeQuit) c.toggleRecording();
    c.stopForQuit();
    EXPECT_FALSE(c.isSaving());
    EXPECT_EQ(f.records.loadAllUserRecordData().size(), 1u);
    EXPECT_EQ(f.settingsStore.integer("totalJumps"), 11);
    ASSERT_TRUE(c.unlockedTrophy());
    c.setShowTrophyAlert(false);
    f.background.deliver();
    EXPECT_EQ(c.totalJumps(), 11);
    EXPECT_EQ(f.settingsStore.integer("totalJumps"), 11);
    EXPECT_FALSE(c.showTrophyAlert()) << "no second award";
    f.scheduler.advanceBy(3.0);
    EXPECT_THAT(f.review.requests, SizeIs(1));
  }

  ControllerFixture f;
  f.startRecording();
  f.headphones->jump(3);
  f.background.hold(true);
  f.controller->toggleRecording();
  f.controller.reset();  // the window closed with the save under way
  EXPECT_EQ(f.records.loadAllUserRecordData().size(), 1u);
  EXPECT_EQ(f.settingsStore.integer("totalJumps"), 3);
  EXPECT_GE(f.background.deliver(), 1u) << "the late completion reaches no controller";
  EXPECT_EQ(f.settingsStore.integer("totalJumps"), 3);
}

TEST(SavedConfirmationText, NamesTheJumpsAndTheDuration) {
  const std::tuple<std::int64_t, double, const char*> rows[] = {
      {30, 15.9, "Saved: 30 jumps in 0:15"},     {1, 3.0, "Saved: 1 jump in 0:03"},
      {120, 605.0, "Saved: 120 jumps in 10:05"}, {360000, 3723.0, "Saved: 360000 jumps in 1:02:03"},
      {2, -1.0, "Saved: 2 jumps in 0:00"},
  };
  for (const auto& [jumps, seconds, text] : rows) {
    EXPECT_EQ(savedConfirmationText(jumps, seconds), text);
  }
}

// What a failed save leaves for the next start, in the numbers the journal
// holds, never more: "all" only when nothing is missing, "none" plainly.
TEST(KeptJumpsText, SaysHowManyOfTheJumpsTheNextStartRecovers) {
  const std::tuple<std::int64_t, std::int64_t, const char*> rows[] = {
      {30, 30, "All 30 jumps counted are kept on disk: the next start will recover all 30."},
      {1198, 246,
       "Only 246 of the 1198 jumps counted are kept on disk: the next start will recover those "
       "246."},
      {30, 1,
       "Only 1 of the 30 jumps counted is kept on disk: the next start will recover that one."},
      {1198, 0,
       "None of the 1198 jumps counted is kept on disk: the next start will recover nothing of "
       "this recording."},
      {1, 1, "The jump counted is kept on disk: the next start will recover it."},
      {1, 0,
       "The jump counted is not kept on disk: the next start will recover nothing of this "
       "recording."},
  };
  for (const auto& [counted, kept, text] : rows) {
    EXPECT_EQ(keptJumpsText(KeptJumps{counted, kept, {}}), text);
  }
}

// The real worker: work runs on another thread, in order, and each `done`
// comes back through the main loop; waiting and destruction see every job's
// work through.
TEST(WorkerThread, RunsWorkInOrderOffTheCallingThreadAndReportsBackThroughTheLoop) {
  LoopScheduler loop;
  const auto main = std::this_thread::get_id();
  std::vector<int> worked, done;
  std::atomic<bool> offMain{true};
  bool lastRan = false;
  {
    WorkerThread worker(loop);
    for (int job = 0; job < 3; ++job) {
      runInBackground<int>(
          worker,
          [&, job] {
            if (std::this_thread::get_id() == main) offMain = false;
            std::this_thread::sleep_for(std::chrono::milliseconds(job == 0 ? 20 : 0));
            worked.push_back(job);
            return job * 10;
          },
          [&](int result) {
            EXPECT_EQ(std::this_thread::get_id(), main);
            done.push_back(result);
            if (done.size() == 3) loop.quit();
          });
    }
    worker.waitForIdle();
    EXPECT_THAT(worked, ElementsAre(0, 1, 2)) << "all work ended before waitForIdle returned";
    EXPECT_THAT(done, IsEmpty()) << "completions wait for the main loop";
    loop.run();
    EXPECT_THAT(done, ElementsAre(0, 10, 20));

    worker.submit(
        [&] {
          std::this_thread::sleep_for(std::chrono::milliseconds(20));
          lastRan = true;
        },
        [] {});
  }  // the destructor lets handed-over work finish
  EXPECT_TRUE(offMain);
  EXPECT_TRUE(lastRan);
}

}  // namespace
}  // namespace hopster
