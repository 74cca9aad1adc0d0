#include "trophies/trophy.h"

namespace hopster {

std::optional<std::size_t> indexOfTrophy(const std::vector<Trophy>& trophies, std::string_view id) {
  for (std::size_t index = 0; index < trophies.size(); ++index) {
    if (trophies[index].id == id) return index;
  }
  return std::nullopt;
}

}  // namespace hopster
