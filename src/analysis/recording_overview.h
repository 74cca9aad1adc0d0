#pragma once

#include <filesystem>

#include "analysis/recording_analysis.h"
#include "analysis/trace_overview.h"
#include "platform/failure.h"
#include "records/user_record_data.h"

namespace hopster {

// Everything the recording screen shows of one saved recording, without its
// CSV text or samples: the record's own fields, the numbers of its trace,
// and its vertical acceleration (the stored world-frame z, in g, against
// seconds after the first sample) ready to draw at any zoom.
struct RecordingOverview {
  UserRecordData record;  // csvText left empty
  RecordingAnalysis analysis;
  TraceOverview trace;
  bool traceCut = false;  // only the trace's first samples were read
};

// Reads the record file at `file` and works it out; the CSV text and the
// samples are let go before it returns, so what stays is a few bytes a
// sample. Fails as readUserRecordFile does.
[[nodiscard]] Outcome<RecordingOverview> loadRecordingOverview(const std::filesystem::path& file);

// The same from a record already in memory (its csvText is read, not kept).
[[nodiscard]] RecordingOverview overviewOf(UserRecordData record);

}  // namespace hopster
