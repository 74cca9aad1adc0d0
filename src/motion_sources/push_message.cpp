#include "motion_sources/push_message.h"
#include "platform/linux/posix_io.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <system_error>

namespace hopster {
namespace {

using simdjson::dom::element;
using simdjson::dom::element_type;
using simdjson::dom::object;

char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return lowerAscii(x) == lowerAscii(y);
         });
}

// A double holds every 64-bit integer's magnitude only up to 2^63; beyond it
// the cast would be undefined.
constexpr double kInt64Bound = 9223372036854775808.0;

std::optional<std::int64_t> wholeNumber(double value) {
  if (!std::isfinite(value) || value < -kInt64Bound || value >= kInt64Bound) return std::nullopt;
  return static_cast<std::int64_t>(std::llround(value));
}

std::optional<double> numberOf(element value) {
  switch (value.type()) {
    case element_type::INT64:
      return static_cast<double>(value.get_int64().value_unsafe());
    case element_type::UINT64:
      return static_cast<double>(value.get_uint64().value_unsafe());
    case element_type::DOUBLE:
      return value.get_double().value_unsafe();
    case element_type::STRING:
      return parseNumberText(value.get_string().value_unsafe());
    default:
      return std::nullopt;
  }
}

std::optional<std::int64_t> timeOf(element value) {
  switch (value.type()) {
    case element_type::INT64:
      return value.get_int64().value_unsafe();
    case element_type::DOUBLE:
      return wholeNumber(value.get_double().value_unsafe());
    case element_type::STRING:
      return parseTimeText(value.get_string().value_unsafe());
    default:  // an unsigned beyond int64, null, ...
      return std::nullopt;
  }
}

std::string identifier(object message, std::string_view key) {
  std::string_view text;
  if (message.at_key_case_insensitive(key).get(text) != simdjson::SUCCESS) return {};
  return std::string(text.substr(0, kMaxPushIdentifierBytes));
}

// Adds every numeric member of `members` but the name, the time and "values";
// text and other members (a headphone's "devicelocation") are passed over.
void addNumericFields(object members, std::string_view nameKey, PushReading& reading) {
  for (const auto [key, value] : members) {
    if (equalsIgnoringCase(key, nameKey) || equalsIgnoringCase(key, "time") ||
        equalsIgnoringCase(key, "values")) {
      continue;
    }
    if (const std::optional<double> number = numberOf(value)) {
      reading.fields.emplace_back(std::string(key), *number);
    }
  }
}

}  // namespace

std::optional<double> PushReading::field(std::string_view wanted) const {
  for (const auto& [key, value] : fields) {
    if (equalsIgnoringCase(key, wanted)) return value;
  }
  return std::nullopt;
}

std::string lowerCased(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(), lowerAscii);
  return lower;
}

bool isMotionSensorName(std::string_view name) {
  static constexpr std::array<std::string_view, 6> kNames = {
      "headphone", "accelerometer", "totalacceleration", "gravity", "orientation", "gyroscope"};
  return std::find(kNames.begin(), kNames.end(), name) != kNames.end();
}

std::optional<double> parseNumberText(std::string_view text) {
  text = trimmed(text);
  // from_chars takes no leading "+", which a writer may still put there.
  if (text.size() > 1 && text.front() == '+' && text[1] != '-') text.remove_prefix(1);
  if (text.empty()) return std::nullopt;
  double value = 0.0;
  const char* const end = text.data() + text.size();
  const auto [stop, code] = std::from_chars(text.data(), end, value);
  if (code != std::errc() || stop != end) return std::nullopt;
  return value;
}

std::optional<std::int64_t> parseTimeText(std::string_view text) {
  text = trimmed(text);
  std::int64_t whole = 0;
  const char* const end = text.data() + text.size();
  const auto [stop, code] = std::from_chars(text.data(), end, whole);
  if (code == std::errc() && stop == end && !text.empty()) return whole;
  const std::optional<double> number = parseNumberText(text);
  return number ? wholeNumber(*number) : std::nullopt;
}

ReadingStatus decodeReading(element item, std::string_view nameKey, PushReading& reading) {
  object members;
  std::string_view name;
  if (item.get_object().get(members) != simdjson::SUCCESS ||
      members.at_key_case_insensitive(nameKey).get(name) != simdjson::SUCCESS) {
    return ReadingStatus::malformed;
  }
  reading.name.assign(name);
  std::transform(reading.name.begin(), reading.name.end(), reading.name.begin(), lowerAscii);
  if (!isMotionSensorName(reading.name)) return ReadingStatus::ignored;

  element timeValue;
  if (members.at_key_case_insensitive("time").get(timeValue) != simdjson::SUCCESS) {
    return ReadingStatus::malformed;
  }
  const std::optional<std::int64_t> time = timeOf(timeValue);
  if (!time) return ReadingStatus::malformed;
  reading.timeNs = *time;

  object values;
  const bool hasValues = members.at_key_case_insensitive("values").get(values) == simdjson::SUCCESS;
  // Counted before any is read, so a hostile reading costs nothing to refuse.
  if (members.size() + (hasValues ? values.size() : 0) > kMaxReadingFields) {
    return ReadingStatus::malformed;
  }
  reading.fields.clear();
  addNumericFields(members, nameKey, reading);
  if (hasValues) addNumericFields(values, nameKey, reading);
  return ReadingStatus::motion;
}

Outcome<PushMessage> decodePushMessage(std::string_view body) {
  if (body.size() > kMaxPushBodyBytes) {
    return Failure{FailureKind::tooLarge,
                   "a message larger than " + std::to_string(kMaxPushBodyBytes) + " bytes"};
  }
  simdjson::dom::parser parser;
  element root;
  if (const auto code = parser.parse(body.data(), body.size()).get(root)) {
    return Failure{FailureKind::malformed,
                   std::string("not valid JSON (") + simdjson::error_message(code) + ")"};
  }
  object members;
  if (root.get_object().get(members) != simdjson::SUCCESS) {
    return Failure{FailureKind::notARecord, "not a JSON object"};
  }
  simdjson::dom::array payload;
  if (members.at_key_case_insensitive("payload").get(payload) != simdjson::SUCCESS) {
    return Failure{FailureKind::notARecord, "no \"payload\" array"};
  }

  PushMessage message;
  element id;
  if (members.at_key_case_insensitive("messageId").get(id) == simdjson::SUCCESS) {
    message.messageId = timeOf(id);  // an integer, or its text
  }
  message.sessionId = identifier(members, "sessionId");
  message.deviceId = identifier(members, "deviceId");

  PushReading reading;
  for (const element item : payload) {
    switch (decodeReading(item, "name", reading)) {
      case ReadingStatus::malformed:
        ++message.malformedReadings;
        break;
      case ReadingStatus::ignored:
        ++message.ignoredReadings;
        break;
      case ReadingStatus::motion:
        if (message.payload.size() == kMaxPushReadings) {
          message.truncated = true;
        } else {
          message.payload.push_back(reading);
        }
        break;
    }
    if (message.truncated) break;
  }
  std::stable_sort(message.payload.begin(), message.payload.end(),
                   [](const PushReading& a, const PushReading& b) { return a.timeNs < b.timeNs; });
  return message;
}

}  // namespace hopster
