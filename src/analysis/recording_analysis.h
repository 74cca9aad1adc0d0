#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "motion/motion_data_point.h"

namespace hopster {

// The most jumps in a row with no gap between two of them longer than twice
// the session's median gap, and the seconds from its first jump to its last.
struct LongestRun {
  std::int64_t jumps = 0;
  double seconds = 0.0;
  friend bool operator==(const LongestRun&, const LongestRun&) = default;
};

struct RecordingAnalysis {
  // When each counted jump came, in seconds after the trace's first sample.
  std::vector<double> jumpTimes;
  // Minute k holds the jumps counted from k to k + 1 minutes after the
  // start; every minute of the session is there, the empty ones too.
  std::vector<std::int64_t> jumpsPerMinute;
  std::int64_t peakJumpsPerMinute = 0;
  std::optional<std::size_t> peakMinute;  // the first minute with the peak; none without jumps
  LongestRun longestRun;
};

// The times of the jumps the recording's own detector counts on a stored
// trace: every sample goes through the motion pipeline in virtual time at
// its recorded timing, the detector armed at the start as a fresh
// recording's is. Their number is the trace's recount.
[[nodiscard]] std::vector<double> countedJumpTimes(const std::vector<MotionDataPoint>& samples);
// The same for a caller that holds the samples' deliveryOffsets already.
[[nodiscard]] std::vector<double> countedJumpTimes(const std::vector<MotionDataPoint>& samples,
                                                   const std::vector<double>& offsets);

// The minutes, peak and longest run of jumps at `jumpTimes` (ascending) in a
// session of `duration` seconds.
[[nodiscard]] RecordingAnalysis analyseJumps(std::vector<double> jumpTimes, double duration);

// Both: the numbers of a recording from its trace and its duration.
[[nodiscard]] RecordingAnalysis analyseRecording(const std::vector<MotionDataPoint>& samples,
                                                 double duration);

// "12:00": when minute `index` (from 0) begins, after the start.
[[nodiscard]] std::string minuteStartText(std::size_t index);

// The peak minute in words: "131 jumps, from 3:00 to 4:00"; "-" without jumps.
[[nodiscard]] std::string peakMinuteText(const RecordingAnalysis& analysis);

// The longest run in words: "240 jumps in 1m 58.40s"; "-" without jumps.
[[nodiscard]] std::string longestRunText(const LongestRun& run);

}  // namespace hopster
