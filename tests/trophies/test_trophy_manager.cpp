#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "platform/doubles/memory_key_value_storage.h"
#include "platform/key_value_store.h"
#include "platform/linux/memory_log.h"
#include "trophies/trophy_catalogue.h"
#include "trophies/trophy_manager.h"
#include "trophies/trophy_rules.h"

namespace hopster {
namespace {

using Strings = std::vector<std::string>;
using Kind = TrophyManager::Change::Kind;

// A manager over a store in memory seeded with `seed` as the raw JSON under
// "unlockedTrophies" (nothing when absent), recording each change it announces.
class Trophies : public ::testing::Test {
 protected:
  void start(std::optional<std::string> seed = std::nullopt) {
    manager_.reset();
    if (seed) state_->document = R"({"unlockedTrophies":)" + *seed + "}";
    store_.emplace(std::make_unique<MemoryKeyValueStorage>(state_), log_);
    manager_.emplace(*store_);
    will_ = manager_->observeWillChange([this](const TrophyManager::Change& change) {
      changes_.push_back(change.kind == Kind::wholeList ? -1 : static_cast<int>(change.index));
      before_.push_back(unlocked());
    });
    did_ = manager_->observeDidChange([this](const auto&) { after_.push_back(unlocked()); });
  }
  Strings unlocked() const {
    Strings ids;
    for (const Trophy& trophy : manager_->trophies()) {
      if (trophy.isUnlocked) ids.push_back(trophy.id);
    }
    return ids;
  }
  nlohmann::json stored() const {
    const auto document = nlohmann::json::parse(state_->document.value_or("{}"));
    return document.value("unlockedTrophies", nlohmann::json());
  }
  std::size_t saves() const { return state_->saves.size(); }

  std::shared_ptr<MemoryKeyValueStorage::State> state_ =
      std::make_shared<MemoryKeyValueStorage::State>();
  MemoryLog log_;
  std::optional<KeyValueStore> store_;
  std::optional<TrophyManager> manager_;
  Subscription will_, did_;
  std::vector<int> changes_;  // the changed index, or -1 for the whole list
  std::vector<Strings> before_, after_;
};

TEST_F(Trophies, AFreshStoreGivesTheLockedCatalogueAndUnknownIdsChangeNothing) {
  start();
  for (const char* id : {"no-such-trophy", "", "60-1", "200k-max"}) manager_->unlockTrophy(id);
  EXPECT_TRUE(unlocked().empty());
  EXPECT_TRUE(changes_.empty());
  EXPECT_EQ(saves(), 0u);
  manager_->saveUnlockedTrophies();  // nothing unlocked is an empty array, not a removal
  EXPECT_EQ(stored(), nlohmann::json::array());
}

TEST_F(Trophies, LoadsExactIdsIgnoresUnknownOnesAndAddsUnlocksToTheStoredIds) {
  start(R"(["160-1min","Trophy-First-10","retired-trophy","60-1min"])");
  EXPECT_EQ(unlocked(), (Strings{"60-1min", "160-1min"}));
  EXPECT_EQ(saves(), 0u);
  manager_->unlockTrophy("trophy-first-10");
  EXPECT_EQ(saves(), 1u);
  // Known ids in catalogue order, then the ones this version does not know
  // (a newer version's) kept in their stored order.
  EXPECT_EQ(stored(), nlohmann::json({"trophy-first-10", "60-1min", "160-1min", "Trophy-First-10",
                                      "retired-trophy"}));
  EXPECT_EQ(unlocked(), (Strings{"trophy-first-10", "60-1min", "160-1min"}));
}

TEST_F(Trophies, AMalformedStoredValueReadsAsAllLockedAndIsLeftAlone) {
  for (const char* value :
       {R"(["trophy-first-10",1])", R"([null,"60-1min"])", R"(["60-1min",["trophy-first-10"]])",
        R"("trophy-first-10")", R"({"60-1min":true})", "true", "null"}) {
    start(value);
    EXPECT_EQ(manager_->trophies().size(), trophyCatalogue().size()) << value;
    EXPECT_TRUE(unlocked().empty()) << value;
    EXPECT_EQ(saves(), 0u) << value;
  }
}

TEST_F(Trophies, ObserversHearBeforeAndAfterEveryChangeReunlocksIncluded) {
  start();
  manager_->unlockTrophy("60-1min");
  manager_->unlockTrophy("60-1min");  // told again, with nothing new to save
  manager_->loadUnlockedTrophies();
  EXPECT_EQ(changes_, (std::vector<int>{5, 5, -1}));
  EXPECT_EQ(before_, (std::vector<Strings>{{}, {"60-1min"}, {"60-1min"}}));
  EXPECT_EQ(after_, (std::vector<Strings>(3, {"60-1min"})));
  EXPECT_EQ(saves(), 1u);
  EXPECT_EQ(stored(), nlohmann::json({"60-1min"}));
}

TEST_F(Trophies, UnlocksOfAnotherProcessAreKeptAndReachTheListAsAWholeListChange) {
  start();
  KeyValueStore otherStore(std::make_unique<MemoryKeyValueStorage>(state_), log_);
  TrophyManager other(otherStore);
  other.unlockTrophy("60-1min");
  manager_->unlockTrophy("trophy-first-10");  // its write reads the other's unlock first
  other.unlockTrophy("100-1min");
  EXPECT_EQ(stored(), nlohmann::json({"trophy-first-10", "60-1min", "100-1min"}));
  store_->reload();
  store_->reload();  // nothing new: nothing told
  EXPECT_EQ(changes_, (std::vector<int>{0, -1, -1}));
  EXPECT_EQ(unlocked(), (Strings{"trophy-first-10", "60-1min", "100-1min"}));
  EXPECT_EQ(after_.back(), unlocked());
}

// Catalogue rows, 1-based: 1 first-10, 2 150-2min, 3 1000-times, 4 10-min-jumps,
// 5 750-under-5min, 6 60-1min, 7 10k-max-jumps, 8 100-1min, 9 160-1min, 10 50k-max, 11 200K-max.
Strings idsOfRows(const std::vector<int>& rows) {
  Strings ids;
  for (const int row : rows) ids.push_back(trophyCatalogue().at(row - 1).id);
  return ids;
}

TEST(TrophyRules, EarnExactlyTheseRowsFromTheLockedCatalogue) {
  constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
  // In turn: counts at and past each limit with times inside and at each limit; rates of
  // exactly 1, 1.67 and 2.67 per second and counts at the rate trophies' limits; the first big
  // session; an elapsed of 0 (passing every rate limit), a negative one (passing time limits,
  // failing rate limits) and NaN (failing both).
  const struct {
    RecordingOutcome outcome;  // {jumpCount, elapsed, totalJumps}
    std::vector<int> rows;
  } cases[] = {{{150, 119.9, 150}, {1, 2, 6}},
               {{150, 120.0, 150}, {1, 6}},
               {{149, 100.0, 149}, {1, 6}},
               {{501, 599.0, 501}, {1, 4}},
               {{501, 600.0, 501}, {1}},
               {{500, 300.0, 500}, {1, 6}},
               {{750, 299.9, 750}, {1, 4, 5, 6, 8}},
               {{750, 300.0, 750}, {1, 4, 6, 8}},
               {{749, 200.0, 749}, {1, 4, 6, 8, 9}},
               {{61, 60.0, 61}, {1, 6}},
               {{61, 61.0, 61}, {1}},
               {{60, 1.0, 60}, {1}},
               {{167, 100.0, 167}, {1, 2, 6}},
               {{168, 100.0, 168}, {1, 2, 6, 8}},
               {{100, 1.0, 100}, {1, 6}},
               {{267, 100.0, 267}, {1, 2, 6, 8}},
               {{268, 100.0, 268}, {1, 2, 6, 8, 9}},
               {{160, 1.0, 160}, {1, 2, 6, 8}},
               {{800, 290.0, 800}, {1, 4, 5, 6, 8, 9}},
               {{161, 0.0, 161}, {1, 2, 6, 8, 9}},
               {{800, -5.0, 800}, {1, 2, 4, 5}},
               {{800, kNaN, 800}, {1}}};
  for (const auto& [outcome, rows] : cases) {
    EXPECT_EQ(trophiesEarned(trophyCatalogue(), outcome), idsOfRows(rows))
        << outcome.jumpCount << " jumps in " << outcome.elapsed << " s";
  }
  // The total trophies, each with the highest total that does not earn it.
  for (const auto& [row, below] :
       {std::pair{1, 9}, {3, 999}, {7, 10000}, {10, 50000}, {11, 200000}}) {
    const std::string id = idsOfRows({row})[0];
    EXPECT_FALSE(trophyRuleHolds(id, {1000000, 1.0, below})) << id;
    EXPECT_TRUE(trophyRuleHolds(id, {0, 1.0, below + 1})) << id;
  }
  EXPECT_FALSE(trophyRuleHolds("200k-max", {1000000, 1.0, 1000000}));
}

// Already unlocked trophies are skipped: the popup shows the last one
// unlocked now, as it is after unlocking.
TEST_F(Trophies, CheckUnlocksTheNewlyEarnedInOrderWithOneSaveAndReturnsTheLastForThePopup) {
  start(R"(["160-1min","trophy-first-10"])");
  const std::optional<Trophy> popup = checkTrophies(*manager_, {800, 290.0, 800});
  ASSERT_TRUE(popup.has_value());
  EXPECT_EQ(popup->title, "Getting Faster!");
  EXPECT_TRUE(popup->isUnlocked);
  EXPECT_EQ(changes_, (std::vector<int>{3, 4, 5, 7}));
  EXPECT_EQ(stored(), nlohmann::json(idsOfRows({1, 4, 5, 6, 8, 9})));
  // Four unlocks, one flush of the settings file.
  EXPECT_EQ(saves(), 1u);
  changes_.clear();
  EXPECT_FALSE(checkTrophies(*manager_, {800, 290.0, 900}).has_value());  // earned before
  EXPECT_FALSE(checkTrophies(*manager_, {1, 30.0, 9}).has_value());       // earns nothing
  EXPECT_TRUE(changes_.empty());
  EXPECT_EQ(saves(), 1u);
}

}  // namespace
}  // namespace hopster
