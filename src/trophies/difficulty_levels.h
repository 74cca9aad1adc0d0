#pragma once

#include <optional>
#include <string_view>

namespace hopster {

// How hard a trophy is to earn; the trophy screens pick a card's badge from it.
// The case names appear only as the keys of the JSON form.
enum class DifficultyLevels { easy, normal, hard, extreme };

// The case's name: "easy", "normal", "hard" or "extreme".
[[nodiscard]] std::string_view difficultyName(DifficultyLevels level);

// The case with exactly this name (case-sensitive), if any.
[[nodiscard]] std::optional<DifficultyLevels> difficultyNamed(std::string_view name);

}  // namespace hopster
