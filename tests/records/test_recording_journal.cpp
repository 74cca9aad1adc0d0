// The journal kept while a recording runs: what a restart reads back from
// it, whatever the crash or the full disk left.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "recording/file_size_limit.h"
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
  return {.timeStamp = t, .accelerationZ = z, .globalAccelerationZ = z};
}

std::unique_ptr<RecordingJournal> created(const fs::path& folder, JournalHeader header = {}) {
  auto journal = RecordingJournal::create(folder, header);
  EXPECT_TRUE(journal) << journal.error().message;
  return journal ? std::move(journal).value() : nullptr;
}

std::unique_ptr<RecordingJournal> adopted(const fs::path& path) {
  auto journal = RecordingJournal::adopt(path);
  EXPECT_TRUE(journal) << journal.error().message;
  return journal ? std::move(journal).value() : nullptr;
}

// Closes the journal, freeing its lock, and adopts it as the next start would.
std::unique_ptr<RecordingJournal> reopened(std::unique_ptr<RecordingJournal> journal) {
  const fs::path path = journal->path();
  journal.reset();
  return adopted(path);
}

// Each stage keeps a name that never looks like a record or a temporary
// file, and a reopen reads back the samples flushed, the header, the ending
// and the stage.
TEST(RecordingJournal, KeepsSamplesHeaderEndingAndStageAcrossAReopenUnderNamesOfNoOtherKind) {
  testing::TempDir dir;
  auto journal = created(dir.path(), JournalHeader{1764942759.5, false});
  journal->append(sample(1.0, 0.9));
  journal->append(sample(2.0, -0.5));
  ASSERT_FALSE(journal->flush());
  journal->append(sample(3.0, 1.5));
  ASSERT_FALSE(journal->finish(JournalEnding{9.5, "ID", "1764942769.5"}));
  EXPECT_EQ(journal->stage(), JournalStage::saving);
  const std::string saving = journal->path().filename().string();
  ASSERT_FALSE(journal->markCommitting(dir.path() / ".settings.json.AbCdEf.tmp"));
  EXPECT_EQ(journal->committingThrough(), ".settings.json.AbCdEf.tmp");
  for (const std::string& name : {saving, journal->path().filename().string()}) {
    EXPECT_FALSE(name.ends_with(".json") || name.ends_with(".tmp")) << name;
  }
  EXPECT_THAT(listJournals(dir.path()), ElementsAre(journal->path()));

  const auto back = reopened(std::move(journal));
  EXPECT_EQ(back->header().startTime, 1764942759.5);
  EXPECT_FALSE(back->header().armedAtStart);
  ASSERT_THAT(back->samples(), SizeIs(3));
  EXPECT_EQ(back->samples()[2].globalAccelerationZ, 1.5);
  EXPECT_EQ(back->ending(), (JournalEnding{9.5, "ID", "1764942769.5"}));
  EXPECT_EQ(back->stage(), JournalStage::committing);
  EXPECT_EQ(back->committingThrough(), ".settings.json.AbCdEf.tmp");
  ASSERT_FALSE(back->remove());
  EXPECT_THAT(listJournals(dir.path()), IsEmpty());
}

// A live journal is left to its owner without a word; a FIFO named like a
// journal is refused with the reason, without waiting for a writer.
TEST(RecordingJournal, AdoptLeavesALiveJournalAloneAndRefusesAFifo) {
  testing::TempDir dir;
  const auto live = created(dir.path());
  const fs::path fifo = dir.path() / ".hopster-recording-1-1.journal";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  // Not a failure to report: its owner is alive.
  EXPECT_EQ(RecordingJournal::adopt(live->path()).error().kind, FailureKind::inUse);
  const auto special = RecordingJournal::adopt(fifo);
  EXPECT_EQ(special.error().kind, FailureKind::notRegularFile);
  EXPECT_THAT(special.error().message, HasSubstr("FIFO"));
}

// A crash mid-write leaves a torn or garbled tail: everything before it
// still counts, nothing after it is made up. The ending that recovery then
// writes is read back too, or a kill before its record is saved would make
// the next start save the recording a second time, under another name.
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

    auto back = adopted(path);
    EXPECT_THAT(back->samples(), SizeIs(5));
    EXPECT_EQ(back->keptSamples(), 5u);
    ASSERT_FALSE(back->finish(JournalEnding{9.5, "ID", "1.5"}));
    const auto again = reopened(std::move(back));
    EXPECT_THAT(again->samples(), SizeIs(5));
    EXPECT_EQ(again->ending(), (JournalEnding{9.5, "ID", "1.5"}));
  }
}

// The disk fills part way through a flush (at the start of its chunk, in the
// chunk's head, in its samples, one byte short): the journal keeps exactly
// the samples it says it keeps, and once the disk has room again the ones it
// refused follow in chunks that are read back, not lost behind a torn one.
TEST(RecordingJournal, AFlushCutShortByAFullDiskKeepsWhatItCountsAndCatchesUpLater) {
  constexpr std::size_t kChunk = 8 + 10 * sizeof(MotionDataPoint) + 8;  // ten samples
  for (const std::size_t room : {std::size_t{0}, std::size_t{5}, kChunk / 2, kChunk - 1}) {
    SCOPED_TRACE(room);
    testing::TempDir dir;
    fs::create_directory(dir.path() / "copy");
    auto journal = created(dir.path());
    for (int i = 0; i < 10; ++i) journal->append(sample(i, 1.0));
    ASSERT_FALSE(journal->flush());
    {
      testing::FileSizeLimit full(fs::file_size(journal->path()) + room);
      for (int i = 10; i < 20; ++i) journal->append(sample(i, 2.0));
      EXPECT_EQ(journal->flush().value_or(Failure{}).kind, FailureKind::tooLarge);
      EXPECT_TRUE(journal->flush()) << "still full";
      EXPECT_EQ(journal->keptSamples(), 10u);
    }
    // What a start would read now, from a copy: the journal's owner holds the lock.
    const fs::path copy = dir.path() / "copy" / journal->path().filename();
    fs::copy_file(journal->path(), copy);
    EXPECT_THAT(adopted(copy)->samples(), SizeIs(10));

    for (int i = 20; i < 25; ++i) journal->append(sample(i, 3.0));
    ASSERT_FALSE(journal->flush());
    EXPECT_EQ(journal->keptSamples(), 25u);
    const auto back = reopened(std::move(journal));
    ASSERT_THAT(back->samples(), SizeIs(25));
    for (std::size_t i = 0; i < 25; ++i)
      EXPECT_EQ(back->samples()[i].timeStamp, static_cast<double>(i));
  }
}

// A backlog (a flush that comes late, or samples the disk refused before)
// goes in chunks of a bounded size, so a disk that fills part way through it
// keeps the chunks that fitted, and a start reads back exactly those.
TEST(RecordingJournal, ABacklogThatFillsTheDiskKeepsTheChunksThatFitted) {
  testing::TempDir dir;
  auto journal = created(dir.path());
  for (int i = 0; i < 1000; ++i) journal->append(sample(i, 1.0));
  {
    testing::FileSizeLimit full(fs::file_size(journal->path()) + 300 * sizeof(MotionDataPoint));
    EXPECT_TRUE(journal->flush());
  }
  const std::size_t kept = journal->keptSamples();
  EXPECT_GT(kept, 0u);
  EXPECT_LT(kept, 300u);
  const auto back = reopened(std::move(journal));  // the run ends with the rest unwritten
  ASSERT_EQ(back->samples().size(), kept);
  EXPECT_EQ(back->samples().back().timeStamp, static_cast<double>(kept - 1));
}
}  // namespace
}  // namespace hopster
