#include "analysis/recording_analysis.h"

#include <algorithm>
#include <cmath>

#include "motion_sources/motion_trace.h"
#include "motion_sources/replayed_motion.h"
#include "platform/announcer.h"
#include "platform/clock.h"
#include "platform/linux/sequential_uuid_source.h"
#include "recording/motion_pipeline.h"
#include "recording/recording_state.h"
#include "records/history_format.h"

namespace hopster {
namespace {

constexpr double kMinute = 60.0;
// A stored duration past a week is damage, not a session: its minutes are
// not made, so a wild number cannot ask for gigabytes of empty minutes.
constexpr double kLongestSession = 7.0 * 24.0 * 60.0 * kMinute;

// Virtual time: the clock reads whatever the replay sets it to.
class ReplayClock final : public Clock {
 public:
  [[nodiscard]] double now() const override { return now_; }
  void set(double now) { now_ = now; }

 private:
  double now_ = 0.0;
};

std::size_t minuteOf(double seconds) {
  return seconds > 0.0 ? static_cast<std::size_t>(std::floor(seconds / kMinute)) : 0;
}

std::vector<std::int64_t> perMinute(const std::vector<double>& jumpTimes, double duration) {
  std::size_t minutes = 0;
  if (std::isfinite(duration) && duration > 0.0) {
    minutes = static_cast<std::size_t>(std::ceil(std::min(duration, kLongestSession) / kMinute));
  }
  if (!jumpTimes.empty()) minutes = std::max(minutes, minuteOf(jumpTimes.back()) + 1);
  std::vector<std::int64_t> counts(minutes, 0);
  for (const double time : jumpTimes) ++counts[minuteOf(time)];
  return counts;
}

double median(std::vector<double> values) {
  const std::size_t middle = values.size() / 2;
  std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(middle),
                   values.end());
  const double upper = values[middle];
  if (values.size() % 2 == 1) return upper;
  const double lower =
      *std::max_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(middle));
  return (lower + upper) / 2.0;
}

LongestRun longestRunOf(const std::vector<double>& jumpTimes) {
  if (jumpTimes.size() < 2) {
    return {static_cast<std::int64_t>(jumpTimes.size()), 0.0};
  }
  std::vector<double> gaps;
  gaps.reserve(jumpTimes.size() - 1);
  for (std::size_t i = 1; i < jumpTimes.size(); ++i)
    gaps.push_back(jumpTimes[i] - jumpTimes[i - 1]);
  const double allowed = 2.0 * median(gaps);
  LongestRun best{1, 0.0};
  std::size_t first = 0;
  for (std::size_t i = 1; i <= jumpTimes.size(); ++i) {
    if (i < jumpTimes.size() && gaps[i - 1] <= allowed) continue;
    const auto jumps = static_cast<std::int64_t>(i - first);
    if (jumps > best.jumps) best = {jumps, jumpTimes[i - 1] - jumpTimes[first]};
    first = i;
  }
  return best;
}

}  // namespace

std::vector<double> countedJumpTimes(const std::vector<MotionDataPoint>& samples) {
  return countedJumpTimes(samples, deliveryOffsets(samples));
}

std::vector<double> countedJumpTimes(const std::vector<MotionDataPoint>& samples,
                                     const std::vector<double>& offsets) {
  RecordingState state;  // armed, as a fresh recording starts
  ReplayClock clock;
  SequentialUuidSource uuids;
  SilentAnnouncer announcer;
  MotionPipeline pipeline(state, clock, uuids, announcer);
  const double start = samples.empty() ? 0.0 : samples.front().timeStamp;
  std::vector<double> times;
  for (std::size_t i = 0; i < samples.size(); ++i) {
    clock.set(start + offsets[i]);
    const std::int64_t before = state.jumpCount;
    pipeline.handleMotionUpdate(replayedMotion(samples[i]), std::nullopt);
    if (state.jumpCount != before) times.push_back(offsets[i]);
    // The trace is only counted here; keeping it again would double its memory.
    state.motionData.clear();
  }
  return times;
}

RecordingAnalysis analyseJumps(std::vector<double> jumpTimes, double duration) {
  RecordingAnalysis analysis;
  analysis.jumpsPerMinute = perMinute(jumpTimes, duration);
  const auto peak =
      std::max_element(analysis.jumpsPerMinute.begin(), analysis.jumpsPerMinute.end());
  if (!jumpTimes.empty()) {
    analysis.peakJumpsPerMinute = *peak;
    analysis.peakMinute = static_cast<std::size_t>(peak - analysis.jumpsPerMinute.begin());
  }
  analysis.longestRun = longestRunOf(jumpTimes);
  analysis.jumpTimes = std::move(jumpTimes);
  return analysis;
}

RecordingAnalysis analyseRecording(const std::vector<MotionDataPoint>& samples, double duration) {
  return analyseJumps(countedJumpTimes(samples), duration);
}

std::string minuteStartText(std::size_t index) { return std::to_string(index) + ":00"; }

std::string peakMinuteText(const RecordingAnalysis& analysis) {
  if (!analysis.peakMinute) return "-";
  const std::size_t minute = *analysis.peakMinute;
  return std::to_string(analysis.peakJumpsPerMinute) + " jumps, from " + minuteStartText(minute) +
         " to " + minuteStartText(minute + 1);
}

std::string longestRunText(const LongestRun& run) {
  if (run.jumps == 0) return "-";
  return std::to_string(run.jumps) + (run.jumps == 1 ? " jump" : " jumps") + " in " +
         formatDuration(run.seconds);
}

}  // namespace hopster
