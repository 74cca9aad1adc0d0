#include "decoder_fuzz_target.h"

#include <cstdlib>
#include <string>

#include <simdjson.h>

#include "records/user_record_json.h"
#include "trophies/trophy_json.h"

namespace hopster {
namespace {

bool sameTrophy(const std::optional<Trophy>& a, const std::optional<Trophy>& b) {
  if (a.has_value() != b.has_value()) return false;
  if (!a) return true;
  return a->id == b->id && a->title == b->title && a->subtitle == b->subtitle &&
         a->difficulty == b->difficulty && a->hidden == b->hidden && a->isUnlocked == b->isUnlocked;
}

bool sameRecord(const UserRecordData& a, const UserRecordData& b) {
  return a.id == b.id && a.dateStart == b.dateStart && a.dateEnd == b.dateEnd &&
         a.timeSpent == b.timeSpent && a.jumps == b.jumps && a.csvText == b.csvText &&
         sameTrophy(a.unlockedTrophy, b.unlockedTrophy);
}

}  // namespace

int fuzzDecoders(const std::uint8_t* data, std::size_t size) {
  static simdjson::dom::parser parser;
  const simdjson::padded_string input(reinterpret_cast<const char*>(data), size);
  simdjson::dom::element root;
  if (parser.parse(input).get(root)) return 0;

  (void)decodeTrophy(root, "unlockedTrophy");
  (void)decodeDifficulty(root, "difficulty");

  auto record = decodeUserRecordData(root);
  if (!record) {
    (void)record.error().description();
    return 0;
  }
  std::string encoded;
  if (encodeUserRecordData(*record, encoded)) std::abort();  // a decoded record always encodes
  simdjson::dom::parser again;
  simdjson::dom::element reparsed;
  if (again.parse(encoded).get(reparsed)) std::abort();
  auto roundTrip = decodeUserRecordData(reparsed);
  if (!roundTrip || !sameRecord(*record, *roundTrip)) std::abort();
  return 0;
}

}  // namespace hopster
