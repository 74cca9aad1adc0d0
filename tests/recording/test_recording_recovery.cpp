#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <optional>

#include "controller_fixture.h"
#include "file_size_limit.h"
#include "platform/linux/file_key_value_storage.h"
#include "platform/linux/memory_log.h"
#include "platform/linux/sequential_uuid_source.h"
#include "platform/linux/system_clock.h"
#include "recording/recording_commit.h"
#include "records/number_form.h"

namespace hopster {
namespace {

namespace fs = std::filesystem;
using testing::ControllerFixture;
using ::testing::ElementsAre;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::SizeIs;
using ::testing::StartsWith;

MotionDataPoint sample(double t, double z) { return {.timeStamp = t, .globalAccelerationZ = z}; }

// Samples of `jumps` clean jumps, one every second from `start`.
std::vector<MotionDataPoint> jumping(int jumps, double start) {
  std::vector<MotionDataPoint> samples;
  for (int i = 0; i < jumps; ++i) {
    samples.push_back(sample(start + i, 1.5));
    samples.push_back(sample(start + i + 0.5, -1.0));
  }
  return samples;
}

// A records folder and a settings file on disk, as two runs of the program see them.
struct Disk {
  testing::TempDir dir;
  fs::path documents = dir.path() / "Documents";
  fs::path settingsFile = dir.path() / "config" / "settings.json";
  MemoryLog log;
  SystemClock clock;
  SequentialUuidSource uuids;

  Disk() { fs::create_directories(documents); }

  // Leaves a journal the way a run that died would, at `stage`.
  fs::path abandon(const std::vector<MotionDataPoint>& samples, JournalStage stage,
                   bool armed = true) {
    auto journal = RecordingJournal::create(documents, JournalHeader{1000.0, armed}).value();
    for (const auto& s : samples) journal->append(s);
    EXPECT_FALSE(journal->flush());
    if (stage != JournalStage::recording) {
      EXPECT_FALSE(journal->finish(JournalEnding{1100.0, "RECORD-ID", "1764942759.5"}));
    }
    if (stage == JournalStage::committing) {
      EXPECT_FALSE(
          journal->markCommitting(settingsFile.parent_path() / ".settings.json.Ab12Cd.tmp"));
    }
    return journal->path();
  }

  // One start of the program: recovery with fresh stores over the files.
  std::vector<RecoveredRecording> start() {
    KeyValueStore settings(std::make_unique<FileKeyValueStorage>(settingsFile), log);
    TrophyManager trophies(settings);
    RecordStore records(documents, log);
    return recoverAbandonedRecordings(RecoveryServices{settings, settingsFile.parent_path(),
                                                       trophies, records, clock, uuids, log});
  }

  std::int64_t total() {
    KeyValueStore settings(std::make_unique<FileKeyValueStorage>(settingsFile), log);
    return settings.integer("totalJumps");
  }
  void setTotal(std::int64_t value) {
    KeyValueStore settings(std::make_unique<FileKeyValueStorage>(settingsFile), log);
    settings.setInteger("totalJumps", value);
  }
  std::vector<UserRecordData> records() {
    return RecordStore(documents, log).loadAllUserRecordData();
  }
};

// The journal of the fixture's running or unsaved recording.
fs::path journalOf(const ControllerFixture& f) {
  const auto journals = listJournals(f.documents.path());
  EXPECT_THAT(journals, SizeIs(1));
  return journals.empty() ? fs::path() : journals.front();
}

TEST(Recovery, ARecordingCutShortBecomesARecordCountedOnceWithItsJumpsRecounted) {
  Disk disk;
  disk.setTotal(10);
  disk.abandon(jumping(3, 1000.0), JournalStage::recording);
  const auto recovered = disk.start();
  EXPECT_THAT(disk.start(), IsEmpty()) << "a second start finds nothing left";

  const auto records = disk.records();
  ASSERT_THAT(records, SizeIs(1));
  EXPECT_EQ(records[0].jumps, 3);
  EXPECT_EQ(records[0].dateStart, 1000.0);
  EXPECT_EQ(records[0].dateEnd, 1002.5) << "it ends with its last sample";
  EXPECT_THAT(records[0].csvText, HasSubstr("\n1002.5,"));
  EXPECT_EQ(disk.total(), 13);
  EXPECT_THAT(listJournals(disk.documents), IsEmpty());
  // What the start reports names the record it made.
  ASSERT_THAT(recovered, SizeIs(1));
  EXPECT_EQ(recovered[0].jumps, 3);
  const auto file = readUserRecordFile(recovered[0].file);
  ASSERT_TRUE(file) << file.error().message;
  EXPECT_EQ(file->id, records[0].id);
}

TEST(Recovery, RecountStartsFromTheArmedStateTheRecordingBeganWith) {
  Disk disk;
  disk.abandon(jumping(3, 1000.0), JournalStage::recording, /*armed=*/false);
  disk.start();
  ASSERT_THAT(disk.records(), SizeIs(1));
  EXPECT_EQ(disk.records()[0].jumps, 2) << "the first rise waits for a fall below zero";
}

TEST(Recovery, ARecordingWithoutJumpsIsDiscarded) {
  Disk disk;
  disk.abandon({sample(1000.0, 0.2), sample(1001.0, -0.3)}, JournalStage::recording);
  EXPECT_THAT(disk.start(), IsEmpty());
  EXPECT_THAT(disk.records(), IsEmpty());
  EXPECT_THAT(listJournals(disk.documents), IsEmpty());
  EXPECT_EQ(disk.total(), 0);
}

// A kill between any two steps of a save: the record exists once and its
// jumps are in the total once, whichever step was the last to complete.
TEST(Recovery, AKillBetweenAnyTwoStepsNeitherLosesNorDoublesTheRecording) {
  struct Case {
    const char* killed;
    JournalStage stage;
    bool recordWritten;
    bool settingsTemporaryLeft;  // the commit wrote its temporary file but never renamed it
    std::int64_t totalBefore;    // as stored when the run died
  };
  for (const Case& c : {
           Case{"after the stop, before the record", JournalStage::saving, false, false, 10},
           Case{"after the record, before the total", JournalStage::saving, true, false, 10},
           Case{"during the commit, before the rename", JournalStage::committing, true, true, 10},
           Case{"after the commit, before the journal went", JournalStage::committing, true, false,
                13},
       }) {
    SCOPED_TRACE(c.killed);
    Disk disk;
    disk.setTotal(c.totalBefore);
    disk.abandon(jumping(3, 1000.0), c.stage);
    if (c.recordWritten) {
      std::ofstream(disk.documents / "1764942759.5.json")
          << R"({"id":"RECORD-ID","dateStart":1000.0,"dateEnd":1100.0,"timeSpent":100.0,"jumps":3,"csvText":""})";
    }
    const fs::path temporary = disk.settingsFile.parent_path() / ".settings.json.Ab12Cd.tmp";
    if (c.settingsTemporaryLeft) std::ofstream(temporary) << R"({"totalJumps": 13})";

    disk.start();
    disk.start();
    ASSERT_THAT(disk.records(), SizeIs(1));
    EXPECT_EQ(disk.records()[0].id, "RECORD-ID");
    EXPECT_EQ(disk.total(), 13);
    EXPECT_FALSE(fs::exists(temporary));
    EXPECT_THAT(listJournals(disk.documents), IsEmpty());
  }
}

TEST(Recovery, ALiveRecordingOfAnotherRunIsLeftAlone) {
  Disk disk;
  const auto live = RecordingJournal::create(disk.documents, JournalHeader{1000.0, true}).value();
  for (const auto& s : jumping(2, 1000.0)) live->append(s);
  ASSERT_FALSE(live->flush());
  EXPECT_THAT(disk.start(), IsEmpty());
  EXPECT_THAT(listJournals(disk.documents), SizeIs(1));
  EXPECT_THAT(disk.log.lines(), IsEmpty());
}

TEST(Controller, WithoutAJournalAFailedSaveKeepsNothingAndStartWaitsForARetry) {
  ControllerFixture f;
  auto& c = *f.controller;
  const fs::path documents = f.documents.path();
  // The folder goes away under the running app (an unmounted card, say).
  fs::rename(documents, documents.string() + ".gone");
  f.startRecording();
  ASSERT_TRUE(c.journalFailure()) << "no journal: the screen says so from the start";
  f.headphones->jump(4);
  c.toggleRecording();

  ASSERT_TRUE(c.saveFailure());
  EXPECT_EQ(c.keptJumps(), (KeptJumps{4, 0, {}}));
  EXPECT_EQ(c.totalJumps(), 0);
  EXPECT_EQ(f.settingsStore.integer("totalJumps"), 0);
  EXPECT_EQ(c.jumpCount(), 4) << "the unsaved recording's count stays on screen";
  c.toggleRecording();
  EXPECT_FALSE(c.isStarting()) << "Start waits for a choice";

  fs::rename(documents.string() + ".gone", documents);
  c.retrySave();
  EXPECT_FALSE(c.saveFailure());
  EXPECT_EQ(f.settingsStore.integer("totalJumps"), 4);
  EXPECT_EQ(c.jumpCount(), 0);
}

// The disk fills while recording: the journal's failure is known at the
// first write it could not make (the screen shows it) and logged once; the
// save that fails at the stop says how many of the jumps the journal holds,
// and the next start recovers exactly those.
TEST(Controller, AJournalCutShortByAFullDiskTellsWhatItKeepsAndTheNextStartRecoversThat) {
  Disk disk;
  ControllerFixture f;
  auto& c = *f.controller;
  f.startRecording();
  f.headphones->jump(10);
  f.scheduler.advanceBy(2.0);  // a flush: all ten on disk
  EXPECT_FALSE(c.journalFailure());
  // Room for a few samples more, not for the twenty of the next flush.
  std::optional<testing::FileSizeLimit> full;
  full.emplace(fs::file_size(journalOf(f)) + 500);
  f.headphones->jump(10);
  f.scheduler.advanceBy(2.0);
  ASSERT_TRUE(c.journalFailure()) << "known at the flush, not only at the stop";
  EXPECT_THAT(*c.journalFailure(), HasSubstr("File too large"));
  for (int flush = 0; flush < 3; ++flush) {
    f.headphones->jump(10);
    f.scheduler.advanceBy(2.0);
  }
  c.toggleRecording();  // the record does not fit either
  ASSERT_TRUE(c.saveFailure());
  EXPECT_THAT(f.log.lines(), ElementsAre(StartsWith("Failed to write the recording journal"),
                                         StartsWith("Failed to save UserRecordData")))
      << "the journal's failure once, not at every flush";
  ASSERT_TRUE(c.keptJumps());
  EXPECT_EQ(*c.keptJumps(), (KeptJumps{50, 10, journalOf(f)}));

  // The program quits with the disk still full; the next start has room.
  f.controller.reset();
  fs::copy_file(journalOf(f), disk.documents / journalOf(f).filename());
  full.reset();
  const auto recovered = disk.start();
  ASSERT_THAT(recovered, SizeIs(1));
  EXPECT_EQ(recovered[0].jumps, 10);
  EXPECT_EQ(disk.total(), 10);
}

// Room again: while recording, the flush that catches up ends the warning;
// after a failed save, a retry completes the journal first, so even when the
// record still fails, all of it is kept for the next start. Discarding the
// recording then drops its journal, adds nothing and frees Start.
TEST(Controller, WithRoomAgainTheJournalCatchesUpAndSaysSoUntilADiscardDropsIt) {
  ControllerFixture f;
  auto& c = *f.controller;
  f.startRecording();
  {
    testing::FileSizeLimit full(fs::file_size(journalOf(f)));
    f.headphones->jump(3);
    f.scheduler.advanceBy(2.0);
    ASSERT_TRUE(c.journalFailure());
  }
  f.headphones->jump(1);
  f.scheduler.advanceBy(2.0);
  EXPECT_FALSE(c.journalFailure()) << "all four are on disk now";

  testing::FileSizeLimit full(fs::file_size(journalOf(f)));
  f.headphones->jump(4);
  c.toggleRecording();
  ASSERT_TRUE(c.saveFailure());
  EXPECT_EQ(*c.keptJumps(), (KeptJumps{8, 4, journalOf(f)}));
  EXPECT_THAT(journalOf(f).string(), EndsWith(".journal")) << "its ending could not be written";

  full.lift();
  // The record still cannot be written where a folder of its name stands.
  const fs::path blocker = f.documents.path() / (formatNumber(f.scheduler.now()) + ".json");
  fs::create_directory(blocker);
  c.retrySave();
  ASSERT_TRUE(c.saveFailure());
  EXPECT_EQ(*c.keptJumps(), (KeptJumps{8, 8, journalOf(f)}));
  EXPECT_THAT(journalOf(f).string(), EndsWith(".saving"));

  c.discardRecording();
  EXPECT_FALSE(c.saveFailure() || c.keptJumps());
  EXPECT_THAT(listJournals(f.documents.path()), IsEmpty());
  EXPECT_EQ(f.settingsStore.integer("totalJumps"), 0);
  EXPECT_EQ(c.jumpCount(), 0);
  c.toggleRecording();
  EXPECT_TRUE(c.isStarting());
}

TEST(Controller, QuittingDuringTheCountdownStartsNoRecording) {
  ControllerFixture f;
  auto& c = *f.controller;
  c.toggleRecording();
  f.scheduler.advanceBy(1.5);
  c.stopForQuit();
  EXPECT_FALSE(c.isStarting());
  f.scheduler.advanceBy(10.0);
  EXPECT_FALSE(c.isRecording()) << "the countdown is gone for good";
}

}  // namespace
}  // namespace hopster
