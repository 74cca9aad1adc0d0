#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <filesystem>
#include <string>
#include <tuple>

#include "platform/log.h"
#include "records/file_manager_singleton.h"
#include "screens/history_model.h"
#include "support/temp_dir.h"

namespace hopster {
namespace {

// 2026-12-05 13:52:00 UTC.
constexpr double kDecember5 = 1796478720.0;

class HistoryModelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    model.setLocale(QLocale("en_US"));
    model.setTimeZone(QTimeZone::utc());
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

  testing::TempDir dir;
  MemoryLog log;
  FileManagerSingleton store{dir.path(), log};
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
    model.loadUserRecords();
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
  };
  save("R", kDecember5);
  model.loadUserRecords();
  QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
  for (const auto& [locale, zone, expected] : cases) {
    model.setLocale(QLocale(locale));
    model.setTimeZone(zone);
    EXPECT_EQ(text(0, HistoryModel::StartDateTextRole), QString::fromUtf8(expected)) << locale;
  }
  EXPECT_EQ(changed.count(), 2 * static_cast<int>(std::size(cases)));
}

}  // namespace
}  // namespace hopster
