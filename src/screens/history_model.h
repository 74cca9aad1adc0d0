#pragma once

#include <QtQml/qqmlregistration.h>
#include <QAbstractListModel>
#include <QLocale>
#include <QTimeZone>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "records/record_store.h"
#include "records/record_summary.h"
#include "screens/recording_view_model.h"

namespace hopster {

// The history list: every record file that loads, latest start first, one
// row per record with its lines of text ready to show. Only the records'
// summaries are held, never their motion traces, and they are read on a
// worker thread, so the list shows at once and its rows follow.
class HistoryModel : public QAbstractListModel {
  Q_OBJECT
  QML_ELEMENT
  QML_UNCREATABLE("made by the application")
  Q_PROPERTY(bool isEmpty READ isEmpty NOTIFY isEmptyChanged)
  Q_PROPERTY(bool loading READ loading NOTIFY loadingChanged)
  // The recording opened from a row.
  Q_PROPERTY(hopster::RecordingViewModel* recording READ recording CONSTANT)

 public:
  enum Role {
    RecordIdRole = Qt::UserRole + 1,
    StartDateTextRole,  // "Start Date: Dec 5, 2026 at 1:52 PM"
    DurationTextRole,   // "Duration: 1m 5.25s"
    JumpsTextRole,      // "Jumps: 150"
    SpeedTextRole,      // "Speed: 2.30 J/S"
    FileNameRole,       // the record file's name in the records folder
  };

  // Starts empty; nothing is read until loadUserRecords(). The store must
  // outlive the model.
  explicit HistoryModel(const RecordStore& store, QObject* parent = nullptr);
  // Stops a load under way (it gives up between two files) and waits for it.
  ~HistoryModel() override;
  HistoryModel(const HistoryModel&) = delete;
  HistoryModel& operator=(const HistoryModel&) = delete;

  [[nodiscard]] int rowCount(const QModelIndex& parent = {}) const override;
  [[nodiscard]] QVariant data(const QModelIndex& index, int role) const override;
  [[nodiscard]] QHash<int, QByteArray> roleNames() const override;

  [[nodiscard]] bool isEmpty() const { return records_.empty(); }
  // Whether a reload is under way.
  [[nodiscard]] bool loading() const { return loading_; }
  [[nodiscard]] RecordingViewModel* recording() { return &recording_; }

  // Reads all records afresh on a worker thread and shows them, latest start
  // first, when they are ready; the store's log lines are written then, on
  // this thread. Asked again while a reload is under way, it reloads once
  // more after that one (any number of requests meanwhile make one reload).
  Q_INVOKABLE void loadUserRecords();

  // Start dates follow the default locale and local time unless these are set
  // (tests fix both so the text does not depend on the machine).
  void setLocale(const QLocale& locale);
  void setTimeZone(const QTimeZone& timeZone);

 signals:
  void isEmptyChanged();
  void loadingChanged();
  // Every reload asked for has finished and its rows are in the model.
  void userRecordsLoaded();

 private:
  [[nodiscard]] QString startDateText(double dateStart) const;
  void startDatesChanged();
  void startLoad();
  void finishLoad(std::vector<RecordSummary> summaries, std::vector<std::string> logLines);

  const RecordStore& store_;
  std::vector<RecordSummary> records_;
  std::optional<QLocale> locale_;
  std::optional<QTimeZone> timeZone_;
  bool loading_ = false;
  bool reloadAsked_ = false;
  RecordingViewModel recording_;
  // Declared last, so it is stopped and joined before anything it uses goes.
  std::jthread worker_;
};

// A recording's start as the history rows show it: the locale's medium date
// and short time ("Dec 5, 2026 at 1:52 PM"), in `timeZone` or local time;
// "—" for a date no calendar can show.
[[nodiscard]] QString recordStartText(double dateStart, const QLocale& locale,
                                      const std::optional<QTimeZone>& timeZone = std::nullopt);

}  // namespace hopster
