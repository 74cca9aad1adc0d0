#include <limits>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "trophies/seeded_store.h"
#include "trophies/trophy_catalogue.h"
#include "trophies/trophy_rules.h"

namespace hopster {
namespace {

using testing::SeededStore;
using Strings = std::vector<std::string>;

// Catalogue rows, 1-based: 1 first-10, 2 150-2min, 3 1000-times, 4 10-min-jumps,
// 5 750-under-5min, 6 60-1min, 7 10k-max-jumps, 8 100-1min, 9 160-1min, 10 50k-max, 11 200K-max.
Strings idsOfRows(const std::vector<int>& rows) {
  Strings ids;
  for (const int row : rows) ids.push_back(trophyCatalogue().at(row - 1).id);
  return ids;
}

struct RuleCase {
  const char* name;
  RecordingOutcome outcome;  // {jumpCount, elapsed, totalJumps}
  std::vector<int> rows;     // earned from an all-locked list
};

void PrintTo(const RuleCase& c, std::ostream* os) { *os << c.name; }

class TrophyRules : public ::testing::TestWithParam<RuleCase> {};

TEST_P(TrophyRules, EarnExactlyTheseRowsFromTheLockedCatalogue) {
  EXPECT_EQ(trophiesEarned(trophyCatalogue(), GetParam().outcome), idsOfRows(GetParam().rows));
}

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

INSTANTIATE_TEST_SUITE_P(
    Boundaries, TrophyRules,
    ::testing::Values(
        RuleCase{"first10", {10, 30.0, 10}, {1}}, RuleCase{"nine", {9, 30.0, 9}, {}},
        RuleCase{"fast150", {150, 119.9, 150}, {1, 2, 6}},
        RuleCase{"fast150AtLimit", {150, 120.0, 150}, {1, 6}},
        RuleCase{"fast149", {149, 100.0, 149}, {1, 6}},
        RuleCase{"marathon501", {501, 599.0, 501}, {1, 4}},
        RuleCase{"marathonAtLimit", {501, 600.0, 501}, {1}},
        RuleCase{"marathon500", {500, 300.0, 500}, {1, 6}},  // rate 1.667 < 1.67
        RuleCase{"speedDemon", {750, 299.9, 750}, {1, 4, 5, 6, 8}},
        RuleCase{"speedDemonAtLimit", {750, 300.0, 750}, {1, 4, 6, 8}},
        RuleCase{"speed749", {749, 200.0, 749}, {1, 4, 6, 8, 9}},
        RuleCase{"rate60", {61, 60.0, 61}, {1, 6}}, RuleCase{"rateExactlyOne", {61, 61.0, 61}, {1}},
        RuleCase{"sixtyJumpsFast", {60, 1.0, 60}, {1}},
        RuleCase{"rateExactly167", {167, 100.0, 167}, {1, 2, 6}},
        RuleCase{"rate168", {168, 100.0, 168}, {1, 2, 6, 8}},
        RuleCase{"hundredJumpsFast", {100, 1.0, 100}, {1, 6}},
        RuleCase{"rateExactly267", {267, 100.0, 267}, {1, 2, 6, 8}},
        RuleCase{"rate268", {268, 100.0, 268}, {1, 2, 6, 8, 9}},
        RuleCase{"hundredSixtyJumpsFast", {160, 1.0, 160}, {1, 2, 6, 8}},
        RuleCase{"total999", {1, 1.0, 999}, {1}}, RuleCase{"total1000", {1, 1.0, 1000}, {1, 3}},
        RuleCase{"total10000", {1, 1.0, 10000}, {1, 3}},
        RuleCase{"total10001", {1, 1.0, 10001}, {1, 3, 7}},
        RuleCase{"total50000", {1, 1.0, 50000}, {1, 3, 7}},
        RuleCase{"total50001", {1, 1.0, 50001}, {1, 3, 7, 10}},
        RuleCase{"total200000", {1, 1.0, 200000}, {1, 3, 7, 10}},
        RuleCase{"total200001", {1, 1.0, 200001}, {1, 3, 7, 10, 11}},
        RuleCase{"firstBig", {800, 290.0, 800}, {1, 4, 5, 6, 8, 9}},
        // An elapsed of 0 gives an infinite rate, which passes every rate limit.
        RuleCase{"elapsedZero", {161, 0.0, 161}, {1, 2, 6, 8, 9}},
        // A negative elapsed passes every time limit and fails every rate limit.
        RuleCase{"elapsedNegative", {800, -5.0, 800}, {1, 2, 4, 5}},
        RuleCase{"elapsedNaN", {800, kNaN, 800}, {1}},
        RuleCase{"everything", {1000000, 1.0, 1000000}, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}}),
    [](const auto& tested) { return std::string(tested.param.name); });

TEST(TrophyRules, OnlyCatalogueIdsHaveRules) {
  EXPECT_FALSE(trophyRuleHolds("200k-max", {1000000, 1.0, 1000000}));
  EXPECT_TRUE(trophyRuleHolds("200K-max", {1000000, 1.0, 1000000}));
}

TEST(TrophyRules, SkipUnlockedTrophiesAndJudgeMissingOnesAsLocked) {
  std::vector<Trophy> current = trophyCatalogue();
  current[0].isUnlocked = true;        // row 1
  current.erase(current.begin() + 5);  // row 6 missing from the list
  EXPECT_EQ(trophiesEarned(current, {61, 60.0, 61}), idsOfRows({6}));
}

class CheckTrophies : public ::testing::Test {
 protected:
  void start(std::optional<std::string> document) {
    seeded_.emplace(std::move(document));
    manager_.emplace(seeded_->store());
    watching_ = manager_->observeWillChange([this](const auto&) { ++notifications_; });
  }

  std::optional<SeededStore> seeded_;
  std::optional<TrophyManager> manager_;
  Subscription watching_;
  int notifications_ = 0;
};

TEST_F(CheckTrophies, UnlocksAllEarnedAndReturnsTheLastForThePopup) {
  start(std::nullopt);
  const std::optional<Trophy> popup = checkTrophies(*manager_, {800, 290.0, 800});
  ASSERT_TRUE(popup.has_value());
  EXPECT_EQ(popup->title, "Cheetah Jumper!");
  EXPECT_TRUE(popup->isUnlocked);
  EXPECT_EQ(notifications_, 6);
  EXPECT_EQ(seeded_->saveCount(), 6u);
  EXPECT_EQ(seeded_->stored("unlockedTrophies"), nlohmann::json(idsOfRows({1, 4, 5, 6, 8, 9})));
}

TEST_F(CheckTrophies, PopupIsTheLastNewlyUnlockedTrophy) {
  start(R"({"unlockedTrophies":["160-1min","trophy-first-10"]})");
  EXPECT_EQ(checkTrophies(*manager_, {800, 290.0, 800})->id, "100-1min");
}

TEST_F(CheckTrophies, NothingNewMeansNoPopupNoSaveNoNotification) {
  start(R"({"unlockedTrophies":["trophy-first-10"]})");
  EXPECT_FALSE(checkTrophies(*manager_, {10, 30.0, 20}).has_value());  // earned before
  EXPECT_FALSE(checkTrophies(*manager_, {1, 30.0, 9}).has_value());    // earns nothing
  EXPECT_EQ(notifications_, 0);
  EXPECT_EQ(seeded_->saveCount(), 0u);
}

}  // namespace
}  // namespace hopster
