#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <simdjson.h>

#include "trophies/decode_result.h"

namespace hopster {

// Readers for the members of a document parsed with simdjson's DOM parser,
// turning every problem into a DecodingError that names the coding path.
// Keys match by exact, case-sensitive comparison. When an object repeats a
// key, the last occurrence wins, as it would in a dictionary built from it.

// How a value's JSON type reads in error descriptions: "a string", "null", ...
[[nodiscard]] std::string_view jsonTypeDescription(simdjson::dom::element value);

// The value of the member named `key`, nothing when there is none.
[[nodiscard]] std::optional<simdjson::dom::element> findMember(simdjson::dom::object object,
                                                               std::string_view key);

// The value of the member named `key`; keyNotFound at `path` when there is none.
[[nodiscard]] DecodeResult<simdjson::dom::element> requireMember(simdjson::dom::object object,
                                                                 std::string_view key,
                                                                 std::string_view path);

// `value` as an object; the error names `expectedType`, the type the object stands for.
[[nodiscard]] DecodeResult<simdjson::dom::object> decodeObject(simdjson::dom::element value,
                                                               std::string_view path,
                                                               std::string_view expectedType);

[[nodiscard]] DecodeResult<std::string> decodeString(simdjson::dom::element value,
                                                     std::string_view path);
[[nodiscard]] DecodeResult<bool> decodeBool(simdjson::dom::element value, std::string_view path);
// Any JSON number, integers included.
[[nodiscard]] DecodeResult<double> decodeDouble(simdjson::dom::element value,
                                                std::string_view path);
// A JSON number with an integral value that fits in 64 bits (12.0 is read as
// 12); any other number is dataCorrupted.
[[nodiscard]] DecodeResult<std::int64_t> decodeInt64(simdjson::dom::element value,
                                                     std::string_view path);

// Looks up the required member `key` of the object at `path` and reads it
// with `decode`, which gets the member's own coding path.
template <class Decode>
auto decodeMember(simdjson::dom::object object, std::string_view key, std::string_view path,
                  Decode decode) -> decltype(decode(simdjson::dom::element{}, std::string_view{})) {
  auto member = requireMember(object, key, path);
  if (!member) return std::move(member).error();
  return decode(*member, joinCodingPath(path, key));
}

}  // namespace hopster
