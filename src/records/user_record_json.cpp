#include "records/user_record_json.h"

#include <cmath>
#include <utility>

#include <nlohmann/json.hpp>

#include "trophies/json_decoding.h"
#include "trophies/trophy_json.h"

namespace hopster {

std::optional<std::string> encodeUserRecordData(const UserRecordData& record, std::string& out) {
  for (const auto& [key, value] :
       {std::pair{"dateStart", record.dateStart}, std::pair{"dateEnd", record.dateEnd},
        std::pair{"timeSpent", record.timeSpent}}) {
    if (!std::isfinite(value)) {
      return "invalidValue(" + std::string(key) + "): Unable to encode " +
             (std::isnan(value) ? "nan"
              : value > 0       ? "inf"
                                : "-inf") +
             " directly in JSON.";
    }
  }
  nlohmann::ordered_json object;
  object["id"] = record.id;
  object["dateStart"] = record.dateStart;
  object["dateEnd"] = record.dateEnd;
  object["timeSpent"] = record.timeSpent;
  object["jumps"] = record.jumps;
  object["csvText"] = record.csvText;
  if (record.unlockedTrophy) object["unlockedTrophy"] = encodeTrophy(*record.unlockedTrophy);
  try {
    out = object.dump();
  } catch (const nlohmann::json::exception& error) {
    return std::string("invalidValue: ") + error.what();
  }
  return std::nullopt;
}

DecodeResult<UserRecordData> decodeUserRecordData(simdjson::dom::element root) {
  auto object = decodeObject(root, "", "UserRecordData");
  if (!object) return std::move(object).error();

  UserRecordData record;
  auto id = decodeMember(*object, "id", "", decodeString);
  if (!id) return std::move(id).error();
  record.id = std::move(id).value();

  for (auto [key, field] :
       {std::pair{"dateStart", &record.dateStart}, std::pair{"dateEnd", &record.dateEnd},
        std::pair{"timeSpent", &record.timeSpent}}) {
    auto value = decodeMember(*object, key, "", decodeDouble);
    if (!value) return std::move(value).error();
    *field = *value;
  }

  auto jumps = decodeMember(*object, "jumps", "", decodeInt64);
  if (!jumps) return std::move(jumps).error();
  record.jumps = *jumps;

  auto csv = decodeMember(*object, "csvText", "", decodeString);
  if (!csv) return std::move(csv).error();
  record.csvText = std::move(csv).value();

  // Missing and null both mean "no trophy".
  if (auto trophy = findMember(*object, "unlockedTrophy"); trophy && !trophy->is_null()) {
    auto decoded = decodeTrophy(*trophy, "unlockedTrophy");
    if (!decoded) return std::move(decoded).error();
    record.unlockedTrophy = std::move(decoded).value();
  }
  return record;
}

}  // namespace hopster
