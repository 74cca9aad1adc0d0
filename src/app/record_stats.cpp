#include "app/record_stats.h"

#include <QDateTime>
#include <algorithm>
#include <cmath>
#include <set>

namespace hopster {

std::optional<double> recordingSpeed(std::int64_t jumps, double timeSpent) {
  const double speed = static_cast<double>(jumps) / timeSpent;
  if (!std::isfinite(speed)) return std::nullopt;
  return speed;
}

std::optional<QDate> localDay(double seconds, const QTimeZone& zone) {
  // Milliseconds must fit a 64-bit integer with room for the zone's offset.
  const double milliseconds = std::floor(seconds * 1000);
  if (!std::isfinite(milliseconds) || std::fabs(milliseconds) >= 0x1p62) return std::nullopt;
  const QDateTime time = QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(milliseconds), zone);
  if (!time.isValid()) return std::nullopt;
  return time.date();
}

RecordStats computeStats(const std::vector<RecordingEntry>& recordings, std::int64_t totalJumps,
                         double now, const QTimeZone& zone, Qt::DayOfWeek firstDayOfWeek) {
  RecordStats stats;
  stats.totalJumps = totalJumps;
  stats.recordings = recordings.size();

  const QDate today = localDay(now, zone).value_or(QDate());
  const int sinceWeekStart = today.isValid() ? (today.dayOfWeek() - firstDayOfWeek + 7) % 7 : 0;
  stats.weekStart = today.isValid() ? today.addDays(-sinceWeekStart) : QDate();

  std::set<qint64> days;  // Julian day numbers with a recording
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
    const auto day = localDay(entry.dateStart, zone);
    if (!day) continue;
    days.insert(day->toJulianDay());
    if (today.isValid() && *day >= stats.weekStart && *day <= today) {
      stats.jumpsThisWeek += entry.jumps;
    }
  }

  // Runs of consecutive days, oldest first.
  std::int64_t run = 0;
  qint64 previous = 0;
  for (const qint64 day : days) {
    run = (run > 0 && day == previous + 1) ? run + 1 : 1;
    previous = day;
    stats.longestStreak = std::max(stats.longestStreak, run);
  }
  if (today.isValid()) {
    qint64 day = today.toJulianDay();
    if (!days.contains(day)) --day;  // nothing yet today: yesterday keeps the streak
    while (days.contains(day)) {
      ++stats.currentStreak;
      --day;
    }
  }
  return stats;
}

}  // namespace hopster
