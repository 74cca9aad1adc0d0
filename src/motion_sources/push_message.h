#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <simdjson.h>

#include "platform/failure.h"

namespace hopster {

// One sensor reading sent by the Sensor Logger phone app, in an HTTP push or
// in its JSON export.
struct PushReading {
  std::string name;         // the sensor, lower-cased: "headphone", "accelerometer", ...
  std::int64_t timeNs = 0;  // UTC epoch nanoseconds
  std::vector<std::pair<std::string, double>> fields;  // numeric fields, names as sent

  // The first field of that name, compared without regard to case.
  [[nodiscard]] std::optional<double> field(std::string_view name) const;
};

// One HTTP push: {"messageId": 0, "sessionId": "...", "deviceId": "...",
// "payload": [reading, ...]}.
struct PushMessage {
  // Nothing when the sender gave no whole number: such a message can never
  // be told apart from a repeat, so it is never taken for one.
  std::optional<std::int64_t> messageId;
  std::string sessionId;
  std::string deviceId;
  // The readings of the motion sensors Hopster uses, in time order (stable),
  // so that each acceleration meets the gravity and orientation of its moment.
  std::vector<PushReading> payload;
  // Readings without a sensor name or a time, or with more fields than a
  // reading may have: skipped.
  std::size_t malformedReadings = 0;
  // Readings of sensors Hopster does not use (location, battery, ...): skipped.
  std::size_t ignoredReadings = 0;
  // More motion readings came than a message keeps; the rest were dropped.
  bool truncated = false;
};

// Bounds on one message. A phone pushing headphone, accelerometer, gravity,
// orientation and gyroscope readings at 100 Hz sends some 500 readings a
// second of about 250 bytes each, so these leave room for minutes per batch.
inline constexpr std::size_t kMaxPushBodyBytes = std::size_t{64} << 20;
inline constexpr std::size_t kMaxPushReadings = 100'000;
// Members a reading may have, counting those under "values"; the headphone
// reading, the largest, has about twenty.
inline constexpr std::size_t kMaxReadingFields = 64;
// Longer session and device identifiers are cut to this many bytes.
inline constexpr std::size_t kMaxPushIdentifierBytes = 256;

// Reads one push body. Fails, with a short reason, when the body is larger
// than kMaxPushBodyBytes (tooLarge), is no JSON (malformed), or is JSON but
// not an object with a "payload" array (notARecord); a single bad reading is
// only counted.
[[nodiscard]] Outcome<PushMessage> decodePushMessage(std::string_view body);

// Whether Hopster turns readings of this sensor (lower-cased) into motion:
// headphone, accelerometer, totalacceleration, gravity, orientation, gyroscope.
[[nodiscard]] bool isMotionSensorName(std::string_view lowerCaseName);

// A number written as text, as the JSON export and the CSV files write every
// value: a decimal with or without exponent, "nan" or "inf"; spaces around it
// are ignored. Nothing for anything else, an empty text included.
[[nodiscard]] std::optional<double> parseNumberText(std::string_view text);

// A reading's time written as text: whole nanoseconds, or a decimal number of
// them that fits in 64 bits.
[[nodiscard]] std::optional<std::int64_t> parseTimeText(std::string_view text);

// What became of one reading object.
enum class ReadingStatus { motion, ignored, malformed };

// Reads one reading object into `reading`: the sensor named by the member
// `nameKey` ("name" in a push, "sensor" in the JSON export), its "time", and
// every numeric member (a number or a numeric string), directly in the object
// or under "values". Members are matched without regard to case. `ignored`
// for a sensor that Hopster does not use (see isMotionSensorName), without
// reading its fields; `malformed` for a reading that is not an object, lacks
// a name or a time, or has more than kMaxReadingFields members. `reading` is
// overwritten in place, so a caller reading many keeps its storage.
[[nodiscard]] ReadingStatus decodeReading(simdjson::dom::element element, std::string_view nameKey,
                                          PushReading& reading);

// ASCII lower case of `text`.
[[nodiscard]] std::string lowerCased(std::string_view text);

}  // namespace hopster
