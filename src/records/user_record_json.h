#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <simdjson.h>

#include "platform/failure.h"
#include "records/user_record_data.h"
#include "trophies/decode_result.h"

namespace hopster {

// The record file's JSON form: one compact object with the members "id",
// "dateStart", "dateEnd", "timeSpent", "jumps", "csvText" and, only when the
// record has one, "unlockedTrophy".

// Encodes `record` into `out`. Fails (malformed), with a description, when a
// date or the duration is not a finite number (JSON has no form for it) or a
// text is not valid UTF-8.
[[nodiscard]] Status encodeUserRecordData(const UserRecordData& record, std::string& out);

// The record file around its CSV text, for a text already escaped for a JSON
// string: the file is `head`, the escaped text, then `tail`. The record's own
// csvText is not used. Fails like encodeUserRecordData.
[[nodiscard]] Status encodeUserRecordParts(const UserRecordData& record, std::string& head,
                                           std::string& tail);

// Appends `text` to `out` as the inside of a JSON string, exactly as the
// JSON library writes it (control bytes escaped, UTF-8 passed through).
// Fails (malformed), with the library's description, when `text` is not
// valid UTF-8; `out` is unspecified then.
[[nodiscard]] Status appendEscapedJsonText(std::string_view text, std::string& out);

// Reads a record from a parsed document. The six members other than
// "unlockedTrophy" are required with their types ("jumps" an integer);
// "unlockedTrophy" may be missing or null; other members are ignored.
[[nodiscard]] DecodeResult<UserRecordData> decodeUserRecordData(simdjson::dom::element root);

}  // namespace hopster
