#include "platform/settings_keys.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string_view>
#include <utility>

namespace hopster {

namespace {

using nlohmann::json;

// What a value is, for a log line.
std::string describeValue(const json& value) {
  switch (value.type()) {
    case json::value_t::string:
      return "a string";
    case json::value_t::boolean:
      return "a Boolean";
    case json::value_t::object:
      return "an object";
    case json::value_t::array:
      return "an array";
    case json::value_t::null:
      return "null";
    default:
      return "the number " + value.dump();
  }
}

// The settings' own keys, each with the check of its type. A check may make
// the value usable in place (a whole-number float becomes an integer) and
// returns why the value cannot be used otherwise.
using KeyCheck = std::optional<std::string> (*)(json& value);

std::optional<std::string> checkWholeNumber(json& value) {
  if (value.is_number_integer() && value.is_number_unsigned() &&
      value.get<std::uint64_t>() >
          static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
    return describeValue(value) + ", too large a whole number";
  }
  if (value.is_number_integer()) return std::nullopt;
  if (value.is_number_float()) {
    // 2^63 is exact as a double; every integral double below it in magnitude
    // converts without loss.
    constexpr double kLimit = 9223372036854775808.0;
    const double number = value.get<double>();
    if (std::trunc(number) == number && number >= -kLimit && number < kLimit) {
      value = static_cast<std::int64_t>(number);
      return std::nullopt;
    }
  }
  return describeValue(value) + ", not a whole number";
}

std::optional<std::string> checkStringArray(json& value) {
  if (!value.is_array()) return describeValue(value) + ", not an array of strings";
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (!value[i].is_string()) {
      return "an array whose element " + std::to_string(i) + " is " + describeValue(value[i]) +
             ", not a string";
    }
  }
  return std::nullopt;
}

std::optional<std::string> checkBoolean(json& value) {
  if (value.is_boolean()) return std::nullopt;
  return describeValue(value) + ", not a Boolean";
}

// The platform layer knows these names only to check their types; their
// meaning belongs to the recording, the trophies and the onboarding.
constexpr std::array<std::pair<std::string_view, KeyCheck>, 3> kSettingsKeys{{
    {"totalJumps", checkWholeNumber},
    {"unlockedTrophies", checkStringArray},
    {"hasSeenOnboarding", checkBoolean},
}};

}  // namespace

std::vector<std::string> removeMistypedSettings(json& document) {
  std::vector<std::string> problems;
  for (const auto& [key, check] : kSettingsKeys) {
    const auto found = document.find(key);
    if (found == document.end()) continue;
    if (auto problem = check(*found)) {
      problems.push_back("\"" + std::string(key) + "\" holds " + *problem);
      document.erase(found);
    }
  }
  return problems;
}

}  // namespace hopster
