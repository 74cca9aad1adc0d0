#pragma once

#include <QDate>
#include <QTimeZone>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "app/record_listing.h"

namespace hopster {

// Jumps per second of a recording, or nothing when the quotient is not a
// finite number (a duration of 0 makes it infinite).
[[nodiscard]] std::optional<double> recordingSpeed(std::int64_t jumps, double timeSpent);

// The calendar day, in `zone`, that holds the instant `seconds` (since 1970),
// or nothing for an instant no calendar holds.
[[nodiscard]] std::optional<QDate> localDay(double seconds, const QTimeZone& zone);

// What `hopster stats` reports. Recordings are placed on the local calendar
// day of their start.
struct RecordStats {
  std::int64_t totalJumps = 0;  // the stored running total
  std::size_t recordings = 0;
  // Indexes into the listed recordings: the most jumps (the earliest start
  // among equals) and the highest finite speed (likewise).
  std::optional<std::size_t> bestRecording;
  std::optional<std::size_t> bestSpeed;
  std::int64_t jumpsThisWeek = 0;  // from the first day of this week through today
  QDate weekStart;
  // Days in a row with at least one recording, ending today, or yesterday
  // while today has none yet (the streak is still alive then).
  std::int64_t currentStreak = 0;
  std::int64_t longestStreak = 0;
};

// Works out the statistics of `recordings` at the instant `now`, with days in
// `zone` and weeks that begin on `firstDayOfWeek`.
[[nodiscard]] RecordStats computeStats(const std::vector<RecordingEntry>& recordings,
                                       std::int64_t totalJumps, double now, const QTimeZone& zone,
                                       Qt::DayOfWeek firstDayOfWeek);

}  // namespace hopster
