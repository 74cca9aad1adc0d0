#include "recording/recording_commit.h"

#include <unistd.h>

#include <cmath>
#include <limits>

#include <nlohmann/json.hpp>

#include "platform/announcer.h"
#include "platform/linux/sequential_uuid_source.h"
#include "platform/linux/system_clock.h"
#include "recording/motion_pipeline.h"
#include "records/motion_csv.h"
#include "records/number_form.h"
#include "trophies/trophy_rules.h"

namespace hopster {
namespace {

constexpr std::string_view kTotalJumpsKey = "totalJumps";

UserRecordData recordOf(const RecordingJournal& journal, const JournalEnding& ending,
                        std::int64_t jumps) {
  const double start = journal.header().startTime;
  return UserRecordData{ending.id,      start,
                        ending.dateEnd, ending.dateEnd - start,
                        jumps,          makeMotionCSV(journal.samples()),
                        std::nullopt};
}

// One abandoned journal, taken to its end. Returns the record saved, if any.
std::optional<RecoveredRecording> recover(RecordingJournal& journal,
                                          const RecoveryServices& services) {
  Log& log = services.log;
  const std::string name = journal.path().filename().string();
  const std::int64_t jumps = recountJumps(journal.samples(), journal.header().armedAtStart);
  if (jumps < 1) {
    if (auto error = journal.remove()) {
      log.line("Failed to discard recording journal " + name + ": " + error->message);
    } else {
      log.line("Discarded recording journal " + name + ": it holds no jumps.");
    }
    return std::nullopt;
  }

  if (journal.stage() == JournalStage::recording || !journal.ending()) {
    // The run died while recording: it ends with its last sample.
    const double end =
        journal.samples().empty() ? journal.header().startTime : journal.samples().back().timeStamp;
    const JournalEnding ending{end, services.uuids.next().str(),
                               formatNumber(services.clock.now())};
    if (auto error = journal.finish(ending)) {
      log.line("Failed to recover recording journal " + name + ": " + error->message);
      return std::nullopt;
    }
  }
  const JournalEnding ending = *journal.ending();
  const UserRecordData record = recordOf(journal, ending, jumps);
  if (journal.stage() == JournalStage::saving) {
    // Saved under the name fixed at the stop, so a save repeated after a
    // kill replaces the same file instead of adding a second one.
    if (auto error = services.records.saveUserRecordData(record, ending.stem)) {
      log.line("Failed to recover recording journal " + name + "; it is kept for the next start.");
      return std::nullopt;
    }
  }
  const CommitResult commit =
      commitRecordedJumps(services.settings, services.settingsFolder, &journal, jumps);
  if (commit.error) {
    log.line("Failed to add the recovered jumps of " + name +
             " to the total: " + commit.error->message);
    return std::nullopt;
  }
  checkTrophies(services.trophies, RecordingOutcome{jumps, record.timeSpent,
                                                    services.settings.integer(kTotalJumpsKey)});
  log.line("Recovered a recording of " + std::to_string(jumps) + " jumps from " + name + " as " +
           ending.stem + ".json.");
  return RecoveredRecording{services.records.documentsDirectory() / (ending.stem + ".json"), jumps};
}

}  // namespace

std::int64_t recountJumps(std::span<const MotionDataPoint> samples, bool armedAtStart) {
  RecordingState state;
  state.isAllowedToCount = armedAtStart;
  SystemClock clock;
  SequentialUuidSource uuids;
  SilentAnnouncer announcer;
  MotionPipeline detector(state, clock, uuids, announcer);
  for (const MotionDataPoint& sample : samples) {
    detector.detectJump(sample.globalAccelerationZ, MotionPipeline::kJumpThreshold);
  }
  return state.jumpCount;
}

std::int64_t saturatingAdd(std::int64_t a, std::int64_t b) {
  std::int64_t sum = 0;
  if (__builtin_add_overflow(a, b, &sum)) {
    return b > 0 ? std::numeric_limits<std::int64_t>::max()
                 : std::numeric_limits<std::int64_t>::min();
  }
  return sum;
}

std::int64_t storedTotalJumps(const nlohmann::json& document) {
  const auto found = document.find(kTotalJumpsKey);
  if (found == document.end()) return 0;
  if (found->is_number_unsigned()) {
    const auto value = found->get<std::uint64_t>();
    return value > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())
               ? std::numeric_limits<std::int64_t>::max()
               : static_cast<std::int64_t>(value);
  }
  if (found->is_number_integer()) return found->get<std::int64_t>();
  if (found->is_number_float()) {
    const double value = found->get<double>();
    constexpr double kLimit = 9.2e18;
    if (std::isfinite(value) && std::trunc(value) == value && std::fabs(value) < kLimit) {
      return static_cast<std::int64_t>(value);
    }
  }
  return 0;
}

CommitResult commitRecordedJumps(KeyValueStore& settings,
                                 const std::filesystem::path& settingsFolder,
                                 RecordingJournal* journal, std::int64_t jumps) {
  CommitResult result;
  if (journal != nullptr && journal->stage() == JournalStage::committing &&
      settingsFolder.empty()) {
    result.error = Failure{FailureKind::other,
                           "the settings folder is not known, so an interrupted commit cannot be "
                           "judged"};
    return result;
  }
  bool alreadyCommitted = false;
  std::int64_t total = 0;
  const auto change = [&](nlohmann::json& document) {
    if (journal != nullptr && journal->stage() == JournalStage::committing) {
      // An earlier attempt was cut short; its temporary file tells how far it came.
      const auto temporary = settingsFolder / journal->committingThrough();
      std::error_code ignored;
      if (journal->committingThrough().empty() ||
          !std::filesystem::exists(std::filesystem::symlink_status(temporary, ignored))) {
        alreadyCommitted = true;
        return;
      }
      ::unlink(temporary.c_str());
    }
    total = saturatingAdd(storedTotalJumps(document), jumps);
    document[std::string(kTotalJumpsKey)] = total;
  };
  const auto markJournal = [journal](const std::filesystem::path& temporary) -> Status {
    if (journal == nullptr) return std::nullopt;
    return journal->markCommitting(temporary);
  };

  if (auto error = settings.update(change, markJournal)) {
    result.error = error;
    if (journal != nullptr && journal->stage() == JournalStage::committing) {
      (void)journal->unmarkCommitting();
    }
    return result;
  }
  result.total = alreadyCommitted ? settings.integer(kTotalJumpsKey) : total;
  if (journal != nullptr) {
    if (auto error = journal->remove()) result.error = error;
  }
  return result;
}

std::vector<RecoveredRecording> recoverAbandonedRecordings(const RecoveryServices& services) {
  std::vector<RecoveredRecording> saved;
  for (const auto& path : listJournals(services.records.documentsDirectory())) {
    auto journal = RecordingJournal::adopt(path);
    if (!journal) {
      // Live in another process (its owner saves it), or unreadable: left as it is.
      if (journal.error().kind != FailureKind::inUse) {
        services.log.line("Failed to read recording journal " + path.filename().string() + ": " +
                          journal.error().message);
      }
      continue;
    }
    if (auto record = recover(**journal, services)) saved.push_back(std::move(*record));
  }
  return saved;
}

}  // namespace hopster
