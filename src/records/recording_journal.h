#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "motion/motion_data_point.h"
#include "platform/failure.h"
#include "platform/linux/posix_io.h"

namespace hopster {

// What a recount of a journaled recording needs besides its samples.
struct JournalHeader {
  double startTime = 0.0;    // wall clock when the recording began, s since 1970
  bool armedAtStart = true;  // whether the jump detector was armed at that moment
};

// How a stopped recording is to be saved, fixed before the first attempt so
// that every later attempt (a retry, or a recovery after a crash) writes the
// very same record file.
struct JournalEnding {
  double dateEnd = 0.0;
  std::string id;    // the record's id
  std::string stem;  // the record file's name without ".json"

  bool operator==(const JournalEnding&) const = default;
};

// Where a journal is on its way from a running recording to a saved record.
// The stage is the file name's ending, so a rename moves it on atomically.
enum class JournalStage {
  recording,   // ".journal": samples still coming in, or a run that died while recording
  saving,      // ".saving": stopped, its ending fixed; the record file may not exist yet
  committing,  // ".committing[TMP]": the record is saved; its jumps go into the total
               // through the settings file's temporary file TMP
};

// The samples of a recording, appended to a file beside the records while
// the recording runs, so that a crash or power loss loses at most the samples
// since the last flush. The file ("." + name, never "*.json" nor "*.tmp") is
// locked with flock for as long as its owner holds it open, so no other
// process mistakes a live recording for an abandoned one.
//
// Layout: a 32-byte header ("HOPJRNL1", start time, armed flag, checksum),
// then chunks, each a tag, a length and a checksum over both and the
// payload: sample chunks ('S', samples as sixteen native doubles each) and at
// most one ending chunk ('E'). A chunk torn by a crash, or one whose checksum
// fails, ends the readable part.
//
// A write that fails part way (a full disk) is cut off again before anything
// else is written, so every chunk written later still follows the readable
// part: what keptSamples() counts is exactly what a later adopt() reads.
class RecordingJournal {
 public:
  // Creates and locks a new journal in `folder` for a recording that began
  // now; or why it could not.
  [[nodiscard]] static Outcome<std::unique_ptr<RecordingJournal>> create(
      const std::filesystem::path& folder, const JournalHeader& header);

  // Opens an existing journal, takes its lock without waiting and reads it
  // whole. Fails with inUse when another process holds the lock (its
  // recording is live), or with the reason when it cannot be read.
  [[nodiscard]] static Outcome<std::unique_ptr<RecordingJournal>> adopt(
      const std::filesystem::path& path);

  // Closes the file and so releases the lock; the file stays.
  ~RecordingJournal();
  RecordingJournal(const RecordingJournal&) = delete;
  RecordingJournal& operator=(const RecordingJournal&) = delete;

  // Keeps `sample` until the next flush. May run while another thread
  // flushes; everything else is for one thread at a time.
  void append(const MotionDataPoint& sample) {
    std::lock_guard lock(pendingMutex_);
    pending_.push_back(sample);
  }
  // Writes the samples appended since the last flush (in chunks of a bounded
  // size) and waits until they are on the disk. Those the disk refused stay
  // for the next flush, so the journal catches up once it has room again.
  [[nodiscard]] Status flush();
  // Flushes, records how the recording is to be saved and moves the journal
  // to the saving stage.
  [[nodiscard]] Status finish(const JournalEnding& ending);
  // Moves a saving journal to the committing stage, naming the temporary
  // settings file that will carry its jumps into the total.
  [[nodiscard]] Status markCommitting(const std::filesystem::path& settingsTemporary);
  // Moves a committing journal back to the saving stage (the commit failed).
  [[nodiscard]] Status unmarkCommitting();
  // Deletes the journal: its recording is saved and counted, or discarded.
  [[nodiscard]] Status remove();

  [[nodiscard]] const std::filesystem::path& path() const { return path_; }
  [[nodiscard]] JournalStage stage() const { return stage_; }
  [[nodiscard]] const JournalHeader& header() const { return header_; }
  [[nodiscard]] const std::optional<JournalEnding>& ending() const { return ending_; }
  // The file name of the temporary settings file of a committing journal.
  [[nodiscard]] const std::string& committingThrough() const { return committingThrough_; }
  // The samples read back by adopt(); empty for a journal made by create().
  [[nodiscard]] const std::vector<MotionDataPoint>& samples() const { return samples_; }
  // How many samples are on the disk in the readable part, the first ones
  // appended: what an adopt() would read back now. May be read while another
  // thread flushes.
  [[nodiscard]] std::size_t keptSamples() const { return keptSamples_.load(); }

 private:
  RecordingJournal(UniqueFd fd, std::filesystem::path path);
  // Appends one chunk per payload after the readable part and waits until
  // they are on the disk. `kept` tells how many of them are: all, or on a
  // failure those written whole before it (when the disk took them).
  [[nodiscard]] Status writeChunks(std::uint32_t tag, std::span<const std::string_view> payloads,
                                   std::size_t& kept);
  [[nodiscard]] Status moveTo(const std::filesystem::path& target, JournalStage stage);
  // Reads the header and the readable chunks; fails with the system's error,
  // or malformed for a file that is no journal or whose header is damaged.
  [[nodiscard]] Status readAll();
  // Cuts the file back to its readable part (keptBytes_) after a failed
  // write; returns the error number, or 0.
  [[nodiscard]] int cutBack();

  UniqueFd fd_;
  std::filesystem::path path_;
  std::string base_;  // the name without its stage ending
  JournalStage stage_ = JournalStage::recording;
  JournalHeader header_;
  std::optional<JournalEnding> ending_;
  std::string committingThrough_;
  std::mutex pendingMutex_;  // guards pending_ only
  std::vector<MotionDataPoint> pending_;
  std::vector<MotionDataPoint> samples_;
  // The size of the readable part: the header and the whole chunks after it.
  std::uint64_t keptBytes_ = 0;
  // Bytes of a failed write may lie past keptBytes_ and must go before the
  // next chunk is written.
  bool tornTail_ = false;
  std::atomic<std::size_t> keptSamples_ = 0;
};

// Whether `fileName` names a journal, in any stage.
[[nodiscard]] bool isJournalFileName(std::string_view fileName);

// The journals in `folder`, in name order (so the oldest recording first).
[[nodiscard]] std::vector<std::filesystem::path> listJournals(const std::filesystem::path& folder);

}  // namespace hopster
