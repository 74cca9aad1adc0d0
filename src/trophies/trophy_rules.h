#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "trophies/trophy.h"
#include "trophies/trophy_manager.h"

namespace hopster {

// What the trophy rules judge once a recording has stopped.
struct RecordingOutcome {
  std::int64_t jumpCount = 0;   // jumps counted in the recording
  double elapsed = 0.0;         // its wall-clock duration in seconds, as saved
  std::int64_t totalJumps = 0;  // running total, this recording included
};

// Whether the rule of the catalogue trophy `id` holds; false for any other id.
// Time and rate limits are strict; the rate is jumps per second, so an
// elapsed of 0 passes every rate limit, a negative one passes every time
// limit and fails every rate limit, and NaN fails both.
[[nodiscard]] bool trophyRuleHolds(std::string_view id, const RecordingOutcome& outcome);

// The ids of the catalogue trophies the outcome earns, in catalogue order,
// leaving out those already unlocked in `current`.
[[nodiscard]] std::vector<std::string> trophiesEarned(const std::vector<Trophy>& current,
                                                      const RecordingOutcome& outcome);

// Unlocks every trophy the outcome earns through `manager` and returns the
// last one unlocked, as the manager now holds it, for the unlock popup;
// nothing when no trophy was unlocked.
std::optional<Trophy> checkTrophies(TrophyManager& manager, const RecordingOutcome& outcome);

}  // namespace hopster
