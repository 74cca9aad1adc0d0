#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace hopster {

// Checks the settings' own keys in a settings document: "totalJumps" must be
// a whole number (a float without a fraction, such as 995.0, is turned into
// the integer), "unlockedTrophies" an array of strings, "hasSeenOnboarding" a
// Boolean. Removes each one that holds a value of another type and returns,
// for each, one phrase saying which key and what it held. Other keys are left
// as they are.
[[nodiscard]] std::vector<std::string> removeMistypedSettings(nlohmann::json& document);

}  // namespace hopster
