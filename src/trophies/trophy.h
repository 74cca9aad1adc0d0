#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "trophies/difficulty_levels.h"

namespace hopster {

// An achievement the user earns by what a recording, or the running total of
// all recordings, reaches. A plain value: everything but `isUnlocked` is fixed
// by the catalogue, and a trophy's identity is its `id` alone.
struct Trophy {
  std::string id;
  std::string title;
  std::string subtitle;
  DifficultyLevels difficulty = DifficultyLevels::easy;
  bool hidden = false;  // a secret trophy; only the trophy screens interpret it
  bool isUnlocked = false;
};

// Index of the first trophy whose id equals `id` exactly, front to back.
[[nodiscard]] std::optional<std::size_t> indexOfTrophy(const std::vector<Trophy>& trophies,
                                                       std::string_view id);

}  // namespace hopster
