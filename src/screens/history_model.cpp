#include "screens/history_model.h"

#include <sys/resource.h>
#include <unistd.h>

#include <QDateTime>
#include <cmath>
#include <memory>
#include <utility>

#include "platform/linux/memory_log.h"
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

HistoryModel::HistoryModel(const RecordStore& store, QObject* parent)
    : QAbstractListModel(parent), store_(store), recording_(store) {}

HistoryModel::~HistoryModel() {
  worker_.request_stop();
  if (worker_.joinable()) worker_.join();
}

int HistoryModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(records_.size());
}

QVariant HistoryModel::data(const QModelIndex& index, int role) const {
  if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) {
    return {};
  }
  const RecordSummary& record = records_[static_cast<std::size_t>(index.row())];
  switch (role) {
    case RecordIdRole:
      return QString::fromStdString(record.id);
    case FileNameRole:
      return QString::fromStdString(record.fileName);
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
  return {{RecordIdRole, "recordId"},         {StartDateTextRole, "startDateText"},
          {DurationTextRole, "durationText"}, {JumpsTextRole, "jumpsText"},
          {SpeedTextRole, "speedText"},       {FileNameRole, "fileName"}};
}

void HistoryModel::loadUserRecords() {
  if (loading_) {
    reloadAsked_ = true;
    return;
  }
  loading_ = true;
  emit loadingChanged();
  startLoad();
}

void HistoryModel::startLoad() {
  // The previous worker has handed over its result and is ending.
  if (worker_.joinable()) worker_.join();
  worker_ = std::jthread([this](std::stop_token stop) {
    // Behind the interface thread when they compete for a processor.
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), 10);
    // The lines are written on the model's thread with the result, so the
    // store's log is never written from two threads at once.
    MemoryLog lines;
    auto summaries = std::make_shared<std::vector<RecordSummary>>(
        store_.loadAllUserRecordSummaries(lines, stop));
    if (stop.stop_requested()) return;
    sortByStartDescending(*summaries);
    auto logLines = std::make_shared<std::vector<std::string>>(lines.lines());
    // Queued to this object, so it runs on its thread; a model destroyed
    // first joins this thread before its QObject goes, which drops the call.
    QMetaObject::invokeMethod(
        this,
        [this, summaries, logLines] { finishLoad(std::move(*summaries), std::move(*logLines)); },
        Qt::QueuedConnection);
  });
}

void HistoryModel::finishLoad(std::vector<RecordSummary> summaries,
                              std::vector<std::string> logLines) {
  for (const auto& line : logLines) store_.log().line(line);
  const bool wasEmpty = isEmpty();
  beginResetModel();
  records_ = std::move(summaries);
  endResetModel();
  if (isEmpty() != wasEmpty) emit isEmptyChanged();
  if (reloadAsked_) {
    reloadAsked_ = false;
    startLoad();
    return;
  }
  loading_ = false;
  emit loadingChanged();
  emit userRecordsLoaded();
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
  // Read afresh for each row, so a change of the default locale shows at the
  // next redraw.
  return recordStartText(dateStart, locale_.value_or(QLocale()), timeZone_);
}

QString recordStartText(double dateStart, const QLocale& locale,
                        const std::optional<QTimeZone>& timeZone) {
  const QString unknown = QStringLiteral("—");
  // A record file may hold any number; milliseconds must fit a 64-bit integer
  // with room left for the time-zone offset Qt adds.
  const double milliseconds = std::floor(dateStart * 1000);
  if (!std::isfinite(milliseconds) || std::fabs(milliseconds) >= 0x1p62) return unknown;
  const auto epochMs = static_cast<qint64>(milliseconds);
  const QDateTime start = timeZone ? QDateTime::fromMSecsSinceEpoch(epochMs, *timeZone)
                                   : QDateTime::fromMSecsSinceEpoch(epochMs);
  if (!start.isValid()) return unknown;

  // The C locale's short time has seconds; a short time shows none.
  const QString timeFormat = locale.language() == QLocale::C
                                 ? QStringLiteral("HH:mm")
                                 : locale.timeFormat(QLocale::ShortFormat);
  //: Medium date (%1) and short time (%2) of a recording's start.
  return HistoryModel::tr("%1 at %2")
      .arg(locale.toString(start, mediumDateFormat(locale)), locale.toString(start, timeFormat));
}

}  // namespace hopster
