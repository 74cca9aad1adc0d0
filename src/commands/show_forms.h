#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "analysis/recording_analysis.h"
#include "platform/calendar.h"
#include "records/user_record_data.h"

namespace hopster {

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

// For a person: the summary as label and value lines, then the jumps per
// minute, as bars on a terminal (`aligned`) and as "minute N" rows when
// piped, tab-separated like the other commands' plain output.
[[nodiscard]] std::string showText(const ShownRecording& shown, const Calendar& calendar,
                                   bool aligned);

}  // namespace hopster
