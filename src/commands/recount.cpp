#include "commands/recount.h"

#include "commands/record_listing.h"
#include "motion_sources/motion_trace.h"
#include "motion_sources/replayed_motion.h"
#include "platform/announcer.h"
#include "platform/clock.h"
#include "platform/linux/sequential_uuid_source.h"
#include "recording/motion_pipeline.h"
#include "recording/recording_state.h"

namespace hopster {
namespace {

// Virtual time: the clock reads whatever the replay sets it to.
class ReplayClock final : public Clock {
 public:
  [[nodiscard]] double now() const override { return now_; }
  void set(double now) { now_ = now; }

 private:
  double now_ = 0.0;
};

}  // namespace

std::int64_t recountJumps(const std::vector<MotionDataPoint>& samples) {
  RecordingState state;  // armed, as a fresh recording starts
  ReplayClock clock;
  SequentialUuidSource uuids;
  SilentAnnouncer announcer;
  MotionPipeline pipeline(state, clock, uuids, announcer);
  const std::vector<double> offsets = deliveryOffsets(samples);
  const double start = samples.empty() ? 0.0 : samples.front().timeStamp;
  for (std::size_t i = 0; i < samples.size(); ++i) {
    clock.set(start + offsets[i]);
    pipeline.handleMotionUpdate(replayedMotion(samples[i]), std::nullopt);
    // The trace is only counted here; keeping it again would double its memory.
    state.motionData.clear();
  }
  return state.jumpCount;
}

Outcome<Recount> recountFile(const std::filesystem::path& path) {
  Recount recount;
  std::optional<MotionTrace> trace;
  if (looksLikeRecordFile(path)) {
    auto record = readRecordFile(path);
    if (!record) return std::move(record).error();
    recount.stored = record->jumps;
    trace = parseMotionTrace(record->csvText);
  } else {
    std::string error;
    trace = loadMotionTrace(path, error);
    // The motion reader names a file of another kind "not a …" too.
    if (!trace) {
      return Failure{error.starts_with("not a ") ? FailureKind::notARecord : FailureKind::other,
                     error};
    }
  }
  recount.recounted = recountJumps(trace->samples);
  recount.skippedLines = trace->skippedLines;
  recount.truncated = trace->truncated;
  return recount;
}

std::string recountLine(const std::string& file, const Recount& recount) {
  std::string line = file + " stored " +
                     (recount.stored ? std::to_string(*recount.stored) : std::string("-")) +
                     " recounted " + std::to_string(recount.recounted);
  if (!recount.stored) line += " (not a record: no stored count to compare)";
  if (recount.truncated) line += " (only the first samples were read)";
  return line;
}

}  // namespace hopster
