#include "platform/calendar.h"

#include <chrono>
#include <cstdio>

namespace hopster {

int weekdayOf(CalendarDay day) {
  // Day 0 was a Thursday, the fourth day of the ISO week.
  const auto sinceMonday = ((day % 7) + 7 + 3) % 7;
  return static_cast<int>(sinceMonday) + 1;
}

std::string isoDateText(CalendarDay day) {
  const std::chrono::year_month_day date{
      std::chrono::sys_days{std::chrono::days{static_cast<std::chrono::days::rep>(day)}}};
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02u-%02u", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()));
  return text;
}

}  // namespace hopster
