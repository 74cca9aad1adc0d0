#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace hopster {

// A day of the calendar, counted from Thursday 1 January 1970 (day 0);
// earlier days are negative.
using CalendarDay = std::int64_t;

// The weekday of `day`: 1 Monday to 7 Sunday, as ISO 8601 numbers them.
[[nodiscard]] int weekdayOf(CalendarDay day);

// `day` as ISO 8601 writes it ("2026-12-07").
[[nodiscard]] std::string isoDateText(CalendarDay day);

// The user's calendar: the local day of an instant in the user's time zone,
// the first day of the user's week, and dates written as the user's
// language writes them.
class Calendar {
 public:
  virtual ~Calendar() = default;
  // The local day that holds the instant `seconds` (since 1970), or none
  // for an instant no calendar holds.
  [[nodiscard]] virtual std::optional<CalendarDay> localDay(double seconds) const = 0;
  // The weekday a week begins on, 1 Monday to 7 Sunday.
  [[nodiscard]] virtual int firstDayOfWeek() const = 0;
  // A recording's start as the history list shows it ("Dec 5, 2026 at
  // 1:52 PM" in US English), or "—" for an instant no calendar holds.
  [[nodiscard]] virtual std::string startText(double seconds) const = 0;
  // A day in short: weekday, day and month ("Mon 7 Dec").
  [[nodiscard]] virtual std::string shortDayText(CalendarDay day) const = 0;
};

}  // namespace hopster
