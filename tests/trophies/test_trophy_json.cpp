#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>

#include <gtest/gtest.h>
#include <simdjson.h>

#include "trophies/trophy_catalogue.h"
#include "trophies/trophy_json.h"

namespace hopster {
namespace {

using Kind = DecodingError::Kind;

// Parses `text` and decodes it as the trophy embedded in a record.
DecodeResult<Trophy> decodeText(const std::string& text, std::string_view path = "unlockedTrophy") {
  simdjson::dom::parser parser;
  simdjson::dom::element root;
  EXPECT_EQ(parser.parse(text).get(root), simdjson::SUCCESS) << text;
  return decodeTrophy(root, path);
}

// A valid trophy's JSON text with member `key` given the raw JSON `raw`, or
// left out when `raw` is null.
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

void expectSameFields(const Trophy& actual, const Trophy& expected) {
  EXPECT_EQ(actual.id, expected.id);
  EXPECT_EQ(actual.title, expected.title);
  EXPECT_EQ(actual.subtitle, expected.subtitle);
  EXPECT_EQ(actual.difficulty, expected.difficulty);
  EXPECT_EQ(actual.hidden, expected.hidden);
  EXPECT_EQ(actual.isUnlocked, expected.isUnlocked);
}

constexpr const char* kOneKey = "Invalid number of keys found, expected one.";

struct DifficultyCase {
  const char* name;
  const char* json;
  std::optional<DifficultyLevels> level;  // the result, or nothing for an error
  Kind kind = Kind::typeMismatch;
  const char* path = "";
  const char* message = "";
};

// Failures name the case rather than dumping its bytes.
void PrintTo(const DifficultyCase& c, std::ostream* os) { *os << c.json; }

class DifficultyDecoding : public ::testing::TestWithParam<DifficultyCase> {};

TEST_P(DifficultyDecoding, FollowsTheOneKeyRule) {
  const DifficultyCase& c = GetParam();
  const auto result = decodeText(trophyWith("difficulty", c.json));
  if (c.level) {
    ASSERT_TRUE(result.ok()) << result.error().description();
    EXPECT_EQ(result->difficulty, *c.level);
    return;
  }
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.error().kind, c.kind);
  EXPECT_EQ(result.error().codingPath, c.path);
  EXPECT_EQ(result.error().debugDescription, c.message);
}

constexpr const char* kDifficultyPath = "unlockedTrophy.difficulty";

INSTANTIATE_TEST_SUITE_P(
    Cases, DifficultyDecoding,
    ::testing::Values(
        DifficultyCase{"easy", R"({"easy":{}})", DifficultyLevels::easy},
        DifficultyCase{"normal", R"({"normal":{}})", DifficultyLevels::normal},
        DifficultyCase{"hard", R"({"hard":{}})", DifficultyLevels::hard},
        DifficultyCase{"extreme", R"({"extreme":{}})", DifficultyLevels::extreme},
        DifficultyCase{"twoCases", R"({"easy":{},"hard":{}})", std::nullopt, Kind::typeMismatch,
                       kDifficultyPath, kOneKey},
        DifficultyCase{"empty", "{}", std::nullopt, Kind::typeMismatch, kDifficultyPath, kOneKey},
        DifficultyCase{"otherKeyNotCounted", R"({"hard":{},"legendary":{}})",
                       DifficultyLevels::hard},
        DifficultyCase{"otherKeyAlone", R"({"legendary":{}})", std::nullopt, Kind::typeMismatch,
                       kDifficultyPath, kOneKey},
        DifficultyCase{"nestedContentIgnored", R"({"normal":{"x":[1,{"y":null}]}})",
                       DifficultyLevels::normal},
        DifficultyCase{"caseValueNumber", R"({"easy":1})", std::nullopt, Kind::typeMismatch,
                       "unlockedTrophy.difficulty.easy",
                       "Expected to decode Object but found a number instead."},
        DifficultyCase{"bareString", R"("easy")", std::nullopt, Kind::typeMismatch, kDifficultyPath,
                       "Expected to decode DifficultyLevels but found a string instead."},
        DifficultyCase{"null", "null", std::nullopt, Kind::valueNotFound, kDifficultyPath,
                       "Expected DifficultyLevels value but found null instead."},
        DifficultyCase{"letterCase", R"({"Easy":{}})", std::nullopt, Kind::typeMismatch,
                       kDifficultyPath, kOneKey},
        DifficultyCase{"letterCaseBesideCase", R"({"EXTREME":{},"extreme":{}})",
                       DifficultyLevels::extreme},
        // A repeated key names one case; its last occurrence supplies the value.
        DifficultyCase{"repeatedCase", R"({"easy":{},"easy":{}})", DifficultyLevels::easy},
        DifficultyCase{"repeatedLastIsObject", R"({"hard":1,"hard":{}})", DifficultyLevels::hard},
        DifficultyCase{"repeatedLastIsNumber", R"({"hard":{},"hard":1})", std::nullopt,
                       Kind::typeMismatch, "unlockedTrophy.difficulty.hard",
                       "Expected to decode Object but found a number instead."},
        DifficultyCase{"repeatedPlusOther", R"({"easy":{},"hard":{},"easy":{}})", std::nullopt,
                       Kind::typeMismatch, kDifficultyPath, kOneKey}),
    [](const auto& tested) { return std::string(tested.param.name); });

TEST(TrophyDecoding, OneKeyErrorDescribesItselfOnOneLine) {
  const auto result = decodeText(trophyWith("difficulty", R"({"easy":{},"hard":{}})"));
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.error().description(),
            "typeMismatch(DifficultyLevels) at unlockedTrophy.difficulty: "
            "Invalid number of keys found, expected one.");
}

struct TrophyErrorCase {
  const char* name;
  std::string json;
  const char* description;
};

void PrintTo(const TrophyErrorCase& c, std::ostream* os) { *os << c.json; }

class TrophyDecodingError : public ::testing::TestWithParam<TrophyErrorCase> {};

TEST_P(TrophyDecodingError, FailsTheWholeTrophy) {
  const auto result = decodeText(GetParam().json);
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.error().description(), GetParam().description);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TrophyDecodingError,
    ::testing::Values(TrophyErrorCase{"noIsUnlocked", trophyWith("isUnlocked", nullptr),
                                      R"(keyNotFound("isUnlocked") at unlockedTrophy)"},
                      TrophyErrorCase{"noHidden", trophyWith("hidden", nullptr),
                                      R"(keyNotFound("hidden") at unlockedTrophy)"},
                      TrophyErrorCase{"keyLetterCase",
                                      R"({"ID":"a",)" + trophyWith("id", nullptr).substr(1),
                                      R"(keyNotFound("id") at unlockedTrophy)"},
                      TrophyErrorCase{"hiddenNumber", trophyWith("hidden", "0"),
                                      "typeMismatch(Bool) at unlockedTrophy.hidden: "
                                      "Expected to decode Bool but found a number instead."},
                      TrophyErrorCase{"isUnlockedString", trophyWith("isUnlocked", R"("true")"),
                                      "typeMismatch(Bool) at unlockedTrophy.isUnlocked: "
                                      "Expected to decode Bool but found a string instead."},
                      TrophyErrorCase{"idNumber", trophyWith("id", "7"),
                                      "typeMismatch(String) at unlockedTrophy.id: "
                                      "Expected to decode String but found a number instead."},
                      TrophyErrorCase{"titleNull", trophyWith("title", "null"),
                                      "valueNotFound(String) at unlockedTrophy.title: "
                                      "Expected String value but found null instead."},
                      TrophyErrorCase{"notAnObject", R"(["a"])",
                                      "typeMismatch(Trophy) at unlockedTrophy: "
                                      "Expected to decode Trophy but found an array instead."},
                      // Members are read in declaration order: the first fault is reported.
                      TrophyErrorCase{"firstFaultWins",
                                      R"({"id":"a","subtitle":1,"difficulty":{}})",
                                      R"(keyNotFound("title") at unlockedTrophy)"}),
    [](const auto& tested) { return std::string(tested.param.name); });

TEST(TrophyDecoding, ReadsMembersInAnyOrderIgnoresOthersAndTakesAnyId) {
  const auto result = decodeText(
      R"({"isUnlocked":true,"extra":[1,2],"hidden":true,"difficulty":{"extreme":{}},
          "subtitle":"Sub","title":"Title","id":"not-in-the-catalogue"})");
  ASSERT_TRUE(result.ok()) << result.error().description();
  expectSameFields(*result, Trophy{"not-in-the-catalogue", "Title", "Sub",
                                   DifficultyLevels::extreme, true, true});
}

TEST(TrophyDecoding, RepeatedMemberTakesTheLastOccurrence) {
  const auto result = decodeText(
      R"({"id":"a","title":"first","title":"last","subtitle":"S","difficulty":{"easy":{}},
          "hidden":false,"hidden":true,"isUnlocked":false})");
  ASSERT_TRUE(result.ok()) << result.error().description();
  EXPECT_EQ(result->title, "last");
  EXPECT_TRUE(result->hidden);
}

TEST(TrophyDecoding, AtTheDocumentRootThePathIsEmpty) {
  const auto result = decodeText(R"({"title":"T"})", "");
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.error().description(), R"(keyNotFound("id"))");
}

TEST(TrophyEncoding, WritesSixMembersInOrderWithOneMemberDifficulty) {
  const Trophy trophy = trophyCatalogue()[8];
  EXPECT_EQ(encodeTrophy(trophy).dump(),
            R"({"id":"160-1min","title":"Cheetah Jumper!","subtitle":"Reached 160 jumps per )"
            R"(minute!","difficulty":{"hard":{}},"hidden":false,"isUnlocked":false})");
  EXPECT_EQ(encodeDifficulty(DifficultyLevels::normal).dump(), R"({"normal":{}})");
}

TEST(TrophyEncoding, RoundTripsThroughTextKeepingEveryField) {
  std::vector<Trophy> trophies = trophyCatalogue();
  trophies.push_back(Trophy{"quote\"back\\slash", "line\nbreak \xC3\xA9", "tab\t\u00e9\u2603",
                            DifficultyLevels::extreme, true, true});
  trophies[3].isUnlocked = true;
  for (const Trophy& trophy : trophies) {
    const std::string text = encodeTrophy(trophy).dump();
    const auto decoded = decodeText(text);
    ASSERT_TRUE(decoded.ok()) << text << ": " << decoded.error().description();
    expectSameFields(*decoded, trophy);
  }
}

}  // namespace
}  // namespace hopster
