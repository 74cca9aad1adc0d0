#include "commands/record_stats.h"

#include <algorithm>
#include <cmath>
#include <set>

namespace hopster {

std::optional<double> recordingSpeed(std::int64_t jumps, double timeSpent) {
  const double speed = static_cast<double>(jumps) / timeSpent;
  if (!std::isfinite(speed)) return std::nullopt;
  return speed;
}

RecordStats computeStats(const std::vector<RecordingEntry>& recordings, std::int64_t totalJumps,
                         double now, const Calendar& calendar) {
  RecordStats stats;
  stats.totalJumps = totalJumps;
  stats.recordings = recordings.size();

  const std::optional<CalendarDay> today = calendar.localDay(now);
  if (today) {
    stats.weekStart = *today - (weekdayOf(*today) - calendar.firstDayOfWeek() + 7) % 7;
  }

  std::set<CalendarDay> days;  // the days with a recording
  for (std::size_t i = 0; i < recordings.size(); ++i) {
    const RecordingEntry& entry = recordings[i];
    // Among equals the earliest start wins: the recording that got there first.
    const auto startsNoLaterThan = [&](std::size_t other) {
      return entry.dateStart <= recordings[other].dateStart;
    };
    if (!stats.bestRecording || entry.jumps > recordings[*stats.bestRecording].jumps ||
        (entry.jumps == recordings[*stats.bestRecording].jumps &&
         startsNoLaterThan(*stats.bestRecording))) {
      stats.bestRecording = i;
    }
    if (const auto speed = recordingSpeed(entry.jumps, entry.timeSpent)) {
      const auto best = stats.bestSpeed ? recordingSpeed(recordings[*stats.bestSpeed].jumps,
                                                         recordings[*stats.bestSpeed].timeSpent)
                                        : std::nullopt;
      if (!best || *speed > *best || (*speed == *best && startsNoLaterThan(*stats.bestSpeed))) {
        stats.bestSpeed = i;
      }
    }
    const auto day = calendar.localDay(entry.dateStart);
    if (!day) continue;
    days.insert(*day);
    if (today && *day >= *stats.weekStart && *day <= *today) {
      stats.jumpsThisWeek += entry.jumps;
    }
  }

  // Runs of consecutive days, oldest first.
  std::int64_t run = 0;
  CalendarDay previous = 0;
  for (const CalendarDay day : days) {
    run = (run > 0 && day == previous + 1) ? run + 1 : 1;
    previous = day;
    stats.longestStreak = std::max(stats.longestStreak, run);
  }
  if (today) {
    CalendarDay day = *today;
    if (!days.contains(day)) --day;  // nothing yet today: yesterday keeps the streak
    while (days.contains(day)) {
      ++stats.currentStreak;
      --day;
    }
  }
  return stats;
}

}  // namespace hopster
