#include "screens/qt_calendar.h"

#include <QDateTime>
#include <cmath>

#include "screens/history_model.h"

namespace hopster {
namespace {

// The Julian day of 1 January 1970.
constexpr qint64 kJulianDayOf1970 = 2440588;

}  // namespace

std::optional<CalendarDay> QtCalendar::localDay(double seconds) const {
  // Milliseconds must fit a 64-bit integer with room for the zone's offset.
  const double milliseconds = std::floor(seconds * 1000);
  if (!std::isfinite(milliseconds) || std::fabs(milliseconds) >= 0x1p62) return std::nullopt;
  const QDateTime time = QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(milliseconds), zone_);
  if (!time.isValid()) return std::nullopt;
  return time.date().toJulianDay() - kJulianDayOf1970;
}

int QtCalendar::firstDayOfWeek() const { return static_cast<int>(locale_.firstDayOfWeek()); }

std::string QtCalendar::startText(double seconds) const {
  return recordStartText(seconds, locale_, zone_).toStdString();
}

std::string QtCalendar::shortDayText(CalendarDay day) const {
  return locale_.toString(QDate::fromJulianDay(day + kJulianDayOf1970), QStringLiteral("ddd d MMM"))
      .toStdString();
}

}  // namespace hopster
