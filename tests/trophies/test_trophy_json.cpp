#include <cstdint>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <simdjson.h>

#include "trophies/json_decoding.h"
#include "trophies/trophy_catalogue.h"
#include "trophies/trophy_json.h"

namespace hopster {
namespace {

simdjson::dom::element parse(simdjson::dom::parser& parser, const std::string& text) {
  simdjson::dom::element root;
  EXPECT_EQ(parser.parse(text).get(root), simdjson::SUCCESS) << text;
  return root;
}

DecodeResult<Trophy> decodeText(const std::string& text, std::string_view path = "unlockedTrophy") {
  simdjson::dom::parser parser;
  return decodeTrophy(parse(parser, text), path);
}

// A valid trophy's text with member `key` set to `raw`, or left out when `raw` is null.
std::string trophyWith(std::string_view key, const char* raw) {
  const std::pair<std::string_view, const char*> members[] = {
      {"id", R"("a")"},       {"title", R"("T")"},
      {"subtitle", R"("S")"}, {"difficulty", R"({"easy":{}})"},
      {"hidden", "false"},    {"isUnlocked", "true"}};
  std::string text;
  for (auto [name, value] : members) {
    if (name == key && raw == nullptr) continue;
    text +=
        (text.empty() ? "{\"" : ",\"") + std::string(name) + "\":" + (name == key ? raw : value);
  }
  return text + "}";
}

auto fields(const Trophy& t) {
  return std::tuple(t.id, t.title, t.subtitle, t.difficulty, t.hidden, t.isUnlocked);
}

TEST(TrophyDecoding, AFaultyMemberFailsTheTrophyNamingTypeAndPath) {
  const std::string oneKey =
      "typeMismatch(DifficultyLevels) at unlockedTrophy.difficulty: "
      "Invalid number of keys found, expected one.";
  const std::pair<std::string, std::string> cases[] = {
      {trophyWith("difficulty", R"({"easy":{},"hard":{}})"), oneKey},
      {trophyWith("difficulty", R"({"Easy":{}})"), oneKey},
      {trophyWith("difficulty", "{}"), oneKey},
      {trophyWith("difficulty", R"({"hard":{},"hard":1})"),
       "typeMismatch(Object) at unlockedTrophy.difficulty.hard: "
       "Expected to decode Object but found a number instead."},
      {trophyWith("difficulty", R"("easy")"),
       "typeMismatch(DifficultyLevels) at unlockedTrophy.difficulty: "
       "Expected to decode DifficultyLevels but found a string instead."},
      {trophyWith("difficulty", "null"),
       "valueNotFound(DifficultyLevels) at unlockedTrophy.difficulty"},
      {trophyWith("isUnlocked", nullptr), R"(keyNotFound("isUnlocked") at unlockedTrophy)"},
      {R"({"ID":"a",)" + trophyWith("id", nullptr).substr(1),
       R"(keyNotFound("id") at unlockedTrophy)"},
      {trophyWith("hidden", "0"), "typeMismatch(Bool) at unlockedTrophy.hidden"},
      {trophyWith("title", "null"),
       "valueNotFound(String) at unlockedTrophy.title: "
       "Expected String value but found null instead."},
      {R"(["a"])",
       "typeMismatch(Trophy) at unlockedTrophy: "
       "Expected to decode Trophy but found an array instead."},
      // Members are read in declaration order: the first fault is reported.
      {R"({"id":"a","subtitle":1,"difficulty":{}})", R"(keyNotFound("title") at unlockedTrophy)"}};
  for (const auto& [json, description] : cases) {
    const auto result = decodeText(json);
    ASSERT_FALSE(result.ok()) << json;
    EXPECT_THAT(result.error().description(), ::testing::StartsWith(description));
  }
  // At the document's root the path is empty.
  EXPECT_EQ(decodeText(R"({"title":"T"})", "").error().description(), R"(keyNotFound("id"))");
  EXPECT_THAT(decodeText(trophyWith("hidden", "0"), "").error().description(),
              ::testing::StartsWith("typeMismatch(Bool) at hidden: "));
}

TEST(TrophyDecoding, IgnoresOtherMembersAndTakesTheLastRepeat) {
  const auto result = decodeText(
      R"({"isUnlocked":true,"extra":[1,2],"hidden":false,"hidden":true,"subtitle":"Sub",
          "difficulty":{"legendary":{},"extreme":{"x":[1,{"y":null}]},"Easy":{}},
          "title":"first","title":"Title","id":"not-in-the-catalogue"})");
  ASSERT_TRUE(result.ok()) << result.error().description();
  EXPECT_EQ(fields(*result), fields(Trophy{"not-in-the-catalogue", "Title", "Sub",
                                           DifficultyLevels::extreme, true, true}));
}

TEST(TrophyJson, EncodesSixMembersInOrderAndRoundTripsEveryField) {
  EXPECT_EQ(encodeTrophy(trophyCatalogue()[8]).dump(),
            R"({"id":"160-1min","title":"Cheetah Jumper!","subtitle":"Reached 160 jumps per )"
            R"(minute!","difficulty":{"hard":{}},"hidden":false,"isUnlocked":false})");
  std::vector<Trophy> trophies = trophyCatalogue();  // all four difficulties
  trophies.push_back(Trophy{"quote\"back\\slash", "line\nbreak \xC3\xA9", "tab\t\u2603",
                            DifficultyLevels::extreme, true, true});
  for (const Trophy& trophy : trophies) {
    const std::string text = encodeTrophy(trophy).dump();
    const auto decoded = decodeText(text);
    ASSERT_TRUE(decoded.ok()) << text << ": " << decoded.error().description();
    EXPECT_EQ(fields(*decoded), fields(trophy));
  }
}

TEST(JsonDecoding, Int64AcceptsOnlyIntegralValuesInRange) {
  simdjson::dom::parser parser;
  for (const auto& [json, value] : {std::pair{"-9223372036854775808", INT64_MIN},
                                    {"9223372036854775807", INT64_MAX},
                                    {"-3e2", -300L}}) {
    const auto result = decodeInt64(parse(parser, json), "n");
    EXPECT_EQ(result.ok() ? *result : -1, value) << json;
  }
  for (const auto& [json, description] :
       {std::pair{"12.5", "dataCorrupted at n: Parsed JSON number <12.5> does not fit in Int64."},
        {"9223372036854775808", "dataCorrupted at n: Parsed JSON number <9223372036854775808>"},
        {"9.3e18", "dataCorrupted at n: Parsed JSON number <9.3e+18>"},
        {"9.223372036854775808e18", "dataCorrupted at n"},
        {R"("12")", "typeMismatch(Int64) at n"}}) {
    const auto result = decodeInt64(parse(parser, json), "n");
    EXPECT_THAT(result.ok() ? "" : result.error().description(),
                ::testing::StartsWith(description));
  }
}

// The ids are kept in users' settings, so they stay exactly as first shipped,
// each once and in the order the rules judge them; every trophy starts locked
// and only the speed trophy keeps its subtitle secret.
TEST(TrophyCatalogue, KeepsTheShippedIdsAllLockedOneHidden) {
  const std::vector<std::string> shipped = {
      "trophy-first-10", "trophy-150-2min", "trophy-1000-times", "10-min-jumps",
      "750-under-5min",  "60-1min",         "10k-max-jumps",     "100-1min",
      "160-1min",        "50k-max",         "200K-max"};
  std::vector<std::string> ids;
  for (const Trophy& trophy : trophyCatalogue()) {
    EXPECT_FALSE(trophy.isUnlocked) << trophy.id;
    EXPECT_EQ(trophy.hidden, trophy.id == "750-under-5min") << trophy.id;
    ids.push_back(trophy.id);
  }
  EXPECT_EQ(ids, shipped);
}

}  // namespace
}  // namespace hopster
