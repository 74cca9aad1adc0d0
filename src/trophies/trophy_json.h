#pragma once

#include <string_view>

#include <simdjson.h>
#include <nlohmann/json.hpp>

#include "trophies/decode_result.h"
#include "trophies/difficulty_levels.h"
#include "trophies/trophy.h"

namespace hopster {

// The JSON forms of a trophy and its difficulty. Both only ever appear inside
// a larger document (a trophy inside a saved recording), so the decoders take
// the coding path of the value they read, which their errors report.

// A difficulty as an object with one member named after the case, holding an
// empty object: {"easy":{}}.
[[nodiscard]] nlohmann::ordered_json encodeDifficulty(DifficultyLevels level);

// A trophy as an object with its six members in declaration order.
[[nodiscard]] nlohmann::ordered_json encodeTrophy(const Trophy& trophy);

// Reads a difficulty: exactly one of the four case names must be a member;
// other members are ignored, as is the content of the case's object.
[[nodiscard]] DecodeResult<DifficultyLevels> decodeDifficulty(simdjson::dom::element value,
                                                              std::string_view path);

// Reads a trophy: all six members are required and must have their JSON
// types; other members are ignored. The id is not checked against the
// catalogue.
[[nodiscard]] DecodeResult<Trophy> decodeTrophy(simdjson::dom::element value,
                                                std::string_view path);

}  // namespace hopster
