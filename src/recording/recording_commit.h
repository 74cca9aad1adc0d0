#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/key_value_store.h"
#include "platform/log.h"
#include "platform/uuid_source.h"
#include "records/record_store.h"
#include "records/recording_journal.h"
#include "trophies/trophy_manager.h"

namespace hopster {

// a + b, held at the limits instead of overflowing: a stored total is data
// from disk, and no value of it may crash a save.
[[nodiscard]] std::int64_t saturatingAdd(std::int64_t a, std::int64_t b);

// The stored "totalJumps" of a settings document: an integer, or a
// whole-number float as some writers store it; 0 for anything else.
[[nodiscard]] std::int64_t storedTotalJumps(const nlohmann::json& document);

// Adds a saved recording's jumps to the stored "totalJumps" as one locked
// read-change-write of the settings. With a journal, the addition happens
// exactly once across a kill at any moment: the journal is renamed to name
// the settings file's temporary file just before that file replaces the
// settings, and deleted after. So a journal found committing means: if its
// temporary file is still there, the settings were never replaced; if not,
// they were. Returns the new total, or the reason it could not be stored
// (the journal then stays in its saving stage, for a later attempt).
struct CommitResult {
  std::optional<std::int64_t> total;
  Status error;
};
[[nodiscard]] CommitResult commitRecordedJumps(KeyValueStore& settings,
                                               const std::filesystem::path& settingsFolder,
                                               RecordingJournal* journal, std::int64_t jumps);

// The jumps in journaled samples, counted as the next start's recovery
// counts them: through the jump detector, from the armed state the recording
// began with.
[[nodiscard]] std::int64_t recountJumps(std::span<const MotionDataPoint> samples,
                                        bool armedAtStart);

// What recovering abandoned recordings works with.
struct RecoveryServices {
  KeyValueStore& settings;
  std::filesystem::path settingsFolder;  // where the settings file and its temporary files lie
  TrophyManager& trophies;
  const RecordStore& records;
  const Clock& clock;
  UuidSource& uuids;
  Log& log;
};

// A record made from an abandoned journal.
struct RecoveredRecording {
  std::filesystem::path file;  // the record file
  std::int64_t jumps = 0;
};

// Turns every journal left in the records folder by a run that crashed,
// was killed or could not save (and whose lock is therefore free) into a
// normal record: its jumps recounted from the journaled samples (see
// recountJumps); the record saved; its jumps added to the total once; its
// trophies awarded. A recording without jumps is discarded, as a stop
// without jumps saves nothing. Each journal gets one log line. Returns the
// records saved, oldest recording first.
std::vector<RecoveredRecording> recoverAbandonedRecordings(const RecoveryServices& services);

}  // namespace hopster
