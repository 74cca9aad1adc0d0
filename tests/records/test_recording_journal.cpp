#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "records/file_manager_singleton.h"
#include "records/recording_journal.h"
#include "support/temp_dir.h"

namespace hopster {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::SizeIs;

MotionDataPoint sample(double t, double z) {
  MotionDataPoint p;
  p.timeStamp = t;
  p.globalAccelerationZ = z;
  p.accelerationZ = z;
  return p;
}

std::unique_ptr<RecordingJournal> created(const fs::path& folder, JournalHeader header = {}) {
  std::string error;
  auto journal = RecordingJournal::create(folder, header, error);
  EXPECT_TRUE(journal) << error;
  return journal;
}

std::unique_ptr<RecordingJournal> adopted(const fs::path& path) {
  std::string error;
  auto journal = RecordingJournal::adopt(path, error);
  EXPECT_TRUE(journal) << error;
  return journal;
}

TEST(RecordingJournal, KeepsFlushedSamplesHeaderAndEndingAcrossAReopen) {
  testing::TempDir dir;
  auto journal = created(dir.path(), JournalHeader{1764942759.5, false});
  journal->append(sample(1.0, 0.9));
  journal->append(sample(2.0, -0.5));
  ASSERT_FALSE(journal->flush());
  journal->append(sample(3.0, 1.5));
  ASSERT_FALSE(journal->finish(JournalEnding{9.5, "ID", "1764942769.5"}));
  EXPECT_EQ(journal->stage(), JournalStage::saving);
  const fs::path path = journal->path();
  EXPECT_FALSE(path.filename().string().ends_with(".json"));
  journal.reset();  // closed: the lock is free again

  const auto back = adopted(path);
  EXPECT_EQ(back->header().startTime, 1764942759.5);
  EXPECT_FALSE(back->header().armedAtStart);
  ASSERT_THAT(back->samples(), SizeIs(3));
  EXPECT_EQ(back->samples()[2].globalAccelerationZ, 1.5);
  EXPECT_EQ(back->ending(), (JournalEnding{9.5, "ID", "1764942769.5"}));
}

TEST(RecordingJournal, ALiveJournalIsNotAdoptedByAnyoneElse) {
  testing::TempDir dir;
  const auto live = created(dir.path());
  std::string error;
  EXPECT_FALSE(RecordingJournal::adopt(live->path(), error));
  EXPECT_THAT(error, IsEmpty());  // not a failure: its owner is alive
}

// A crash mid-write leaves a torn or garbled tail: everything before it
// still counts, nothing after it is made up.
TEST(RecordingJournal, ATornOrGarbledTailLosesOnlyThatTail) {
  for (const std::string& tail :
       {std::string("\x53\0\0\0\x80\0\0\0", 8), std::string(300, '\0'), std::string(200, '\x7f')}) {
    testing::TempDir dir;
    auto journal = created(dir.path());
    for (int i = 0; i < 5; ++i) journal->append(sample(i, 0.1 * i));
    ASSERT_FALSE(journal->flush());
    const fs::path path = journal->path();
    journal.reset();
    std::ofstream(path, std::ios::binary | std::ios::app) << tail;

    const auto back = adopted(path);
    EXPECT_THAT(back->samples(), SizeIs(5));
  }
}

TEST(RecordingJournal, StagesAreFileNamesThatNeverLookLikeRecordsOrTemporaryFiles) {
  testing::TempDir dir;
  auto journal = created(dir.path());
  ASSERT_FALSE(journal->finish(JournalEnding{1.0, "ID", "1.0"}));
  ASSERT_FALSE(journal->markCommitting(dir.path() / ".settings.json.AbCdEf.tmp"));
  EXPECT_EQ(journal->committingThrough(), ".settings.json.AbCdEf.tmp");
  const std::string name = journal->path().filename().string();
  EXPECT_FALSE(name.ends_with(".json") || name.ends_with(".tmp")) << name;
  EXPECT_THAT(listJournals(dir.path()), ElementsAre(journal->path()));
  journal.reset();

  const auto back = adopted(listJournals(dir.path()).front());
  EXPECT_EQ(back->stage(), JournalStage::committing);
  EXPECT_EQ(back->committingThrough(), ".settings.json.AbCdEf.tmp");
  ASSERT_FALSE(back->remove());
  EXPECT_THAT(listJournals(dir.path()), IsEmpty());
}

TEST(RecordingJournal, AFifoWithAJournalNameIsRefusedWithoutBlocking) {
  testing::TempDir dir;
  const fs::path fifo = dir.path() / ".hopster-recording-1-1.journal";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::string error;
  EXPECT_FALSE(RecordingJournal::adopt(fifo, error));
  EXPECT_THAT(error, HasSubstr("FIFO"));
}

TEST(RecordStore, AFifoNamedLikeARecordIsSkippedAtOnceWithTheRealReason) {
  testing::TempDir dir;
  MemoryLog log;
  ASSERT_EQ(::mkfifo((dir.path() / "b.json").c_str(), 0600), 0);
  EXPECT_THAT(FileManagerSingleton(dir.path(), log).loadAllUserRecordData(), IsEmpty());
  ASSERT_THAT(log.lines(), SizeIs(2));
  EXPECT_THAT(log.lines()[0], HasSubstr("b.json: not a regular file (a FIFO)"));
}

TEST(RecordStore, StaleTemporaryFilesOfInterruptedSavesAreRemovedAndNothingElse) {
  testing::TempDir dir;
  MemoryLog log;
  const auto make = [&](const std::string& name, double age) {
    std::ofstream(dir.path() / name) << "x";
    const double now = 1'000'000.0;
    const timespec times[2] = {{static_cast<time_t>(now - age), 0},
                               {static_cast<time_t>(now - age), 0}};
    ::utimensat(AT_FDCWD, (dir.path() / name).c_str(), times, 0);
  };
  make(".1764942759.5.json.AbC123.tmp", 120);   // stale: removed
  make(".1764942759.6.json.XyZ789.tmp", 10);    // a save under way: kept
  make("notes.tmp", 120);                       // not ours: kept
  make(".hopster-recording-1-1.journal", 120);  // a journal: kept
  FileManagerSingleton(dir.path(), log).removeStaleTemporaryFiles(1'000'000.0);

  std::vector<std::string> left;
  for (const auto& entry : fs::directory_iterator(dir.path())) {
    left.push_back(entry.path().filename().string());
  }
  std::sort(left.begin(), left.end());
  EXPECT_THAT(left, ElementsAre(".1764942759.6.json.XyZ789.tmp", ".hopster-recording-1-1.journal",
                                "notes.tmp"));
  ASSERT_THAT(log.lines(), SizeIs(1));
  EXPECT_THAT(log.lines()[0], HasSubstr("Removed 1 unfinished temporary files"));
}

}  // namespace
}  // namespace hopster
