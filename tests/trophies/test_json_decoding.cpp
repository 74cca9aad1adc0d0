#include <cstdint>
#include <string>

#include <gtest/gtest.h>
#include <simdjson.h>

#include "trophies/json_decoding.h"

namespace hopster {
namespace {

class JsonDecoding : public ::testing::Test {
 protected:
  simdjson::dom::element parse(const std::string& text) {
    simdjson::dom::element root;
    EXPECT_EQ(parser_.parse(text).get(root), simdjson::SUCCESS) << text;
    return root;
  }

 private:
  simdjson::dom::parser parser_;
};

struct Int64Case {
  const char* json;
  std::int64_t value;       // when `description` is empty
  const char* description;  // the error, if any
};

TEST_F(JsonDecoding, Int64AcceptsOnlyIntegralValuesInRange) {
  const Int64Case cases[] = {
      {"12", 12, ""},
      {"-9223372036854775808", INT64_MIN, ""},
      {"9223372036854775807", INT64_MAX, ""},
      {"12.0", 12, ""},
      {"-3e2", -300, ""},
      {"12.5", 0, "dataCorrupted at jumps: Parsed JSON number <12.5> does not fit in Int64."},
      {"9223372036854775808", 0,
       "dataCorrupted at jumps: Parsed JSON number <9223372036854775808> does not fit in Int64."},
      {"9.3e18", 0, "dataCorrupted at jumps: Parsed JSON number <9.3e+18> does not fit in Int64."},
      {R"("12")", 0,
       "typeMismatch(Int64) at jumps: Expected to decode Int64 but found a string instead."},
      {"null", 0, "valueNotFound(Int64) at jumps: Expected Int64 value but found null instead."},
  };
  for (const Int64Case& c : cases) {
    const auto result = decodeInt64(parse(c.json), "jumps");
    if (std::string(c.description).empty()) {
      ASSERT_TRUE(result.ok()) << c.json << ": " << result.error().description();
      EXPECT_EQ(*result, c.value) << c.json;
    } else {
      ASSERT_FALSE(result.ok()) << c.json;
      EXPECT_EQ(result.error().description(), c.description) << c.json;
    }
  }
}

TEST(DecodingError, DescriptionLeavesOutWhatIsEmpty) {
  EXPECT_EQ(DecodingError::dataCorrupted("", "Not valid JSON.").description(),
            "dataCorrupted: Not valid JSON.");
  EXPECT_EQ(DecodingError::keyNotFound("csvText", "").description(), R"(keyNotFound("csvText"))");
  EXPECT_EQ(joinCodingPath("", "id"), "id");
  EXPECT_EQ(joinCodingPath("unlockedTrophy", "difficulty"), "unlockedTrophy.difficulty");
}

}  // namespace
}  // namespace hopster
