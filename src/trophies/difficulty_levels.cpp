#include "trophies/difficulty_levels.h"

#include <array>
#include <utility>

namespace hopster {

namespace {

constexpr std::array<std::pair<DifficultyLevels, std::string_view>, 4> kNames{{
    {DifficultyLevels::easy, "easy"},
    {DifficultyLevels::normal, "normal"},
    {DifficultyLevels::hard, "hard"},
    {DifficultyLevels::extreme, "extreme"},
}};

}  // namespace

std::string_view difficultyName(DifficultyLevels level) {
  for (const auto& [candidate, name] : kNames) {
    if (candidate == level) return name;
  }
  return {};
}

std::optional<DifficultyLevels> difficultyNamed(std::string_view name) {
  for (const auto& [level, candidate] : kNames) {
    if (candidate == name) return level;
  }
  return std::nullopt;
}

}  // namespace hopster
