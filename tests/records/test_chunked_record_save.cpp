#include <gtest/gtest.h>
#include <sys/resource.h>

#include <array>
#include <bit>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <limits>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "platform/atomic_file.h"
#include "records/motion_csv.h"
#include "records/record_store.h"
#include "records/user_record_json.h"
#include "support/temp_dir.h"
#include "trophies/trophy_catalogue.h"
#include "trophies/trophy_json.h"

namespace hopster {
namespace {

namespace fs = std::filesystem;

std::string readText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string joined(const std::vector<std::string_view>& pieces) {
  std::string text;
  for (const std::string_view piece : pieces) text += piece;
  return text;
}

// Samples whose lines differ in length, with every unusual number form.
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
std::optional<std::string> libraryEncoding(const UserRecordData& record, std::string& out) {
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
    return std::string("invalidValue: ") + error.what();
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

TEST(RecordEncoding, WritesTheSameBytesAsTheJsonLibrary) {
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
  };
  for (const std::string& text : texts) {
    for (const bool withTrophy : {false, true}) {
      SCOPED_TRACE(::testing::PrintToString(text) + (withTrophy ? " with a trophy" : ""));
      const UserRecordData record = recordWith(text, withTrophy);
      std::string expected, actual;
      ASSERT_EQ(libraryEncoding(record, expected), std::nullopt);
      ASSERT_EQ(encodeUserRecordData(record, actual), std::nullopt);
      EXPECT_EQ(actual, expected);
    }
  }
}

TEST(RecordEncoding, RefusesInvalidUtf8WithTheLibrarysOwnReason) {
  const std::vector<std::string> texts = {
      "\xff",
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
    SCOPED_TRACE(::testing::PrintToString(text));
    const UserRecordData record = recordWith(text, false);
    std::string expected, actual = "untouched";
    const auto expectedError = libraryEncoding(record, expected);
    ASSERT_TRUE(expectedError);
    EXPECT_EQ(encodeUserRecordData(record, actual), expectedError);
    EXPECT_EQ(actual, "untouched") << "nothing half-written is given out";
  }
}

TEST(ChunkedRecordSave, WritesTheSameFileAsTheWholeTextAndIndexesIt) {
  const auto samples = variedSamples(120);
  MotionCsvText csv(997);
  for (const MotionDataPoint& sample : samples) csv.append(sample);
  for (const bool withTrophy : {false, true}) {
    SCOPED_TRACE(withTrophy);
    testing::TempDir documents, cache;
    MemoryLog log;
    const RecordStore store(documents.path(), log, cache.path());
    const UserRecordData whole = recordWith(makeMotionCSV(samples), withTrophy);
    const UserRecordData apart = recordWith("ignored", withTrophy);
    ASSERT_EQ(store.saveUserRecordData(whole, "whole"), std::nullopt);
    ASSERT_EQ(store.saveUserRecordData(apart, csv.chunks(), "apart"), std::nullopt);
    EXPECT_EQ(log.lines().back(), "UserRecordData saved successfully to " +
                                      fileUrl(documents.path() / "apart.json") + ".");
    EXPECT_EQ(readText(documents.path() / "apart.json"), readText(documents.path() / "whole.json"));

    SummaryLoadStats stats;
    MemoryLog summaryLog;
    const auto summaries = store.loadAllUserRecordSummaries(summaryLog, {}, &stats);
    EXPECT_EQ(summaries.size(), 2u);
    EXPECT_EQ(stats.fromIndex, withTrophy ? 0u : 2u) << "the chunked save updates the index too";

    // A stem that is not a file name is refused before anything is written.
    EXPECT_TRUE(store.saveUserRecordData(apart, csv.chunks(), "../escape"));
    EXPECT_FALSE(fs::exists(documents.path().parent_path() / "escape.json"));
  }
}

TEST(AtomicFilePieces, WritesThePiecesInOrderAndLeavesNothingBehindOnFailure) {
  testing::TempDir dir;
  const fs::path target = dir.path() / "file.json";
  const std::string big(3000, 'x');
  const std::vector<std::string_view> pieces = {"", "head,", big, "", ",tail"};
  ASSERT_EQ(writeFileAtomically(target, pieces), std::nullopt);
  EXPECT_EQ(readText(target), "head," + big + ",tail");

  // A full disk: writes past the file size limit fail with EFBIG.
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto previous = std::signal(SIGXFSZ, SIG_IGN);
  rlimit limited = saved;
  limited.rlim_cur = 2048;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
  const std::vector<std::string_view> other = {"new,", big};
  const auto error = writeFileAtomically(target, other);
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous);

  ASSERT_TRUE(error);
  EXPECT_NE(error->find("Could not write"), std::string::npos) << *error;
  EXPECT_EQ(readText(target), "head," + big + ",tail") << "the old content stays";
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 1) << "no temporary file";
}

}  // namespace
}  // namespace hopster
