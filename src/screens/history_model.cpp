#include "screens/history_model.h"

#include <QDateTime>
#include <cmath>

#include "records/history_format.h"

namespace hopster {
namespace {

bool isSeparator(QChar c) { return c.isSpace() || (c.isPunct() && c != u'\''); }

// Qt offers short and long date styles but no medium one. The medium style is
// the long one without the weekday and with the month name abbreviated, so it
// is derived from the locale's long pattern: "dddd, MMMM d, yyyy" becomes
// "MMM d, yyyy" (Dec 5, 2026) in US English, "yyyy年M月d日dddd" becomes
// "yyyy年M月d日" in Japanese. Quoted literals are copied untouched.
QString mediumDateFormat(const QLocale& locale) {
  const QString pattern = locale.dateFormat(QLocale::LongFormat);
  const qsizetype size = pattern.size();
  QString medium;
  qsizetype i = 0;
  while (i < size) {
    const QChar c = pattern[i];
    if (c == u'\'') {
      qsizetype close = pattern.indexOf(u'\'', i + 1);
      if (close < 0) close = size - 1;
      medium += pattern.mid(i, close - i + 1);
      i = close + 1;
      continue;
    }
    qsizetype end = i;
    while (end < size && pattern[end] == c) ++end;
    const qsizetype length = end - i;
    if (c == u'd' && length >= 3) {
      // A weekday name: drop it with the separators that follow it, or with
      // those before it when it ends the pattern.
      i = end;
      while (i < size && isSeparator(pattern[i])) ++i;
      if (i == size) {
        while (!medium.isEmpty() && isSeparator(medium.back())) medium.chop(1);
      }
      continue;
    }
    medium += (c == u'M' && length == 4) ? QStringLiteral("MMM") : pattern.mid(i, length);
    i = end;
  }
  return medium;
}

}  // namespace

HistoryModel::HistoryModel(const FileManagerSingleton& store, QObject* parent)
    : QAbstractListModel(parent), store_(store) {}

int HistoryModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(records_.size());
}

QVariant HistoryModel::data(const QModelIndex& index, int role) const {
  if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) {
    return {};
  }
  const UserRecordData& record = records_[static_cast<std::size_t>(index.row())];
  switch (role) {
    case RecordIdRole:
      return QString::fromStdString(record.id);
    case StartDateTextRole:
      return tr("Start Date: ") + startDateText(record.dateStart);
    case DurationTextRole:
      return tr("Duration: ") + QString::fromStdString(formatDuration(record.timeSpent));
    case JumpsTextRole:
      // QString::number never groups digits, whatever the locale.
      return tr("Jumps: ") + QString::number(record.jumps);
    case SpeedTextRole:
      return tr("Speed: ") + QString::fromStdString(formatSpeed(record.jumps, record.timeSpent)) +
             tr(" J/S");
    default:
      return {};
  }
}

QHash<int, QByteArray> HistoryModel::roleNames() const {
  return {{RecordIdRole, "recordId"},
          {StartDateTextRole, "startDateText"},
          {DurationTextRole, "durationText"},
          {JumpsTextRole, "jumpsText"},
          {SpeedTextRole, "speedText"}};
}

void HistoryModel::loadUserRecords() {
  const bool wasEmpty = isEmpty();
  beginResetModel();
  records_ = store_.loadAllUserRecordData();
  sortByStartDescending(records_);
  endResetModel();
  if (isEmpty() != wasEmpty) emit isEmptyChanged();
}

void HistoryModel::setLocale(const QLocale& locale) {
  locale_ = locale;
  startDatesChanged();
}

void HistoryModel::setTimeZone(const QTimeZone& timeZone) {
  timeZone_ = timeZone;
  startDatesChanged();
}

void HistoryModel::startDatesChanged() {
  if (!records_.empty()) {
    emit dataChanged(index(0), index(rowCount() - 1), {StartDateTextRole});
  }
}

QString HistoryModel::startDateText(double dateStart) const {
  const QString unknown = QStringLiteral("—");
  // A record file may hold any number; milliseconds must fit a 64-bit integer
  // with room left for the time-zone offset Qt adds.
  const double milliseconds = std::floor(dateStart * 1000);
  if (!std::isfinite(milliseconds) || std::fabs(milliseconds) >= 0x1p62) return unknown;
  const auto epochMs = static_cast<qint64>(milliseconds);
  const QDateTime start = timeZone_ ? QDateTime::fromMSecsSinceEpoch(epochMs, *timeZone_)
                                    : QDateTime::fromMSecsSinceEpoch(epochMs);
  if (!start.isValid()) return unknown;

  // Read afresh for each row, so a change of the default locale shows at the
  // next redraw.
  const QLocale locale = locale_.value_or(QLocale());
  //: Medium date (%1) and short time (%2) of a recording's start.
  return tr("%1 at %2")
      .arg(locale.toString(start, mediumDateFormat(locale)),
           locale.toString(start, locale.timeFormat(QLocale::ShortFormat)));
}

}  // namespace hopster
