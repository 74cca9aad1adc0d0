#include "trophies/json_decoding.h"

#include <charconv>
#include <cmath>

namespace hopster {

namespace {

using simdjson::dom::element;
using simdjson::dom::element_type;

// The error for a value of the wrong JSON type: null is a missing value, any
// other type a mismatch.
DecodingError wrongType(element value, std::string_view path, std::string_view expectedType) {
  const std::string type(expectedType);
  if (value.type() == element_type::NULL_VALUE) {
    return DecodingError::valueNotFound(type, std::string(path),
                                        "Expected " + type + " value but found null instead.");
  }
  return DecodingError::typeMismatch(type, std::string(path),
                                     "Expected to decode " + type + " but found " +
                                         std::string(jsonTypeDescription(value)) + " instead.");
}

std::string shortestText(double number) {
  char buffer[32];
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, number).ptr;
  return std::string(buffer, end);
}

DecodingError doesNotFitInt64(std::string_view path, const std::string& numberText) {
  return DecodingError::dataCorrupted(
      std::string(path), "Parsed JSON number <" + numberText + "> does not fit in Int64.");
}

}  // namespace

std::string_view jsonTypeDescription(element value) {
  switch (value.type()) {
    case element_type::ARRAY:
      return "an array";
    case element_type::OBJECT:
      return "an object";
    case element_type::INT64:
    case element_type::UINT64:
    case element_type::DOUBLE:
      return "a number";
    case element_type::STRING:
      return "a string";
    case element_type::BOOL:
      return "a boolean";
    case element_type::NULL_VALUE:
      return "null";
  }
  return "an unknown value";
}

std::optional<element> findMember(simdjson::dom::object object, std::string_view key) {
  // A linear scan rather than at_key(), which would stop at the first of
  // repeated keys.
  std::optional<element> found;
  for (const auto& member : object) {
    if (member.key == key) found = member.value;
  }
  return found;
}

DecodeResult<element> requireMember(simdjson::dom::object object, std::string_view key,
                                    std::string_view path) {
  if (auto found = findMember(object, key)) return *found;
  return DecodingError::keyNotFound(std::string(key), std::string(path));
}

DecodeResult<simdjson::dom::object> decodeObject(element value, std::string_view path,
                                                 std::string_view expectedType) {
  simdjson::dom::object object;
  if (value.get_object().get(object) != simdjson::SUCCESS) {
    return wrongType(value, path, expectedType);
  }
  return object;
}

DecodeResult<std::string> decodeString(element value, std::string_view path) {
  std::string_view text;
  if (value.get_string().get(text) != simdjson::SUCCESS) return wrongType(value, path, "String");
  return std::string(text);
}

DecodeResult<bool> decodeBool(element value, std::string_view path) {
  bool flag = false;
  if (value.get_bool().get(flag) != simdjson::SUCCESS) return wrongType(value, path, "Bool");
  return flag;
}

DecodeResult<double> decodeDouble(element value, std::string_view path) {
  double number = 0.0;
  if (value.get_double().get(number) != simdjson::SUCCESS) return wrongType(value, path, "Double");
  return number;
}

DecodeResult<std::int64_t> decodeInt64(element value, std::string_view path) {
  switch (value.type()) {
    case element_type::INT64:
      return value.get_int64().value_unsafe();
    case element_type::UINT64:
      // simdjson stores only integers beyond the signed range as unsigned.
      return doesNotFitInt64(path, std::to_string(value.get_uint64().value_unsafe()));
    case element_type::DOUBLE: {
      const double number = value.get_double().value_unsafe();
      // 2^63 is exact as a double; every double below it in magnitude that
      // is integral converts without loss.
      constexpr double kLimit = 9223372036854775808.0;
      if (std::trunc(number) == number && number >= -kLimit && number < kLimit) {
        return static_cast<std::int64_t>(number);
      }
      return doesNotFitInt64(path, shortestText(number));
    }
    default:
      return wrongType(value, path, "Int64");
  }
}

}  // namespace hopster
