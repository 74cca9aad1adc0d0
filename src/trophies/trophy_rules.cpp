#include "trophies/trophy_rules.h"

#include <array>

namespace hopster {

namespace {

// Jumps per second. IEEE division gives an infinite rate for an elapsed of
// 0, a negative one for a negative elapsed and NaN for NaN, which is what
// lets the comparisons below treat those cases without special-casing.
double rate(const RecordingOutcome& outcome) {
  return static_cast<double>(outcome.jumpCount) / outcome.elapsed;
}

struct Rule {
  std::string_view id;
  bool (*holds)(const RecordingOutcome&);
};

// In catalogue order, which is also the order of evaluation. The rate limits
// are the decimal constants 1.67 and 2.67, not 100/60 and 160/60.
constexpr std::array<Rule, 11> kRules{{
    {"trophy-first-10", [](const RecordingOutcome& o) { return o.totalJumps >= 10; }},
    {"trophy-150-2min",
     [](const RecordingOutcome& o) { return o.jumpCount >= 150 && o.elapsed < 120.0; }},
    {"trophy-1000-times", [](const RecordingOutcome& o) { return o.totalJumps >= 1000; }},
    {"10-min-jumps",
     [](const RecordingOutcome& o) { return o.elapsed < 600.0 && o.jumpCount > 500; }},
    {"750-under-5min",
     [](const RecordingOutcome& o) { return o.elapsed < 300.0 && o.jumpCount >= 750; }},
    {"60-1min", [](const RecordingOutcome& o) { return o.jumpCount > 60 && rate(o) > 1.0; }},
    {"10k-max-jumps", [](const RecordingOutcome& o) { return o.totalJumps > 10000; }},
    {"100-1min", [](const RecordingOutcome& o) { return o.jumpCount > 100 && rate(o) > 1.67; }},
    {"160-1min", [](const RecordingOutcome& o) { return o.jumpCount > 160 && rate(o) > 2.67; }},
    {"50k-max", [](const RecordingOutcome& o) { return o.totalJumps > 50000; }},
    {"200K-max", [](const RecordingOutcome& o) { return o.totalJumps > 200000; }},
}};

}  // namespace

bool trophyRuleHolds(std::string_view id, const RecordingOutcome& outcome) {
  for (const Rule& rule : kRules) {
    if (rule.id == id) return rule.holds(outcome);
  }
  return false;
}

std::vector<std::string> trophiesEarned(const std::vector<Trophy>& current,
                                        const RecordingOutcome& outcome) {
  std::vector<std::string> earned;
  for (const Rule& rule : kRules) {
    // A trophy missing from the list is judged like a locked one.
    const auto index = indexOfTrophy(current, rule.id);
    if (index && current[*index].isUnlocked) continue;
    if (rule.holds(outcome)) earned.emplace_back(rule.id);
  }
  return earned;
}

std::optional<Trophy> checkTrophies(TrophyManager& manager, const RecordingOutcome& outcome) {
  const std::vector<std::string> earned = trophiesEarned(manager.trophies(), outcome);
  if (earned.empty()) return std::nullopt;
  manager.unlockTrophies(earned);
  const auto index = indexOfTrophy(manager.trophies(), earned.back());
  return index ? std::optional<Trophy>(manager.trophies()[*index]) : std::nullopt;
}

}  // namespace hopster
