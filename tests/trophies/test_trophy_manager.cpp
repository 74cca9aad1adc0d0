#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "trophies/seeded_store.h"
#include "trophies/trophy_catalogue.h"
#include "trophies/trophy_manager.h"

namespace hopster {
namespace {

using testing::SeededStore;
using Strings = std::vector<std::string>;

Strings unlockedIds(const TrophyManager& manager) {
  Strings ids;
  for (const Trophy& trophy : manager.trophies()) {
    if (trophy.isUnlocked) ids.push_back(trophy.id);
  }
  return ids;
}

std::string seededWith(const std::string& value) { return R"({"unlockedTrophies":)" + value + "}"; }

TEST(TrophyManager, FreshStoreGivesTheLockedCatalogueWithoutWriting) {
  SeededStore seeded;
  TrophyManager manager(seeded.store());
  const auto& catalogue = trophyCatalogue();
  ASSERT_EQ(manager.trophies().size(), catalogue.size());
  for (std::size_t i = 0; i < catalogue.size(); ++i) {
    EXPECT_EQ(manager.trophies()[i].id, catalogue[i].id);
    EXPECT_EQ(manager.trophies()[i].title, catalogue[i].title);
    EXPECT_FALSE(manager.trophies()[i].isUnlocked);
  }
  EXPECT_EQ(seeded.saveCount(), 0u);
  EXPECT_EQ(seeded.stored("unlockedTrophies"), nullptr);
  manager.saveUnlockedTrophies();  // nothing unlocked is an empty array, not a removal
  EXPECT_EQ(seeded.stored("unlockedTrophies"), nlohmann::json::array());
}

TEST(TrophyManager, LoadsStoredIdsAndSavesThemInCatalogueOrder) {
  SeededStore seeded(seededWith(R"(["60-1min","trophy-first-10"])"));
  TrophyManager manager(seeded.store());
  EXPECT_EQ(unlockedIds(manager), (Strings{"trophy-first-10", "60-1min"}));
  manager.saveUnlockedTrophies();
  EXPECT_EQ(seeded.stored("unlockedTrophies"), nlohmann::json({"trophy-first-10", "60-1min"}));
}

class MalformedStoredValue : public ::testing::TestWithParam<const char*> {};

TEST_P(MalformedStoredValue, ReadsAsNothingUnlockedAndIsLeftAlone) {
  SeededStore seeded(seededWith(GetParam()));
  const TrophyManager manager(seeded.store());
  EXPECT_EQ(manager.trophies().size(), trophyCatalogue().size());
  EXPECT_TRUE(unlockedIds(manager).empty());
  EXPECT_EQ(seeded.saveCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Shapes, MalformedStoredValue,
                         ::testing::Values(R"(["trophy-first-10",1])", R"([null,"60-1min"])",
                                           R"(["60-1min",["trophy-first-10"]])",
                                           R"("trophy-first-10")", R"({"60-1min":true})", "true",
                                           "null", "7"));

TEST(TrophyManager, MatchesIdsExactly) {
  SeededStore seeded(seededWith(R"(["Trophy-First-10","60-1min ","200k-max"])"));
  TrophyManager manager(seeded.store());
  EXPECT_TRUE(unlockedIds(manager).empty());
  manager.unlockTrophy("200k-max");
  EXPECT_EQ(seeded.saveCount(), 0u);
}

TEST(TrophyManager, UnknownStoredIdStaysUntilTheNextUnlockDropsIt) {
  SeededStore seeded(seededWith(R"(["retired-trophy","60-1min"])"));
  TrophyManager manager(seeded.store());
  EXPECT_EQ(unlockedIds(manager), (Strings{"60-1min"}));
  EXPECT_EQ(seeded.stored("unlockedTrophies"), nlohmann::json({"retired-trophy", "60-1min"}));

  manager.unlockTrophy("trophy-first-10");
  EXPECT_EQ(seeded.stored("unlockedTrophies"), nlohmann::json({"trophy-first-10", "60-1min"}));
}

TEST(TrophyManager, UnlockOnAFreshStoreSavesExactlyThatId) {
  SeededStore seeded;
  TrophyManager manager(seeded.store());
  manager.unlockTrophy("trophy-150-2min");
  EXPECT_EQ(seeded.saveCount(), 1u);
  EXPECT_EQ(seeded.stored("unlockedTrophies"), nlohmann::json({"trophy-150-2min"}));
  EXPECT_EQ(unlockedIds(manager), (Strings{"trophy-150-2min"}));
}

// Records the list's unlocked ids at each notification, before and after.
struct Recorder {
  explicit Recorder(TrophyManager& manager)
      : will(manager.observeWillChange([this, &manager](const TrophyManager::Change& change) {
          willChange.push_back(change);
          unlockedBefore.push_back(unlockedIds(manager));
        })),
        did(manager.observeDidChange(
            [this, &manager](const auto&) { unlockedAfter.push_back(unlockedIds(manager)); })) {}

  std::vector<TrophyManager::Change> willChange;
  std::vector<Strings> unlockedBefore;
  std::vector<Strings> unlockedAfter;
  Subscription will;
  Subscription did;
};

TEST(TrophyManager, TellsObserversBeforeAndAfterEachChange) {
  SeededStore seeded;
  TrophyManager manager(seeded.store());
  Recorder recorder(manager);

  manager.unlockTrophy("60-1min");
  manager.loadUnlockedTrophies();
  ASSERT_EQ(recorder.willChange.size(), 2u);
  EXPECT_EQ(recorder.willChange[0].kind, TrophyManager::Change::Kind::oneTrophy);
  EXPECT_EQ(recorder.willChange[0].index, 5u);
  EXPECT_EQ(recorder.willChange[1].kind, TrophyManager::Change::Kind::wholeList);
  EXPECT_EQ(recorder.unlockedBefore, (std::vector<Strings>{Strings{}, Strings{"60-1min"}}));
  EXPECT_EQ(recorder.unlockedAfter, (std::vector<Strings>(2, Strings{"60-1min"})));
}

TEST(TrophyManager, ReunlockingNotifiesAndRewritesTheSameList) {
  SeededStore seeded(seededWith(R"(["60-1min"])"));
  TrophyManager manager(seeded.store());
  Recorder recorder(manager);

  manager.unlockTrophy("60-1min");
  EXPECT_EQ(recorder.willChange.size(), 1u);
  EXPECT_EQ(seeded.saveCount(), 1u);
  EXPECT_EQ(seeded.stored("unlockedTrophies"), nlohmann::json({"60-1min"}));
}

TEST(TrophyManager, UnknownIdChangesTellsAndWritesNothing) {
  SeededStore seeded;
  TrophyManager manager(seeded.store());
  Recorder recorder(manager);

  manager.unlockTrophy("no-such-trophy");
  manager.unlockTrophy("");
  EXPECT_TRUE(recorder.willChange.empty());
  EXPECT_TRUE(recorder.unlockedAfter.empty());
  EXPECT_EQ(seeded.saveCount(), 0u);
  EXPECT_TRUE(unlockedIds(manager).empty());
}

TEST(TrophyManager, EndedSubscriptionsAreNotCalled) {
  SeededStore seeded;
  auto manager = std::make_unique<TrophyManager>(seeded.store());
  int calls = 0;
  Subscription kept = manager->observeWillChange([&](const auto&) { ++calls; });
  Subscription selfCancelling;
  selfCancelling = manager->observeWillChange([&](const auto&) {
    ++calls;
    selfCancelling.cancel();
  });
  {
    const Subscription dropped = manager->observeWillChange([&](const auto&) { ++calls; });
  }

  manager->unlockTrophy("60-1min");  // kept and selfCancelling
  manager->unlockTrophy("60-1min");  // kept only
  EXPECT_EQ(calls, 3);

  manager.reset();
  kept.cancel();  // outliving the manager is harmless
}

}  // namespace
}  // namespace hopster
