#pragma once

#include <QtQml/qqmlregistration.h>
#include <QAbstractListModel>
#include <QLocale>
#include <QTimeZone>
#include <optional>
#include <vector>

#include "records/file_manager_singleton.h"
#include "records/user_record_data.h"

namespace hopster {

// The history list: every record file that loads, latest start first, one
// row per record with its lines of text ready to show.
class HistoryModel : public QAbstractListModel {
  Q_OBJECT
  QML_ELEMENT
  QML_UNCREATABLE("made by the application")
  Q_PROPERTY(bool isEmpty READ isEmpty NOTIFY isEmptyChanged)

 public:
  enum Role {
    RecordIdRole = Qt::UserRole + 1,
    StartDateTextRole,  // "Start Date: Dec 5, 2026 at 1:52 PM"
    DurationTextRole,   // "Duration: 1m 5.25s"
    JumpsTextRole,      // "Jumps: 150"
    SpeedTextRole,      // "Speed: 2.30 J/S"
  };

  // Starts empty; nothing is read until loadUserRecords().
  explicit HistoryModel(const FileManagerSingleton& store, QObject* parent = nullptr);

  [[nodiscard]] int rowCount(const QModelIndex& parent = {}) const override;
  [[nodiscard]] QVariant data(const QModelIndex& index, int role) const override;
  [[nodiscard]] QHash<int, QByteArray> roleNames() const override;

  [[nodiscard]] bool isEmpty() const { return records_.empty(); }

  // Reads all record files afresh and shows them, latest start first.
  Q_INVOKABLE void loadUserRecords();

  // Start dates follow the default locale and local time unless these are set
  // (tests fix both so the text does not depend on the machine).
  void setLocale(const QLocale& locale);
  void setTimeZone(const QTimeZone& timeZone);

 signals:
  void isEmptyChanged();

 private:
  [[nodiscard]] QString startDateText(double dateStart) const;
  void startDatesChanged();

  const FileManagerSingleton& store_;
  std::vector<UserRecordData> records_;
  std::optional<QLocale> locale_;
  std::optional<QTimeZone> timeZone_;
};

}  // namespace hopster
