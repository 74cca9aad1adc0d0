#include "trophies/trophy_json.h"

#include <array>
#include <optional>

#include "trophies/json_decoding.h"

namespace hopster {

namespace {

constexpr std::array kLevels{DifficultyLevels::easy, DifficultyLevels::normal,
                             DifficultyLevels::hard, DifficultyLevels::extreme};

}  // namespace

nlohmann::ordered_json encodeDifficulty(DifficultyLevels level) {
  nlohmann::ordered_json json = nlohmann::ordered_json::object();
  json[std::string(difficultyName(level))] = nlohmann::ordered_json::object();
  return json;
}

nlohmann::ordered_json encodeTrophy(const Trophy& trophy) {
  nlohmann::ordered_json json = nlohmann::ordered_json::object();
  json["id"] = trophy.id;
  json["title"] = trophy.title;
  json["subtitle"] = trophy.subtitle;
  json["difficulty"] = encodeDifficulty(trophy.difficulty);
  json["hidden"] = trophy.hidden;
  json["isUnlocked"] = trophy.isUnlocked;
  return json;
}

DecodeResult<DifficultyLevels> decodeDifficulty(simdjson::dom::element value,
                                                std::string_view path) {
  auto object = decodeObject(value, path, "DifficultyLevels");
  if (!object) return std::move(object).error();

  // Count the distinct case names among the keys: a repeated key names its
  // case once, and its last occurrence supplies the case's value.
  std::array<std::optional<simdjson::dom::element>, kLevels.size()> found;
  for (const auto& member : *object) {
    if (const auto level = difficultyNamed(member.key)) {
      found[static_cast<std::size_t>(*level)] = member.value;
    }
  }
  std::optional<DifficultyLevels> level;
  int count = 0;
  for (std::size_t index = 0; index < kLevels.size(); ++index) {
    if (found[index]) {
      level = kLevels[index];
      ++count;
    }
  }
  if (count != 1) {
    return DecodingError::typeMismatch("DifficultyLevels", std::string(path),
                                       "Invalid number of keys found, expected one.");
  }

  // The case carries no values, so its object is opened but never read.
  const auto payloadPath = joinCodingPath(path, difficultyName(*level));
  if (auto payload = decodeObject(*found[static_cast<std::size_t>(*level)], payloadPath, "Object");
      !payload) {
    return std::move(payload).error();
  }
  return *level;
}

DecodeResult<Trophy> decodeTrophy(simdjson::dom::element value, std::string_view path) {
  auto object = decodeObject(value, path, "Trophy");
  if (!object) return std::move(object).error();

  // Members are read in declaration order, so the first faulty one is reported.
  auto id = decodeMember(*object, "id", path, decodeString);
  if (!id) return std::move(id).error();
  auto title = decodeMember(*object, "title", path, decodeString);
  if (!title) return std::move(title).error();
  auto subtitle = decodeMember(*object, "subtitle", path, decodeString);
  if (!subtitle) return std::move(subtitle).error();
  auto difficulty = decodeMember(*object, "difficulty", path, decodeDifficulty);
  if (!difficulty) return std::move(difficulty).error();
  auto hidden = decodeMember(*object, "hidden", path, decodeBool);
  if (!hidden) return std::move(hidden).error();
  auto isUnlocked = decodeMember(*object, "isUnlocked", path, decodeBool);
  if (!isUnlocked) return std::move(isUnlocked).error();

  return Trophy{std::move(id).value(),
                std::move(title).value(),
                std::move(subtitle).value(),
                *difficulty,
                *hidden,
                *isUnlocked};
}

}  // namespace hopster
