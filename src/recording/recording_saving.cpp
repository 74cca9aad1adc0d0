// How the controller keeps a recording: its journal while it runs, and at
// Stop the save on the background worker, with its retry and its discard.
#include <algorithm>
#include <span>
#include <utility>

#include "recording/recording_commit.h"
#include "recording/recording_controller.h"
#include "records/motion_csv.h"
#include "records/number_form.h"

namespace hopster {
namespace {

constexpr double kReviewDelay = 3.0;
// How often the journal of a running recording goes to disk: a crash or
// power loss loses at most this much of the recording.
constexpr double kJournalFlushSeconds = 2.0;

}  // namespace

// A stopped recording on its way to disk. Made on the main thread at the
// stop; then only the background work touches it until its `done` is back on
// the main thread (or waitForSave has waited for it).
struct RecordingController::SaveJob {
  UserRecordData record;  // csvText filled in by the first attempt, unless `csv` holds it
  std::string stem;
  // The CSV text built while recording, when it covers every sample; the
  // record is then written around its escaped chunks.
  std::optional<MotionCsvText> csv;
  // The recording's samples, lent to the first attempt for encoding and then
  // given back to the controller.
  std::vector<MotionDataPoint> samples;
  bool samplesLent = false;
  bool encode = false;
  // Each attempt first completes the journal with its ending, until that
  // succeeds, so a retry after the disk has room again keeps the whole
  // recording for the next start even when the record still fails.
  std::shared_ptr<RecordingJournal> journal;
  std::optional<JournalEnding> ending;
  // The outcome of the last attempt.
  Status journalError;
  Status error;
};

void RecordingController::startJournal() {
  auto created = RecordingJournal::create(services_.records.documentsDirectory(),
                                          JournalHeader{startTime_, samples_.isAllowedToCount});
  journalFailureLogged_ = false;
  journalFailure_.reset();
  if (!created) {
    services_.log.line("Failed to start the recording journal: " + created.error().message);
    journalFailureLogged_ = true;
    journalFailure_ = created.error().message;
    return;
  }
  journal_ = std::move(created).value();
  journalTimer_ = services_.scheduler.scheduleRepeating(kJournalFlushSeconds,
                                                        [this](Timer&) { flushJournal(); });
}

void RecordingController::flushJournal() {
  if (!journal_) return;
  // The wait for the disk happens off the main thread; samples keep arriving
  // into the journal meanwhile.
  auto error = std::make_shared<Status>();
  background_.submit([journal = journal_, error] { *error = journal->flush(); },
                     [this, alive = std::weak_ptr<int>(alive_),
                      journal = std::weak_ptr<RecordingJournal>(journal_), error] {
                       if (alive.expired()) return;
                       // A late answer about an earlier recording's journal is old news.
                       const auto flushed = journal.lock();
                       if (flushed && flushed == journal_) journalFlushed(*error);
                     });
}

void RecordingController::journalFlushed(const Status& error) {
  if (error) {
    const bool news = journalFailure_ != error->message;
    noteJournalFailure(error->message);
    if (news) changed();
  } else if (journalFailure_) {
    // The samples it refused are on the disk now: the journal has caught up.
    journalFailure_.reset();
    changed();
  }
}

void RecordingController::noteJournalFailure(const std::string& error) {
  // One line per recording: a full disk would otherwise repeat it every flush.
  if (!journalFailureLogged_) {
    services_.log.line("Failed to write the recording journal: " + error);
    journalFailureLogged_ = true;
  }
  journalFailure_ = error;
}

void RecordingController::stopRecording() {
  services_.motionManager->stopDeviceMotionUpdates();
  stopElapsedTimer();
  if (journalTimer_) journalTimer_->invalidate();
  journalTimer_.reset();
  samples_.accelerationData.clear();
  const std::int64_t jumps = samples_.jumpCount;
  if (jumps < 1) {
    if (journal_) {
      // Removed after the flushes handed over before; nothing waits for it.
      auto error = std::make_shared<Status>();
      background_.submit([journal = std::move(journal_), error] { *error = journal->remove(); },
                         [this, alive = std::weak_ptr<int>(alive_), error] {
                           if (!alive.expired() && *error) services_.log.line((*error)->message);
                         });
    }
    journal_.reset();
    return;
  }

  const double end = services_.clock.now();
  auto job = std::make_shared<SaveJob>();
  job->record = UserRecordData{services_.uuids.next().str(),
                               startTime_,
                               end,
                               end - startTime_,
                               jumps,
                               std::string(),
                               std::nullopt};
  job->stem = formatNumber(services_.clock.now());
  if (csv_.lineCount() == samples_.motionData.size()) {
    // The text grown while recording moves into the save; a fresh, empty
    // one waits for the next recording.
    job->csv.emplace(std::move(csv_));
    csv_ = MotionCsvText();
  } else {
    // Samples that reached the trace some other way: the CSV text is made
    // from all of them in the save instead.
    job->samples = std::move(samples_.motionData);
    samples_.motionData.clear();
    job->samplesLent = true;
    job->encode = true;
  }
  if (journal_) {
    // The record's id and file name are fixed in the journal before the first
    // attempt, so a retry or a recovery after a crash writes the same file.
    job->journal = journal_;
    job->ending = JournalEnding{end, job->record.id, job->stem};
  }
  startSave(job);
}

void RecordingController::startSave(const std::shared_ptr<SaveJob>& job) {
  saving_ = job;
  const RecordStore& records = services_.records;
  background_.submit(
      [job, &records] {
        job->journalError.reset();
        if (job->ending && job->journal->stage() == JournalStage::recording) {
          job->journalError = job->journal->finish(*job->ending);
        }
        if (job->encode) {
          job->record.csvText = makeMotionCSV(job->samples);
          job->encode = false;
        }
        if (job->csv) {
          job->error = records.saveUserRecordData(job->record, job->csv->chunks(), job->stem);
        } else {
          job->error = records.saveUserRecordData(job->record, job->stem);
        }
        // Once on disk, the text is let go here: freeing a hundred megabytes
        // takes the main thread milliseconds. A failed save keeps it for a retry.
        if (!job->error) {
          std::string().swap(job->record.csvText);
          job->csv.reset();
        }
      },
      [this, alive = std::weak_ptr<int>(alive_), job] {
        if (!alive.expired()) saveEnded(job);
      });
}

void RecordingController::saveEnded(const std::shared_ptr<SaveJob>& job) {
  if (saving_ != job) return;  // already seen through by waitForSave
  saving_.reset();
  if (job->samplesLent) {
    samples_.motionData = std::move(job->samples);
    job->samples = {};
    job->samplesLent = false;
  }
  if (job->journalError) {
    noteJournalFailure(job->journalError->message);
  } else if (job->journal) {
    journalFailure_.reset();  // complete, its ending written
  }
  if (job->error) {
    saveFailure_ = job->error->message;
    keptJumps_ = keptJumpsOf(*job);
    pendingSave_ = job;
  } else {
    pendingSave_.reset();
    finishSave(*job);
    releaseJournal(std::move(job->journal));
  }
  changed();
}

void RecordingController::finishSave(const SaveJob& job) {
  const std::int64_t jumps = job.record.jumps;
  const double elapsed = job.record.timeSpent;
  const CommitResult commit = commitRecordedJumps(services_.settings, {}, journal_.get(), jumps);
  journal_.reset();
  if (commit.error) {
    services_.log.line("Failed to add the recording's jumps to the total: " +
                       commit.error->message);
  }
  totalJumps_ = commit.total ? *commit.total : saturatingAdd(totalJumps_, jumps);
  saveFailure_.reset();
  keptJumps_.reset();
  lastSaved_ =
      SavedRecording{jumps, elapsed, services_.records.documentsDirectory() / (job.stem + ".json")};
  checkTrophies(jumps, elapsed);
  if (jumps > 10) later(kReviewDelay, [this] { requestReview(); });
  samples_.jumpCount = 0;
}

KeptJumps RecordingController::keptJumpsOf(const SaveJob& job) const {
  KeptJumps kept{job.record.jumps, 0, {}};
  const RecordingJournal* journal = job.journal.get();
  if (journal == nullptr) return kept;
  // The journal holds the first samples of the recording, in order: those
  // it could write before the disk refused the rest.
  const std::size_t count = std::min(journal->keptSamples(), samples_.motionData.size());
  kept.kept =
      recountJumps(std::span(samples_.motionData).first(count), journal->header().armedAtStart);
  // A journal without jumps is discarded at the next start.
  if (kept.kept > 0) kept.journal = journal->path();
  return kept;
}

void RecordingController::releaseJournal(std::shared_ptr<RecordingJournal> journal) {
  // Closing the last descriptor of a removed journal of tens of megabytes
  // makes the file system free its blocks, which can take the main thread
  // milliseconds: the last reference is let go on the worker instead.
  if (journal)
    background_.submit([journal = std::move(journal)]() mutable { journal.reset(); }, [] {});
}

void RecordingController::waitForSave() {
  if (!saving_) return;
  background_.waitForIdle();
  const auto job = saving_;
  saveEnded(job);
}

void RecordingController::retrySave() {
  if (!pendingSave_ || saving_) return;
  saveFailure_.reset();
  keptJumps_.reset();
  startSave(pendingSave_);
  changed();
}

void RecordingController::discardRecording() {
  if (!pendingSave_ || saving_) return;
  if (journal_) {
    if (auto error = journal_->remove()) services_.log.line(error->message);
  }
  journal_.reset();
  releaseJournal(std::move(pendingSave_->journal));
  pendingSave_.reset();
  saveFailure_.reset();
  keptJumps_.reset();
  samples_.jumpCount = 0;
  changed();
}

}  // namespace hopster
