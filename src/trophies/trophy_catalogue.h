#pragma once

#include <vector>

#include "trophies/trophy.h"

namespace hopster {

// The eleven trophies built into the app, all locked, in the order used by the
// trophy list, the persisted ids, the trophy grid and rule evaluation. It is
// the only source of trophies.
[[nodiscard]] const std::vector<Trophy>& trophyCatalogue();

}  // namespace hopster
