#pragma once

#include <optional>
#include <string>

#include <simdjson.h>

#include "records/user_record_data.h"
#include "trophies/decode_result.h"

namespace hopster {

// The record file's JSON form: one compact object with the members "id",
// "dateStart", "dateEnd", "timeSpent", "jumps", "csvText" and, only when the
// record has one, "unlockedTrophy".

// Encodes `record` into `out`. Fails, with a description, when a date or the
// duration is not a finite number (JSON has no form for it) or a text is not
// valid UTF-8.
[[nodiscard]] std::optional<std::string> encodeUserRecordData(const UserRecordData& record,
                                                              std::string& out);

// Reads a record from a parsed document. The six members other than
// "unlockedTrophy" are required with their types ("jumps" an integer);
// "unlockedTrophy" may be missing or null; other members are ignored.
[[nodiscard]] DecodeResult<UserRecordData> decodeUserRecordData(simdjson::dom::element root);

}  // namespace hopster
