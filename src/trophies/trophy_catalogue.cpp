#include "trophies/trophy_catalogue.h"

namespace hopster {

const std::vector<Trophy>& trophyCatalogue() {
  using enum DifficultyLevels;
  // The ids follow no common pattern ("200K-max" has a capital K); they are
  // persisted, so they stay exactly as first shipped.
  static const std::vector<Trophy> catalogue{
      {"trophy-first-10", "First 10 Times", "Congratulations on your first 10 jumps!", easy, false,
       false},
      {"trophy-150-2min", "Fast Starter", "Completed 150 jumps in under 2 minutes!", normal, false,
       false},
      {"trophy-1000-times", "1000 Total Jumps", "You've completed 1000 jumps!", normal, false,
       false},
      {"10-min-jumps", "Jump Marathon", "Jumping continuously for 10 minutes!", normal, false,
       false},
      {"750-under-5min", "Speed Demon", "Completed 750 jumps in under 5 minutes!", normal, true,
       false},
      {"60-1min", "60 Jumps Per Minute", "Reached 60 jumps per minute!", easy, false, false},
      {"10k-max-jumps", "10,000 Total Jumps", "Incredible! You've conquered 10,000 jumps!", normal,
       false, false},
      {"100-1min", "Getting Faster!", "Reached 100 jumps per minute!", easy, false, false},
      {"160-1min", "Cheetah Jumper!", "Reached 160 jumps per minute!", hard, false, false},
      {"50k-max", "Jumping Machine", "50,000 total jumps achieved!", hard, false, false},
      {"200K-max", "Lost Weight!", "200,000 total jumps achieved!", extreme, false, false},
  };
  return catalogue;
}

}  // namespace hopster
