#include "push_message_fuzz_target.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <exception>
#include <optional>
#include <string>

#include <simdjson.h>

#include "fuzz_invariant.h"
#include "motion_sources/phone_sample_builder.h"
#include "motion_sources/push_message.h"
#include "platform/linux/memory_log.h"

namespace hopster {
namespace {

// Rounding of a few products of unit quantities stays far below these; a
// matrix that is no rotation, or turns gravity elsewhere, misses by far more.
constexpr double kRotationTolerance = 1e-9;
// A sample's time is its reading's nanoseconds in seconds, to a few ulps.
constexpr double kTimeTolerance = 1e-12;

bool isOneLine(std::string_view text) { return text.find_first_of("\r\n") == std::string::npos; }

// The readings in the body's "payload" array, found by simdjson apart from
// the decoder; nothing when there is no such array.
std::optional<std::size_t> payloadElements(std::string_view body) {
  simdjson::dom::parser parser;
  simdjson::dom::array payload;
  if (parser.parse(simdjson::padded_string(body)).at_key_case_insensitive("payload").get(payload) !=
      simdjson::SUCCESS) {
    return std::nullopt;
  }
  return payload.size();
}

// Whether the body is an object with a "messageId" member of any value,
// found by simdjson apart from the decoder.
bool hasMessageId(std::string_view body) {
  simdjson::dom::parser parser;
  simdjson::dom::element id;
  return parser.parse(simdjson::padded_string(body)).at_key_case_insensitive("messageId").get(id) ==
         simdjson::SUCCESS;
}

void checkMessage(std::string_view body, const PushMessage& message) {
  // An id made up for a message that sent none would make every such
  // message after the first look like a repeat of it.
  requireInvariant(!message.messageId || hasMessageId(body),
                   "a message has an id only when it sent one");
  requireInvariant(message.payload.size() <= kMaxPushReadings,
                   "a message keeps at most kMaxPushReadings readings");
  requireInvariant(!message.truncated || message.payload.size() == kMaxPushReadings,
                   "a message is truncated only when full");
  requireInvariant(message.sessionId.size() <= kMaxPushIdentifierBytes &&
                       message.deviceId.size() <= kMaxPushIdentifierBytes,
                   "identifiers are cut to kMaxPushIdentifierBytes");
  for (const PushReading& reading : message.payload) {
    requireInvariant(reading.fields.size() <= kMaxReadingFields,
                     "a reading keeps at most kMaxReadingFields fields");
    requireInvariant(reading.name == lowerCased(reading.name) && isMotionSensorName(reading.name),
                     "a kept reading is of a motion sensor, named in lower case");
  }
  requireInvariant(std::is_sorted(message.payload.begin(), message.payload.end(),
                                  [](const PushReading& a, const PushReading& b) {
                                    return a.timeNs < b.timeNs;
                                  }),
                   "the readings come out in time order");
  if (message.truncated) return;
  const std::size_t accounted =
      message.payload.size() + message.malformedReadings + message.ignoredReadings;
  requireInvariant(payloadElements(body) == accounted,
                   "every reading is kept, ignored or counted malformed, once");
}

bool isFinite(const Vector3& v) {
  return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

bool allFinite(const TimedMotion& sample) {
  const DeviceMotion& m = sample.motion;
  const RotationMatrix& r = m.attitude.rotationMatrix;
  return std::isfinite(sample.time) && isFinite(m.userAcceleration) && isFinite(m.rotationRate) &&
         isFinite(m.gravity) && isFinite({m.attitude.pitch, m.attitude.roll, m.attitude.yaw}) &&
         isFinite({r.m11, r.m12, r.m13}) && isFinite({r.m21, r.m22, r.m23}) &&
         isFinite({r.m31, r.m32, r.m33});
}

using Matrix = std::array<std::array<double, 3>, 3>;

Matrix rowsOf(const RotationMatrix& r) {
  return {{{r.m11, r.m12, r.m13}, {r.m21, r.m22, r.m23}, {r.m31, r.m32, r.m33}}};
}

bool isRotation(const RotationMatrix& rotation) {
  const Matrix m = rowsOf(rotation);
  for (std::size_t i = 0; i < 3; ++i) {
    for (std::size_t j = 0; j < 3; ++j) {
      const double dot = m[i][0] * m[j][0] + m[i][1] * m[j][1] + m[i][2] * m[j][2];
      if (!(std::abs(dot - (i == j ? 1.0 : 0.0)) <= kRotationTolerance)) return false;
    }
  }
  const double determinant = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                             m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                             m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
  return std::abs(determinant - 1.0) <= kRotationTolerance;
}

// Whether the matrix turns the gravity's direction straight down. The
// direction is taken first, scaled by the largest component, so a gravity of
// subnormal or huge numbers is judged as exactly as any other.
bool turnsGravityDown(const RotationMatrix& rotation, const Vector3& gravity) {
  const double largest = std::max({std::abs(gravity.x), std::abs(gravity.y), std::abs(gravity.z)});
  const std::array<double, 3> scaled = {gravity.x / largest, gravity.y / largest,
                                        gravity.z / largest};
  const double length = std::hypot(scaled[0], scaled[1], scaled[2]);
  const Matrix m = rowsOf(rotation);
  const std::array<double, 3> down = {0.0, 0.0, -1.0};
  for (std::size_t i = 0; i < 3; ++i) {
    const double turned =
        (m[i][0] * scaled[0] + m[i][1] * scaled[1] + m[i][2] * scaled[2]) / length;
    if (!(std::abs(turned - down[i]) <= kRotationTolerance)) return false;
  }
  return true;
}

void checkSample(const PushReading& reading, const TimedMotion& sample) {
  requireInvariant(allFinite(sample), "every number of a sample is finite");
  const double seconds = static_cast<double>(reading.timeNs) * 1e-9;
  requireInvariant(
      std::abs(sample.time - seconds) <= kTimeTolerance * std::max(1.0, std::abs(seconds)),
      "a sample keeps its reading's time");
  requireInvariant(sample.fromHeadphones == (reading.name == "headphone"),
                   "a sample says whether it came from the headphones");
  const Vector3& gravity = sample.motion.gravity;
  requireInvariant(gravity.x != 0.0 || gravity.y != 0.0 || gravity.z != 0.0,
                   "a sample's gravity has a non-zero length");
  requireInvariant(isRotation(sample.motion.attitude.rotationMatrix),
                   "a sample's matrix is a rotation: orthonormal, determinant 1");
  requireInvariant(turnsGravityDown(sample.motion.attitude.rotationMatrix, gravity),
                   "a sample's matrix turns its gravity straight down");
}

void buildSamples(const PushMessage& message, PushMessageOutcome& outcome) {
  MemoryLog log;
  PhoneSampleBuilder builder(log);
  bool heardHeadphones = false;
  for (const PushReading& reading : message.payload) {
    const std::size_t refusedBefore = builder.malformedReadings();
    const std::optional<TimedMotion> sample = builder.add(reading);
    const std::size_t refused = builder.malformedReadings() - refusedBefore;
    requireInvariant(refused <= (sample ? 0U : 1U),
                     "a reading is refused at most once, and a refused one makes no sample");
    if (!sample) continue;
    checkSample(reading, *sample);
    requireInvariant(sample->fromHeadphones || !heardHeadphones,
                     "no phone sample follows a headphone one");
    heardHeadphones = heardHeadphones || sample->fromHeadphones;
    ++(sample->fromHeadphones ? outcome.headphoneSamples : outcome.phoneSamples);
  }
  outcome.refusedReadings = builder.malformedReadings();
  requireInvariant(log.lines().size() <= 1, "the builder's one warning comes at most once");
  for (const std::string& line : log.lines()) {
    requireInvariant(isOneLine(line), "every log line is one line");
  }
}

PushMessageOutcome exercise(std::string_view body) {
  PushMessageOutcome outcome;
  const Outcome<PushMessage> message = decodePushMessage(body);
  if (!message) {
    const std::string& error = message.error().message;
    requireInvariant(!error.empty() && error.size() < 200 && isOneLine(error),
                     "a refused body has a short one-line reason");
    return outcome;
  }
  outcome.decoded = true;
  outcome.readings = message->payload.size();
  checkMessage(body, *message);
  buildSamples(*message, outcome);
  return outcome;
}

}  // namespace

PushMessageOutcome exercisePushMessage(std::string_view body) {
  try {
    return exercise(body);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
  } catch (...) {
  }
  requireInvariant(false, "nothing throws, whatever the body");
  return {};
}

int fuzzPushMessage(const std::uint8_t* data, std::size_t size) {
  (void)exercisePushMessage(std::string_view(reinterpret_cast<const char*>(data), size));
  return 0;
}

}  // namespace hopster
