#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QCoreApplication>
#include <QSignalSpy>
#include <filesystem>
#include <memory>
#include <string>
#include <tuple>

#include "platform/linux/memory_log.h"
#include "records/record_store.h"
#include "screens/history_model.h"
#include "support/temp_dir.h"

namespace hopster {
namespace {

// 2026-12-05 13:52:00 UTC.
constexpr double kDecember5 = 1796478720.0;

// The model hands its results over through the event loop.
QCoreApplication& application() {
  static int argc = 1;
  static char name[] = "test_history_model";
  static char* argv[] = {name, nullptr};
  static QCoreApplication app(argc, argv);
  return app;
}

class HistoryModelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    model.setLocale(QLocale("en_US"));
    model.setTimeZone(QTimeZone::utc());
  }

  // Asks for a reload and waits until every reload asked for has finished.
  void load() {
    QSignalSpy loaded(&model, &HistoryModel::userRecordsLoaded);
    model.loadUserRecords();
    ASSERT_TRUE(loaded.wait(10000));
  }

  void save(const std::string& id, double dateStart, std::int64_t jumps = 10,
            double timeSpent = 30.0) {
    store.saveUserRecordData(
        UserRecordData{id, dateStart, dateStart + timeSpent, timeSpent, jumps, "", std::nullopt},
        id);
  }
  QString text(int row, HistoryModel::Role role) const {
    return model.data(model.index(row), role).toString();
  }

  QCoreApplication& app = application();
  testing::TempDir dir;
  testing::TempDir cache;
  MemoryLog log;
  RecordStore store{dir.path(), log, cache.path()};
  HistoryModel model{store};
  QAbstractItemModelTester tester{&model, QAbstractItemModelTester::FailureReportingMode::Fatal};
};

TEST_F(HistoryModelTest, WritesEachLineOfARow) {
  struct Case {
    const char* id;
    double dateStart, timeSpent;
    std::int64_t jumps;
    const char *startDate, *duration, *jumpsText, *speed;
  };
  const Case cases[] = {
      {"typical", kDecember5, 65.257, 150, "Start Date: Dec 5, 2026 at 1:52 PM",
       "Duration: 1m 5.25s", "Jumps: 150", "Speed: 2.30 J/S"},
      {"instant", kDecember5, 0.0, 1234567, "Start Date: Dec 5, 2026 at 1:52 PM", "Duration: 0.00s",
       "Jumps: 1234567", "Speed: inf J/S"},
      {"absurd", 1e300, 1e300, 3, "Start Date: —", "Duration: —", "Jumps: 3", "Speed: 0.00 J/S"},
  };
  for (const auto& c : cases) {
    save(c.id, c.dateStart, c.jumps, c.timeSpent);
    load();
    EXPECT_EQ(text(0, HistoryModel::StartDateTextRole), c.startDate) << c.id;
    EXPECT_EQ(text(0, HistoryModel::DurationTextRole), c.duration) << c.id;
    EXPECT_EQ(text(0, HistoryModel::JumpsTextRole), c.jumpsText) << c.id;
    EXPECT_EQ(text(0, HistoryModel::SpeedTextRole), c.speed) << c.id;
    std::filesystem::remove(dir.path() / (std::string(c.id) + ".json"));
  }
}

TEST_F(HistoryModelTest, WritesTheStartAsAMediumDateAndShortTimeAndRedrawsOnChange) {
  const std::tuple<const char*, QTimeZone, const char*> cases[] = {
      {"en_US", QTimeZone(11 * 3600), "Start Date: Dec 6, 2026 at 12:52 AM"},
      {"de_DE", QTimeZone::utc(), "Start Date: 5. Dez. 2026 at 13:52"},
      {"ja_JP", QTimeZone::utc(), "Start Date: 2026年12月5日 at 13:52"},  // weekday at the end
      {"C", QTimeZone::utc(), "Start Date: 5 Dec 2026 at 13:52"},         // no seconds
  };
  save("R", kDecember5);
  load();
  QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
  for (const auto& [locale, zone, expected] : cases) {
    model.setLocale(QLocale(locale));
    model.setTimeZone(zone);
    EXPECT_EQ(text(0, HistoryModel::StartDateTextRole), QString::fromUtf8(expected)) << locale;
  }
  EXPECT_EQ(changed.count(), 2 * static_cast<int>(std::size(cases)));
}

TEST_F(HistoryModelTest, ListsLatestStartFirstAndWritesTheStoreLogOnItsOwnThread) {
  save("b", 300.0);
  save("a", 100.0);
  save("c", 200.0);
  log.clear();
  load();
  ASSERT_EQ(model.rowCount(), 3);
  EXPECT_EQ(text(0, HistoryModel::RecordIdRole) + text(1, HistoryModel::RecordIdRole) +
                text(2, HistoryModel::RecordIdRole),
            "bca");
  EXPECT_EQ(log.lines(), std::vector<std::string>{"Loaded 3 UserRecordData objects."});
}

TEST_F(HistoryModelTest, ReloadsAskedForDuringALoadMakeOneMoreLoadAndOneSignal) {
  QSignalSpy loaded(&model, &HistoryModel::userRecordsLoaded);
  QSignalSpy loadingChanged(&model, &HistoryModel::loadingChanged);
  model.loadUserRecords();
  EXPECT_TRUE(model.loading());
  // Saved after the first load may have looked: only a reload finds it.
  save("late", 1.0);
  model.loadUserRecords();
  model.loadUserRecords();
  ASSERT_TRUE(loaded.wait(10000));
  QCoreApplication::processEvents();
  EXPECT_EQ(loaded.count(), 1);
  EXPECT_EQ(loadingChanged.count(), 2);  // on, then off once
  EXPECT_FALSE(model.loading());
  ASSERT_EQ(model.rowCount(), 1);
  EXPECT_EQ(text(0, HistoryModel::RecordIdRole), "late");
  EXPECT_EQ(std::ranges::count(log.lines(), "Loaded 1 UserRecordData objects.") +
                std::ranges::count(log.lines(), "Loaded 0 UserRecordData objects."),
            2)
      << "two loads, not three";
}

TEST_F(HistoryModelTest, AModelDestroyedWhileLoadingGoesQuietly) {
  for (int i = 0; i < 50; ++i) save("r" + std::to_string(i), i);
  for (int i = 0; i < 5; ++i) {
    auto doomed = std::make_unique<HistoryModel>(store);
    doomed->loadUserRecords();
    if (i % 2 == 1) QCoreApplication::processEvents();
    doomed.reset();
  }
  // Whatever a worker queued for a model now gone must not run.
  QCoreApplication::processEvents();
  QSignalSpy loaded(&model, &HistoryModel::userRecordsLoaded);
  model.loadUserRecords();
  ASSERT_TRUE(loaded.wait(10000));
  EXPECT_EQ(model.rowCount(), 50);
}

}  // namespace
}  // namespace hopster
