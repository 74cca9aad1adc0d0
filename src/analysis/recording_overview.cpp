#include "analysis/recording_overview.h"

#include "motion_sources/motion_trace.h"
#include "records/record_file.h"

namespace hopster {

RecordingOverview overviewOf(UserRecordData record) {
  RecordingOverview overview;
  MotionTrace trace = parseMotionTrace(record.csvText);
  // The text is the largest thing held: gone first. Swapped out, as
  // assigning an empty string would keep its buffer.
  std::string().swap(record.csvText);
  overview.traceCut = trace.truncated;
  overview.analysis = analyseRecording(trace.samples, record.timeSpent);
  // The chart's times are those the detector counted on, so each jump's
  // mark lands on its peak.
  const std::vector<double> offsets = deliveryOffsets(trace.samples);
  std::vector<float> values;
  values.reserve(trace.samples.size());
  for (const MotionDataPoint& sample : trace.samples) {
    values.push_back(static_cast<float>(sample.globalAccelerationZ));
  }
  std::vector<MotionDataPoint>().swap(trace.samples);
  overview.trace = TraceOverview(offsets, std::move(values));
  overview.record = std::move(record);
  return overview;
}

Outcome<RecordingOverview> loadRecordingOverview(const std::filesystem::path& file) {
  auto record = readUserRecordFile(file);
  if (!record) return std::move(record).error();
  return overviewOf(std::move(record).value());
}

}  // namespace hopster
