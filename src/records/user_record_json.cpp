#include "records/user_record_json.h"

#include <array>
#include <cmath>
#include <utility>

#include <nlohmann/json.hpp>

#include "trophies/json_decoding.h"
#include "trophies/trophy_json.h"

namespace hopster {

namespace {

// How the JSON library writes each byte inside a string: 0 copied as it is,
// 1 the start of a multi-byte UTF-8 sequence (or a stray byte), or the letter
// after the backslash of a short escape; 'u' for the \u00xx form.
constexpr std::array<char, 256> kEscapes = [] {
  std::array<char, 256> table{};
  for (int byte = 0; byte < 0x20; ++byte) table[byte] = 'u';
  table['\b'] = 'b';
  table['\t'] = 't';
  table['\n'] = 'n';
  table['\f'] = 'f';
  table['\r'] = 'r';
  table['"'] = '"';
  table['\\'] = '\\';
  for (int byte = 0x80; byte < 0x100; ++byte) table[byte] = 1;
  return table;
}();

// The length of the well-formed UTF-8 sequence starting `text` (at least one
// byte available), or 0 when it is not one: no overlong forms, no
// surrogates, nothing past U+10FFFF.
std::size_t utf8SequenceLength(const unsigned char* text, std::size_t available) {
  const unsigned char lead = text[0];
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (available < length || text[1] < low || text[1] > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (text[i] < 0x80 || text[i] > 0xBF) return 0;
  }
  return length;
}

// A record with a value JSON cannot hold.
Failure invalidValue(std::string why) { return {FailureKind::malformed, std::move(why)}; }

// The library's own description of why `text` cannot be written.
Failure invalidTextError(std::string_view text) {
  try {
    (void)nlohmann::json(std::string(text)).dump();
  } catch (const nlohmann::json::exception& error) {
    return invalidValue(std::string("invalidValue: ") + error.what());
  }
  return invalidValue("invalidValue: invalid UTF-8");
}

Status checkFinite(const UserRecordData& record) {
  for (const auto& [key, value] :
       {std::pair{"dateStart", record.dateStart}, std::pair{"dateEnd", record.dateEnd},
        std::pair{"timeSpent", record.timeSpent}}) {
    if (!std::isfinite(value)) {
      return invalidValue("invalidValue(" + std::string(key) + "): Unable to encode " +
                          (std::isnan(value) ? "nan"
                           : value > 0       ? "inf"
                                             : "-inf") +
                          " directly in JSON.");
    }
  }
  return std::nullopt;
}

}  // namespace

Status appendEscapedJsonText(std::string_view text, std::string& out) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t size = text.size();
  std::size_t runStart = 0;
  std::size_t i = 0;
  while (i < size) {
    const char kind = kEscapes[bytes[i]];
    if (kind == 0) {
      ++i;
      continue;
    }
    if (kind == 1) {
      const std::size_t length = utf8SequenceLength(bytes + i, size - i);
      if (length == 0) return invalidTextError(text);
      i += length;
      continue;
    }
    out.append(text.data() + runStart, i - runStart);
    if (kind == 'u') {
      static constexpr char kHex[] = "0123456789abcdef";
      const char escaped[] = {'\\', 'u', '0', '0', kHex[bytes[i] >> 4], kHex[bytes[i] & 0xF]};
      out.append(escaped, sizeof escaped);
    } else {
      const char escaped[] = {'\\', kind};
      out.append(escaped, sizeof escaped);
    }
    runStart = ++i;
  }
  out.append(text.data() + runStart, size - runStart);
  return std::nullopt;
}

Status encodeUserRecordParts(const UserRecordData& record, std::string& head, std::string& tail) {
  if (auto error = checkFinite(record)) return error;
  nlohmann::ordered_json object;
  object["id"] = record.id;
  object["dateStart"] = record.dateStart;
  object["dateEnd"] = record.dateEnd;
  object["timeSpent"] = record.timeSpent;
  object["jumps"] = record.jumps;
  try {
    // The members up to the text, with the object left open for it.
    head = object.dump();
    head.pop_back();
    head += ",\"csvText\":\"";
    tail = "\"";
    if (record.unlockedTrophy) {
      tail += ",\"unlockedTrophy\":";
      tail += encodeTrophy(*record.unlockedTrophy).dump();
    }
    tail += '}';
  } catch (const nlohmann::json::exception& error) {
    return invalidValue(std::string("invalidValue: ") + error.what());
  }
  return std::nullopt;
}

Status encodeUserRecordData(const UserRecordData& record, std::string& out) {
  // The small members go through the JSON library; the text, nearly all of
  // the file, is escaped straight into place instead of being copied into a
  // JSON value and written out again.
  std::string head, tail;
  if (auto error = encodeUserRecordParts(record, head, tail)) return error;
  std::string encoded;
  encoded.reserve(head.size() + record.csvText.size() + record.csvText.size() / 64 + tail.size());
  encoded += head;
  if (auto error = appendEscapedJsonText(record.csvText, encoded)) return error;
  encoded += tail;
  out = std::move(encoded);
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
