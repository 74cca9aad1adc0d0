#include <QAbstractItemModelTester>
#include <QCoreApplication>
#include <QSignalSpy>
#include <memory>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "platform/key_value_store.h"
#include "platform/log.h"
#include "platform/memory_key_value_storage.h"
#include "platform/recording_haptic_device.h"
#include "platform/virtual_scheduler.h"
#include "screens/trophy_list_model.h"
#include "trophies/trophy_manager.h"

namespace hopster {
namespace {

using Role = TrophyListModel::Role;

// Row numbers of catalogue trophies used below.
constexpr int kFirst10 = 0;      // "trophy-first-10", easy
constexpr int kSpeedDemon = 4;   // "750-under-5min", the hidden one
constexpr int kLostWeight = 10;  // "200K-max", extreme

// A model over a manager whose store starts with `trophy-first-10` unlocked,
// checked throughout by QAbstractItemModelTester.
class TrophyListModelTest : public ::testing::Test {
 protected:
  QVariant value(int row, Role role) const { return model_->data(model_->index(row), role); }
  bool shaking(int row) const { return value(row, Role::ShakingRole).toBool(); }
  std::size_t tapsPlayed() const { return haptics_.playersStarted().size(); }

  static inline int argc_ = 1;
  static inline char name_[] = "test_trophy_list_model";
  static inline char* argv_[] = {name_, nullptr};
  QCoreApplication app_{argc_, argv_};

  MemoryLog log_;
  KeyValueStore store_{std::make_unique<MemoryKeyValueStorage>(
                           std::string(R"({"unlockedTrophies":["trophy-first-10"]})")),
                       log_};
  TrophyManager manager_{store_};
  RecordingHapticDevice haptics_;
  VirtualScheduler scheduler_;
  std::optional<TrophyListModel> model_{std::in_place, manager_, haptics_, log_, scheduler_};
  QAbstractItemModelTester tester_{&*model_, QAbstractItemModelTester::FailureReportingMode::Fatal};
};

TEST_F(TrophyListModelTest, ShowsEveryTrophyInListOrderByRoleName) {
  ASSERT_EQ(model_->rowCount(), 11);
  const auto names = model_->roleNames();
  for (const char* name : {"trophyId", "title", "subtitle", "cardSubtitle", "hidden", "isUnlocked",
                           "imageName", "shaking"}) {
    EXPECT_TRUE(names.values().contains(name)) << name;
  }
  EXPECT_EQ(value(kFirst10, Role::TrophyIdRole).toString(), "trophy-first-10");
  EXPECT_EQ(value(kFirst10, Role::ImageNameRole).toString(), "BronzeTrophy");
  EXPECT_TRUE(value(kFirst10, Role::IsUnlockedRole).toBool());
  EXPECT_EQ(value(kFirst10, Role::CardSubtitleRole).toString(),
            "Congratulations on your first 10 jumps!");
  EXPECT_EQ(value(kLostWeight, Role::TrophyIdRole).toString(), "200K-max");
  EXPECT_EQ(value(kLostWeight, Role::ImageNameRole).toString(), "PlatinumTrophy");
  EXPECT_FALSE(value(kLostWeight, Role::IsUnlockedRole).toBool());
}

TEST_F(TrophyListModelTest, FollowsUnlocksAndReloadsOfTheManager) {
  QSignalSpy changed(&*model_, &QAbstractItemModel::dataChanged);
  QSignalSpy reset(&*model_, &QAbstractItemModel::modelReset);

  // The hidden trophy keeps its secret on the card, locked and unlocked;
  // only the subtitle role holds the real text.
  EXPECT_TRUE(value(kSpeedDemon, Role::HiddenRole).toBool());
  EXPECT_EQ(value(kSpeedDemon, Role::CardSubtitleRole).toString(), "Hidden Trophy");
  manager_.unlockTrophy("750-under-5min");
  ASSERT_EQ(changed.count(), 1);
  EXPECT_EQ(changed[0][0].value<QModelIndex>().row(), kSpeedDemon);
  EXPECT_EQ(changed[0][1].value<QModelIndex>().row(), kSpeedDemon);
  EXPECT_TRUE(value(kSpeedDemon, Role::IsUnlockedRole).toBool());
  EXPECT_EQ(value(kSpeedDemon, Role::CardSubtitleRole).toString(), "Hidden Trophy");
  EXPECT_EQ(value(kSpeedDemon, Role::SubtitleRole).toString(),
            "Completed 750 jumps in under 5 minutes!");

  manager_.loadUnlockedTrophies();
  EXPECT_EQ(reset.count(), 1);
  EXPECT_EQ(model_->rowCount(), 11);
  EXPECT_TRUE(value(kSpeedDemon, Role::IsUnlockedRole).toBool());
}

TEST_F(TrophyListModelTest, LockedCardIgnoresTaps) {
  model_->cardAppeared(kLostWeight);
  QSignalSpy changed(&*model_, &QAbstractItemModel::dataChanged);
  model_->cardTapped(kLostWeight);
  EXPECT_EQ(tapsPlayed(), 0u);
  EXPECT_FALSE(shaking(kLostWeight));
  EXPECT_FALSE(scheduler_.advanceToNext());
  EXPECT_EQ(changed.count(), 0);
}

TEST_F(TrophyListModelTest, UnlockedCardPlaysItsHapticAndShakesForATimeAfterEachTap) {
  model_->cardAppeared(kFirst10);
  model_->cardAppeared(kLostWeight);
  model_->cardAppeared(kFirst10);  // shown again: a fresh engine for this card
  ASSERT_EQ(haptics_.enginesMade().size(), 3u);

  QSignalSpy changed(&*model_, &QAbstractItemModel::dataChanged);
  model_->cardTapped(kFirst10);
  ASSERT_EQ(tapsPlayed(), 1u);
  EXPECT_EQ(haptics_.playersStarted()[0].engine, haptics_.enginesMade()[2]);
  EXPECT_TRUE(shaking(kFirst10));
  ASSERT_EQ(changed.count(), 1);
  EXPECT_EQ(changed[0][2].value<QList<int>>(), QList<int>{Role::ShakingRole});

  // A second tap plays again; the first tap's reset still ends the shake
  // 0.3 s after the first tap, and the second one's finds nothing to do.
  scheduler_.advanceBy(0.2);
  model_->cardTapped(kFirst10);
  EXPECT_EQ(tapsPlayed(), 2u);
  scheduler_.advanceBy(0.09);
  EXPECT_TRUE(shaking(kFirst10));
  scheduler_.advanceBy(0.02);
  EXPECT_FALSE(shaking(kFirst10));
  scheduler_.advanceBy(1.0);
  EXPECT_EQ(changed.count(), 2);
}

TEST_F(TrophyListModelTest, CardWithoutEngineStillShakes) {
  model_->cardTapped(kFirst10);
  EXPECT_EQ(tapsPlayed(), 0u);
  EXPECT_EQ(log_.lines().back(), "Haptic engine not initialized");
  EXPECT_TRUE(shaking(kFirst10));
}

TEST_F(TrophyListModelTest, PendingShakeResetOutlivesTheModel) {
  model_->cardTapped(kFirst10);
  model_.reset();
  scheduler_.advanceBy(1.0);  // must not touch the destroyed model
  SUCCEED();
}

TEST_F(TrophyListModelTest, RowsOutsideTheListDoNothing) {
  for (int row : {-1, 11}) {
    model_->cardAppeared(row);
    model_->cardTapped(row);
  }
  EXPECT_TRUE(haptics_.enginesMade().empty());
  EXPECT_FALSE(scheduler_.advanceToNext());
}

}  // namespace
}  // namespace hopster
