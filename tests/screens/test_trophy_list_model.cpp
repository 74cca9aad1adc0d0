#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <memory>
#include <optional>

#include "platform/doubles/memory_key_value_storage.h"
#include "platform/doubles/recording_haptic_device.h"
#include "platform/doubles/virtual_scheduler.h"
#include "platform/key_value_store.h"
#include "platform/linux/memory_log.h"
#include "screens/trophy_list_model.h"
#include "trophies/trophy_manager.h"

namespace hopster {
namespace {

using Role = TrophyListModel::Role;

// Rows of the catalogue: "trophy-first-10" (easy, unlocked in the store
// below), "750-under-5min" (the hidden one), "200K-max" (extreme).
constexpr int kFirst10 = 0;
constexpr int kSpeedDemon = 4;
constexpr int kLostWeight = 10;

class TrophyListModelTest : public ::testing::Test {
 protected:
  QString text(int row, Role role) const {
    return model_->data(model_->index(row), role).toString();
  }
  bool is(int row, Role role) const { return model_->data(model_->index(row), role).toBool(); }
  std::size_t tapsPlayed() const { return haptics_.playersStarted().size(); }

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

TEST_F(TrophyListModelTest, ShowsEveryTrophyInListOrderAndFollowsTheManager) {
  ASSERT_EQ(model_->rowCount(), 11);
  EXPECT_EQ(text(kFirst10, Role::TrophyIdRole), "trophy-first-10");
  EXPECT_EQ(text(kFirst10, Role::ImageNameRole), "BronzeTrophy");
  EXPECT_EQ(text(kLostWeight, Role::ImageNameRole), "PlatinumTrophy");

  // The hidden trophy's card keeps the secret, locked and unlocked.
  QSignalSpy changed(&*model_, &QAbstractItemModel::dataChanged);
  QSignalSpy reset(&*model_, &QAbstractItemModel::modelReset);
  EXPECT_FALSE(is(kSpeedDemon, Role::IsUnlockedRole));
  EXPECT_EQ(text(kSpeedDemon, Role::CardSubtitleRole), "Hidden Trophy");
  manager_.unlockTrophy("750-under-5min");
  ASSERT_EQ(changed.count(), 1);
  EXPECT_EQ(changed[0][0].value<QModelIndex>().row(), kSpeedDemon);
  EXPECT_TRUE(is(kSpeedDemon, Role::IsUnlockedRole));
  EXPECT_EQ(text(kSpeedDemon, Role::CardSubtitleRole), "Hidden Trophy");
  EXPECT_EQ(text(kSpeedDemon, Role::SubtitleRole), "Completed 750 jumps in under 5 minutes!");
  manager_.loadUnlockedTrophies();
  EXPECT_EQ(reset.count(), 1);
}

TEST_F(TrophyListModelTest, OnlyUnlockedCardsPlayTheirHapticAndShakeForATimeAfterEachTap) {
  model_->cardAppeared(kFirst10);
  model_->cardAppeared(kLostWeight);
  model_->cardAppeared(kFirst10);  // shown again: a fresh engine for this card
  ASSERT_EQ(haptics_.enginesMade().size(), 3u);
  model_->cardTapped(kLostWeight);
  EXPECT_FALSE(is(kLostWeight, Role::ShakingRole));
  EXPECT_FALSE(scheduler_.advanceToNext());

  QSignalSpy changed(&*model_, &QAbstractItemModel::dataChanged);
  model_->cardTapped(kFirst10);
  ASSERT_EQ(tapsPlayed(), 1u);
  EXPECT_EQ(haptics_.playersStarted()[0].engine, haptics_.enginesMade()[2]);
  EXPECT_TRUE(is(kFirst10, Role::ShakingRole));
  ASSERT_EQ(changed.count(), 1);
  EXPECT_EQ(changed[0][2].value<QList<int>>(), QList<int>{Role::ShakingRole});
  // A second tap plays again; the first tap's reset ends the shake 0.3 s
  // after the first tap all the same.
  scheduler_.advanceBy(0.2);
  model_->cardTapped(kFirst10);
  EXPECT_EQ(tapsPlayed(), 2u);
  scheduler_.advanceBy(0.09);
  EXPECT_TRUE(is(kFirst10, Role::ShakingRole));
  scheduler_.advanceBy(0.02);
  EXPECT_FALSE(is(kFirst10, Role::ShakingRole));
  scheduler_.advanceBy(1.0);
  EXPECT_EQ(changed.count(), 2);
}

TEST_F(TrophyListModelTest, RowsOutsideTheListAndResetsAfterTheModelDoNothing) {
  for (int row : {-1, 11}) {
    model_->cardAppeared(row);
    model_->cardTapped(row);
  }
  EXPECT_TRUE(haptics_.enginesMade().empty());
  EXPECT_FALSE(scheduler_.advanceToNext());
  model_->cardTapped(kFirst10);
  model_.reset();
  scheduler_.advanceBy(1.0);  // the pending reset must not touch the destroyed model
}

}  // namespace
}  // namespace hopster
