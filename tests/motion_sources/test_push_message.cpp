// Sensor Logger's push messages decoded: the motion readings kept, bad ones
// counted, and bodies that are no message refused.
#include <gtest/gtest.h>

#include <cmath>
#include <utility>

#include "motion_sources/push_message.h"

namespace hopster {
namespace {

PushMessage decoded(const std::string& payload, const std::string& head = "") {
  const std::string body = "{" + head + R"("payload": [)" + payload + "]}";
  Outcome<PushMessage> result = decodePushMessage(body);
  EXPECT_TRUE(result) << result.error().message << "\n" << body.substr(0, 200);
  return result ? std::move(result).value() : PushMessage{};
}

TEST(PushMessage, KeepsTheMotionReadingsWithTheirNumbersWhereverAndHoweverSent) {
  const PushMessage m = decoded(
      R"({"name": "accelerometer", "time": 1698501144401773000, "x": 0.061, "y": -1, "z": "5e-1"},
         {"name": "location", "time": 1698501145514000000, "latitude": 51.5},
         {"Name": "HeadPhone", "TIME": "1698501144411773000",
          "Values": {"AccelerationX": " 0.5 ", "devicelocation": "left"}, "gravityZ": -9.8},
         {"name": "gravity", "time": 1.7e18, "values": {"x": "+4", "y": "1.5x", "z": "nan"}})",
      R"("messageId": "3", "sessionId": "s-1", "deviceId": 12, )");
  EXPECT_EQ(m.messageId, 3);
  EXPECT_EQ(m.sessionId, "s-1");
  EXPECT_EQ(m.deviceId, "");  // not text
  EXPECT_EQ(m.ignoredReadings, 1u);
  EXPECT_EQ(m.malformedReadings, 0u);
  ASSERT_EQ(m.payload.size(), 3u);
  EXPECT_EQ(m.payload[0].name, "accelerometer");
  EXPECT_EQ(m.payload[0].timeNs, 1698501144401773000);
  EXPECT_EQ(m.payload[0].fields,
            (std::vector<std::pair<std::string, double>>{{"x", 0.061}, {"y", -1.0}, {"z", 0.5}}));
  // Names lower-cased, fields kept as sent and found without regard to case;
  // text that is no number is no field.
  EXPECT_EQ(m.payload[1].name, "headphone");
  EXPECT_EQ(m.payload[1].timeNs, 1698501144411773000);
  EXPECT_EQ(m.payload[1].fields.back().first, "AccelerationX");
  EXPECT_EQ(m.payload[1].field("accelerationx"), 0.5);
  EXPECT_EQ(m.payload[1].field("GRAVITYZ"), -9.8);
  EXPECT_EQ(m.payload[1].fields.size(), 2u);
  EXPECT_EQ(m.payload[2].timeNs, 1'700'000'000'000'000'000);
  EXPECT_EQ(m.payload[2].field("x"), 4.0);
  EXPECT_FALSE(m.payload[2].field("y"));
  EXPECT_TRUE(std::isnan(m.payload[2].field("z").value_or(0.0)));  // the builder refuses it
}

TEST(PushMessage, SkipsAndCountsBadReadingsKeepingTheRest) {
  std::string tooMany = R"({"name": "gravity", "time": 1, "values": {"f": 1)";
  for (std::size_t i = 0; i < kMaxReadingFields; ++i)
    tooMany += ", \"f" + std::to_string(i) + "\": 1";
  const std::string bad[] = {
      "17",
      "null",
      R"({"time": 1, "x": 1})",
      R"({"name": 4, "time": 1, "x": 1})",
      R"({"name": "gravity", "x": 1})",
      R"({"name": "gravity", "time": null, "x": 1})",
      R"({"name": "gravity", "time": "soon", "x": 1})",
      R"({"name": "gravity", "time": 18446744073709551615, "x": 1})",  // beyond 64 bits
      R"({"name": "gravity", "time": "9223372036854775808", "x": 1})",
      R"({"name": "gravity", "time": "nan", "x": 1})",
      R"({"name": "gravity", "time": 1e300, "x": 1})",
      tooMany + "}}",
  };
  std::string payload = R"({"name": "gravity", "time": 1, "x": 1})";
  for (const std::string& reading : bad) payload += ", " + reading;
  const PushMessage m = decoded(payload);
  EXPECT_EQ(m.malformedReadings, std::size(bad));
  ASSERT_EQ(m.payload.size(), 1u);
  EXPECT_EQ(m.payload[0].field("x"), 1.0);
}

TEST(PushMessage, RefusesBodiesThatAreNoMessageWithAShortReason) {
  const std::string bodies[] = {
      "",
      "{",
      "[]",
      "null",
      "{}",
      R"({"payload": {}})",
      R"({"payload": "[]"})",
      R"({"payload": [1, 2)",
      "{\"payload\": [\"\xff\xfe\"]}",  // not UTF-8
      std::string(100'000, '['),
      std::string(kMaxPushBodyBytes + 1, ' '),
  };
  for (const std::string& body : bodies) {
    const Outcome<PushMessage> refused = decodePushMessage(body);
    ASSERT_FALSE(refused) << body.substr(0, 40);
    EXPECT_FALSE(refused.error().message.empty()) << body.substr(0, 40);
    EXPECT_LT(refused.error().message.size(), 200u) << refused.error().message;
  }
}

TEST(PushMessage, PutsThePayloadInTimeOrderAndKeepsItWithinItsCaps) {
  std::string payload =
      R"({"name": "gravity", "time": 30, "x": -1}, {"name": "gravity", "time": 20, "x": -2})";
  for (std::size_t i = 2; i <= kMaxPushReadings; ++i) {
    payload += R"(, {"name": "gravity", "time": 20, "x": )" + std::to_string(i) + "}";
  }
  const std::string longId(10'000, 'a');
  const PushMessage m = decoded(payload, R"("sessionId": ")" + longId + "\", ");
  ASSERT_EQ(m.payload.size(), kMaxPushReadings);
  EXPECT_TRUE(m.truncated);
  // Earliest first; readings of one moment keep the order they came in.
  EXPECT_EQ(m.payload[0].field("x"), -2.0);
  EXPECT_EQ(m.payload[1].field("x"), 2.0);
  EXPECT_EQ(m.payload.back().field("x"), -1.0);
  EXPECT_EQ(m.sessionId, longId.substr(0, kMaxPushIdentifierBytes));
}

}  // namespace
}  // namespace hopster
