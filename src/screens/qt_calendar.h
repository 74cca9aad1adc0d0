#pragma once

#include <QLocale>
#include <QTimeZone>

#include "platform/calendar.h"

namespace hopster {

// The calendar of a Qt locale and time zone: the system's for the user.
class QtCalendar final : public Calendar {
 public:
  QtCalendar(QLocale locale, QTimeZone zone) : locale_(std::move(locale)), zone_(std::move(zone)) {}
  // The system locale and local time zone.
  [[nodiscard]] static QtCalendar forUser() { return {QLocale(), QTimeZone::systemTimeZone()}; }

  [[nodiscard]] std::optional<CalendarDay> localDay(double seconds) const override;
  [[nodiscard]] int firstDayOfWeek() const override;
  [[nodiscard]] std::string startText(double seconds) const override;
  [[nodiscard]] std::string shortDayText(CalendarDay day) const override;

 private:
  QLocale locale_;
  QTimeZone zone_;
};

}  // namespace hopster
