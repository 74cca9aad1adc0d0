#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "trophies/difficulty_levels.h"
#include "trophies/trophy_catalogue.h"

namespace hopster {
namespace {

TEST(TrophyCatalogue, ElevenLockedTrophiesInOrderOneHiddenOneExtreme) {
  std::vector<std::string> ids;
  for (const Trophy& trophy : trophyCatalogue()) {
    ids.push_back(trophy.id);
    EXPECT_FALSE(trophy.isUnlocked) << trophy.id;
    EXPECT_EQ(trophy.hidden, trophy.id == "750-under-5min") << trophy.id;
    EXPECT_EQ(trophy.difficulty == DifficultyLevels::extreme, trophy.id == "200K-max") << trophy.id;
    for (const std::string& text : {trophy.id, trophy.title, trophy.subtitle}) {
      EXPECT_TRUE(
          std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c < 0x7f; }))
          << "not plain ASCII: " << text;
    }
  }
  EXPECT_EQ(ids,
            (std::vector<std::string>{"trophy-first-10", "trophy-150-2min", "trophy-1000-times",
                                      "10-min-jumps", "750-under-5min", "60-1min", "10k-max-jumps",
                                      "100-1min", "160-1min", "50k-max", "200K-max"}));
  EXPECT_EQ(trophyCatalogue()[2].subtitle, "You've completed 1000 jumps!");
  EXPECT_EQ(trophyCatalogue()[8].title, "Cheetah Jumper!");
}

TEST(DifficultyLevels, NamesReadBackExactlyAndCaseSensitively) {
  for (const auto level : {DifficultyLevels::easy, DifficultyLevels::normal, DifficultyLevels::hard,
                           DifficultyLevels::extreme}) {
    EXPECT_EQ(difficultyNamed(difficultyName(level)), level);
  }
  EXPECT_EQ(difficultyName(DifficultyLevels::extreme), "extreme");
  EXPECT_EQ(difficultyNamed("Easy"), std::nullopt);
  EXPECT_EQ(difficultyNamed("easy "), std::nullopt);
}

}  // namespace
}  // namespace hopster
