#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "commands/record_listing.h"
#include "platform/calendar.h"

namespace hopster {

// Jumps per second of a recording, or nothing when the quotient is not a
// finite number (a duration of 0 makes it infinite).
[[nodiscard]] std::optional<double> recordingSpeed(std::int64_t jumps, double timeSpent);

// What `hopster stats` reports. Recordings are placed on the local calendar
// day of their start.
struct RecordStats {
  std::int64_t totalJumps = 0;  // the stored running total
  std::size_t recordings = 0;
  // Indexes into the listed recordings: the most jumps (the earliest start
  // among equals) and the highest finite speed (likewise).
  std::optional<std::size_t> bestRecording;
  std::optional<std::size_t> bestSpeed;
  std::int64_t jumpsThisWeek = 0;        // from the first day of this week through today
  std::optional<CalendarDay> weekStart;  // none when today is no calendar day
  // Days in a row with at least one recording, ending today, or yesterday
  // while today has none yet (the streak is still alive then).
  std::int64_t currentStreak = 0;
  std::int64_t longestStreak = 0;
};

// Works out the statistics of `recordings` at the instant `now`, with the
// days and weeks of `calendar`.
[[nodiscard]] RecordStats computeStats(const std::vector<RecordingEntry>& recordings,
                                       std::int64_t totalJumps, double now,
                                       const Calendar& calendar);

}  // namespace hopster
