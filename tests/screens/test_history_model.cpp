#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QStringList>
#include <filesystem>
#include <fstream>

#include "platform/log.h"
#include "records/file_manager_singleton.h"
#include "screens/history_model.h"
#include "support/temp_dir.h"

namespace hopster {
namespace {

// The model tester reports faults as warnings; they are gathered here so a
// fault fails the test instead of scrolling past.
QStringList warnings;

void gatherWarnings(QtMsgType type, const QMessageLogContext&, const QString& message) {
  if (type != QtDebugMsg && type != QtInfoMsg) warnings << message;
}

// 2026-12-05 13:52:00 UTC.
constexpr double kDecember5 = 1796478720.0;

UserRecordData record(std::string id, double dateStart, std::int64_t jumps = 10,
                      double timeSpent = 30.0) {
  return UserRecordData{std::move(id), dateStart, dateStart + timeSpent,
                        timeSpent,     jumps,     "TimeIntervalSince1970\n",
                        std::nullopt};
}

class HistoryModelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    warnings.clear();
    previousHandler_ = qInstallMessageHandler(gatherWarnings);
    model.setLocale(QLocale(QLocale::English, QLocale::UnitedStates));
    model.setTimeZone(QTimeZone::utc());
  }
  void TearDown() override {
    qInstallMessageHandler(previousHandler_);
    EXPECT_TRUE(warnings.isEmpty()) << warnings.join('\n').toStdString();
  }

  QString text(int row, HistoryModel::Role role) const {
    return model.data(model.index(row), role).toString();
  }
  std::vector<std::string> ids() const {
    std::vector<std::string> result;
    for (int row = 0; row < model.rowCount(); ++row) {
      result.push_back(text(row, HistoryModel::RecordIdRole).toStdString());
    }
    return result;
  }

  testing::TempDir dir;
  MemoryLog log;
  FileManagerSingleton store{dir.path(), log};
  HistoryModel model{store};
  QAbstractItemModelTester tester{&model, QAbstractItemModelTester::FailureReportingMode::Warning};

 private:
  QtMessageHandler previousHandler_ = nullptr;
};

TEST_F(HistoryModelTest, ListsLatestStartFirstAndLeavesOutBadFiles) {
  // Saved (and named) in an order that is neither the start order nor its reverse.
  store.saveUserRecordData(record("A", 100), "1");
  store.saveUserRecordData(record("C", 300), "2");
  store.saveUserRecordData(record("B", 200), "3");
  std::ofstream(dir.path() / "4.json") << "{not json";
  model.loadUserRecords();
  EXPECT_EQ(ids(), (std::vector<std::string>{"C", "B", "A"}));
}

TEST_F(HistoryModelTest, WritesEachLineOfARow) {
  struct Case {
    UserRecordData saved;
    const char* startDate;
    const char* duration;
    const char* jumps;
    const char* speed;
  };
  const Case cases[] = {
      {record("typical", kDecember5, 150, 65.257), "Start Date: Dec 5, 2026 at 1:52 PM",
       "Duration: 1m 5.25s", "Jumps: 150", "Speed: 2.30 J/S"},
      {record("instant", kDecember5 + 0.999, 1234567, 0.0), "Start Date: Dec 5, 2026 at 1:52 PM",
       "Duration: 0.00s", "Jumps: 1234567", "Speed: inf J/S"},
      {record("absurd", 1e300, 3, 1e300), "Start Date: —", "Duration: —", "Jumps: 3",
       "Speed: 0.00 J/S"},
  };
  for (const auto& c : cases) {
    store.saveUserRecordData(c.saved, c.saved.id);
    model.loadUserRecords();
    ASSERT_EQ(model.rowCount(), 1);
    EXPECT_EQ(text(0, HistoryModel::RecordIdRole).toStdString(), c.saved.id);
    EXPECT_EQ(text(0, HistoryModel::StartDateTextRole), c.startDate) << c.saved.id;
    EXPECT_EQ(text(0, HistoryModel::DurationTextRole), c.duration) << c.saved.id;
    EXPECT_EQ(text(0, HistoryModel::JumpsTextRole), c.jumps) << c.saved.id;
    EXPECT_EQ(text(0, HistoryModel::SpeedTextRole), c.speed) << c.saved.id;
    std::filesystem::remove(dir.path() / (c.saved.id + ".json"));
  }
}

TEST_F(HistoryModelTest, WritesTheStartAsAMediumDateAndShortTime) {
  struct Case {
    QLocale locale;
    QTimeZone zone;
    const char* text;
  };
  const Case cases[] = {
      {QLocale("en_US"), QTimeZone::utc(), "Start Date: Dec 5, 2026 at 1:52 PM"},
      {QLocale("en_US"), QTimeZone(-5 * 3600), "Start Date: Dec 5, 2026 at 8:52 AM"},
      {QLocale("en_US"), QTimeZone(11 * 3600), "Start Date: Dec 6, 2026 at 12:52 AM"},
      {QLocale("en_GB"), QTimeZone::utc(), "Start Date: 5 Dec 2026 at 13:52"},
      {QLocale("de_DE"), QTimeZone::utc(), "Start Date: 5. Dez. 2026 at 13:52"},
      {QLocale("ja_JP"), QTimeZone::utc(), "Start Date: 2026年12月5日 at 13:52"},
  };
  store.saveUserRecordData(record("R", kDecember5), "R");
  model.loadUserRecords();
  QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
  for (const auto& c : cases) {
    model.setLocale(c.locale);
    model.setTimeZone(c.zone);
    EXPECT_EQ(text(0, HistoryModel::StartDateTextRole), QString::fromUtf8(c.text))
        << c.locale.name().toStdString();
  }
  EXPECT_EQ(changed.count(), 2 * static_cast<int>(std::size(cases))) << "rows are redrawn";
}

TEST_F(HistoryModelTest, TellsWhenItBecomesEmptyOrNot) {
  QSignalSpy emptyChanged(&model, &HistoryModel::isEmptyChanged);
  QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
  EXPECT_TRUE(model.isEmpty());

  model.loadUserRecords();
  EXPECT_TRUE(model.isEmpty());
  EXPECT_EQ(emptyChanged.count(), 0);

  store.saveUserRecordData(record("A", 100), "A");
  model.loadUserRecords();
  EXPECT_FALSE(model.isEmpty());
  EXPECT_EQ(emptyChanged.count(), 1);

  store.saveUserRecordData(record("B", 200), "B");
  model.loadUserRecords();
  EXPECT_EQ(model.rowCount(), 2);
  EXPECT_EQ(emptyChanged.count(), 1) << "still not empty";

  std::filesystem::remove(dir.path() / "A.json");
  std::filesystem::remove(dir.path() / "B.json");
  model.loadUserRecords();
  EXPECT_TRUE(model.isEmpty());
  EXPECT_EQ(emptyChanged.count(), 2);
  EXPECT_EQ(reset.count(), 4) << "every load redraws the list";
}

}  // namespace
}  // namespace hopster
