#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "analysis/recording_analysis.h"
#include "commands/record_listing.h"
#include "commands/record_stats.h"
#include "records/user_record_data.h"
#include "trophies/trophy.h"

namespace hopster {

// The documented JSON and CSV forms of the data commands.

// One object per recording, in list order: "id", "file", "dateStart",
// "dateEnd", "timeSpent", "jumps" and "speed" (jumps per second, null when
// it is not a finite number).
[[nodiscard]] nlohmann::ordered_json historyJson(const std::vector<RecordingEntry>& recordings);

// The same fields as CSV: a header row of the JSON key names, then one row
// per recording; numbers in their shortest exact form, a null speed empty.
[[nodiscard]] std::string summaryCsv(const std::vector<RecordingEntry>& recordings);

[[nodiscard]] nlohmann::ordered_json statsJson(const RecordStats& stats,
                                               const std::vector<RecordingEntry>& recordings);

// The subtitle the trophy grid shows: "Hidden Trophy" for a secret one.
[[nodiscard]] std::string shownSubtitle(const Trophy& trophy);

[[nodiscard]] nlohmann::ordered_json trophiesJson(const std::vector<Trophy>& trophies);

// One recording as `hopster show` gives it: its record, the numbers of its
// trace, and whether the trace was read only in part.
struct ShownRecording {
  const UserRecordData& record;
  const RecordingAnalysis& analysis;
  bool traceCut = false;  // only the trace's first samples were read
};

// The JSON object: "id", "dateStart", "duration", "jumps" (as stored),
// "recountedJumps", "jumpsPerMinute" (minute 0 first), "peakJumpsPerMinute"
// and "longestRun" ({"jumps", "seconds"}).
[[nodiscard]] nlohmann::ordered_json showJson(const ShownRecording& shown);

}  // namespace hopster
