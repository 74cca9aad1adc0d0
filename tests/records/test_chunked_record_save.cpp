// The record file written from a motion trace given in chunks: the chunks
// of the trace's text, the record's bytes around them, and the save.
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <filesystem>
#include <limits>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "records/motion_csv.h"
#include "records/record_folder.h"
#include "records/record_store.h"
#include "records/user_record_json.h"
#include "trophies/trophy_catalogue.h"
#include "trophies/trophy_json.h"

namespace hopster {
namespace {

// Samples whose lines differ in length, with every unusual number form;
// every 40th from the 20th holds the longest number in every field.
std::vector<MotionDataPoint> variedSamples(std::size_t count) {
  constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
  constexpr double kInf = std::numeric_limits<double>::infinity();
  const std::array<double, 8> values = {
      -0.0, kNan, kInf, -kInf, -2.2250738585072014e-308, 1764942759.123456, 0.1, -3.0};
  std::vector<MotionDataPoint> samples;
  for (std::size_t i = 0; i < count; ++i) {
    std::array<double, 16> fields{};
    for (std::size_t f = 0; f < fields.size(); ++f) fields[f] = values[(i * 3 + f * (i % 5)) % 8];
    samples.push_back(std::bit_cast<MotionDataPoint>(fields));
  }
  return samples;
}

std::string joined(const std::vector<std::string_view>& pieces) {
  std::string text;
  for (const std::string_view piece : pieces) text += piece;
  return text;
}

TEST(MotionCsvText, BuiltSampleBySampleMatchesTheWholeTextInEveryChunkSize) {
  const auto samples = variedSamples(300);
  // 1 is raised to the smallest size that holds a line; the others make
  // lines meet the end of a chunk at many different points.
  for (const std::size_t chunkSize :
       {std::size_t{1}, std::size_t{997}, std::size_t{4096}, MotionCsvText::kDefaultChunkSize}) {
    SCOPED_TRACE(chunkSize);
    MotionCsvText text(chunkSize);
    for (int round = 0; round < 2; ++round) {
      // The second round checks that clear() starts over from the header.
      text.clear();
      for (std::size_t n = 0; n <= samples.size(); ++n) {
        if (n == 0 || n == 1 || n == samples.size()) {
          const std::vector<MotionDataPoint> prefix(samples.begin(), samples.begin() + n);
          const std::string plain = makeMotionCSV(prefix);
          EXPECT_EQ(text.plainText(), plain);
          EXPECT_EQ(text.lineCount(), n);
          std::string escaped;
          for (const char c : plain) escaped += c == '\n' ? std::string("\\n") : std::string(1, c);
          const auto chunks = text.chunks();
          EXPECT_EQ(joined(chunks), escaped);
          EXPECT_EQ(text.escapedSize(), escaped.size());
          for (const std::string_view chunk : chunks) {
            if (chunkSize > 1) {
              EXPECT_LE(chunk.size(), chunkSize);
            }
            EXPECT_NE(chunk.back(), '\\') << "an escape is never split between chunks";
          }
        }
        if (n < samples.size()) text.append(samples[n]);
      }
    }
  }
}

// The record file as the JSON library alone writes it.
Status libraryEncoding(const UserRecordData& record, std::string& out) {
  nlohmann::ordered_json object;
  object["id"] = record.id;
  object["dateStart"] = record.dateStart;
  object["dateEnd"] = record.dateEnd;
  object["timeSpent"] = record.timeSpent;
  object["jumps"] = record.jumps;
  object["csvText"] = record.csvText;
  if (record.unlockedTrophy) object["unlockedTrophy"] = encodeTrophy(*record.unlockedTrophy);
  try {
    out = object.dump();
  } catch (const nlohmann::json::exception& error) {
    return Failure{FailureKind::malformed, std::string("invalidValue: ") + error.what()};
  }
  return std::nullopt;
}

UserRecordData recordWith(std::string csvText, bool withTrophy) {
  UserRecordData record("6F9619FF-8B86-4011-B42D-00CF4FC964FF", 1764942759.123456, 1764942789.5,
                        30.376544, 12, std::move(csvText), std::nullopt);
  if (withTrophy) {
    record.unlockedTrophy = trophyCatalogue()[4];
    record.unlockedTrophy->isUnlocked = true;
  }
  return record;
}

// Valid text is written as the library writes it; invalid UTF-8 is refused
// with the library's reason, and nothing half-written is given out.
TEST(RecordEncoding, WritesTheSameBytesAsTheJsonLibraryOrRefusesWithItsReason) {
  std::string everyControlByte;
  for (int c = 0; c < 0x20; ++c) everyControlByte += static_cast<char>(c);
  everyControlByte += "\x7f";
  const std::vector<std::string> texts = {
      "",
      "a,b\n1.0,2.0\n",
      everyControlByte,
      "quote \" backslash \\ slash / \\n literal",
      "\"\\\"\\",                                   // escapes back to back, at both ends
      "caf\xc3\xa9 \xe2\x82\xac \xf0\x9d\x84\x9e",  // two, three and four bytes
      "\xed\x9f\xbf\xee\x80\x80\xf4\x8f\xbf\xbf\xe0\xa0\x80\xf0\x90\x80\x80\xc2\x80",  // edges
      makeMotionCSV(variedSamples(50)),
      "\xff",                // invalid from here on
      "ok\xc3",              // cut short at the end
      "ok\xe2\x82 more",     // cut short inside
      "\xc0\xaf",            // overlong
      "\xe0\x80\xaf",        // overlong
      "\xed\xa0\x80",        // a surrogate
      "\xf4\x90\x80\x80",    // past U+10FFFF
      "\xf5\x80\x80\x80",    // no such lead byte
      "\x80",                // a continuation alone
      "\n\"\xc3\xa9\xa9\"",  // after escapes and a valid sequence
  };
  for (const std::string& text : texts) {
    for (const bool withTrophy : {false, true}) {
      SCOPED_TRACE(::testing::PrintToString(text) + (withTrophy ? " with a trophy" : ""));
      const UserRecordData record = recordWith(text, withTrophy);
      std::string expected, actual = "untouched";
      const auto refusal = libraryEncoding(record, expected);
      EXPECT_EQ(encodeUserRecordData(record, actual), refusal);
      EXPECT_EQ(actual, refusal ? "untouched" : expected);
    }
  }
}

TEST(ChunkedRecordSave, WritesTheSameFileAsTheWholeTextAndIndexesIt) {
  const auto samples = variedSamples(120);
  MotionCsvText csv(997);
  for (const MotionDataPoint& sample : samples) csv.append(sample);
  for (const bool withTrophy : {false, true}) {
    SCOPED_TRACE(withTrophy);
    Folder f;
    const UserRecordData whole = recordWith(makeMotionCSV(samples), withTrophy);
    const UserRecordData apart = recordWith("ignored", withTrophy);
    ASSERT_EQ(f.store.saveUserRecordData(whole, "whole"), std::nullopt);
    ASSERT_EQ(f.store.saveUserRecordData(apart, csv.chunks(), "apart"), std::nullopt);
    EXPECT_EQ(readText(f.file("apart")), readText(f.file("whole")));

    SummaryLoadStats stats;
    EXPECT_EQ(f.store.loadAllUserRecordSummaries(f.log, {}, &stats).size(), 2u);
    EXPECT_EQ(stats.fromIndex, withTrophy ? 0u : 2u) << "the chunked save updates the index too";

    // A stem that is not a file name is refused before anything is written.
    EXPECT_TRUE(f.store.saveUserRecordData(apart, csv.chunks(), "../escape"));
    EXPECT_FALSE(fs::exists(f.dir.path().parent_path() / "escape.json"));
  }
}
}  // namespace
}  // namespace hopster
