// The scans that vouch for a record's trace without a parser. The same file
// runs against the SSE2 scanner and, built with HOPSTER_NO_SIMD, against the
// byte-by-byte one a phone without SSE2 runs, so both give these answers.
#include <gtest/gtest.h>

#include <string>

#include "records/trace_scan.h"

namespace hopster {
namespace {

// A plain trace body of `size` bytes: digits, commas and "\n" escapes.
std::string plainBody(std::size_t size) {
  std::string body;
  while (body.size() < size) body += body.size() % 23 == 21 ? "\\n" : "1,";
  body.resize(size);
  if (body.back() == '\\') body.back() = '0';
  return body;
}

// Where a byte or escape lands relative to the 16- and 64-byte blocks.
constexpr std::size_t kOffsets[] = {0, 1, 15, 16, 17, 31, 47, 63, 64, 65, 127, 128, 190};

TEST(TraceScan, AnOddByteOrEscapeAnywhereIsJudgedAsTheDecoderWould) {
  struct Case {
    const char* what;
    std::string insert;
    bool plain;  // whether the body is still vouched for
  };
  const Case cases[] = {
      {"a line feed escape", "\\n", true},     {"an escaped quote", "\\\"", true},
      {"an escaped backslash", "\\\\", true},  {"an escaped backslash before an n", "\\\\n", true},
      {"a tab escape", "\\t", true},           {"a unicode escape", "\\u0041", false},
      {"an unknown escape", "\\x", false},     {"a raw tab", "\t", false},
      {"a raw line feed", "\n", false},        {"a byte above ASCII", "\xC3\xA9", false},
      {"a DEL-free high byte", "\x80", false},
  };
  for (const Case& c : cases) {
    for (const std::size_t offset : kOffsets) {
      SCOPED_TRACE(std::string(c.what) + " at " + std::to_string(offset));
      std::string body = plainBody(256);
      // Never inside an existing "\n": replace whole characters only.
      std::size_t at = offset;
      if (at > 0 && body[at - 1] == '\\') ++at;
      body.replace(at, c.insert.size(), c.insert);
      EXPECT_EQ(isPlainStringBody(body.data(), body.data() + body.size()), c.plain);
    }
  }
  const std::string plain = plainBody(1000);
  EXPECT_TRUE(isPlainStringBody(plain.data(), plain.data() + plain.size()));
  EXPECT_TRUE(isPlainStringBody(plain.data(), plain.data()));
  // A lone backslash at the very end escapes nothing.
  const std::string cut = plainBody(100) + "\\";
  EXPECT_FALSE(isPlainStringBody(cut.data(), cut.data() + cut.size()));
}

TEST(TraceScan, SkippingNeverPassesAnOddByteNorTheEnd) {
  for (const char odd : {'"', '\t', '\\', static_cast<char>(0xE9)}) {
    for (const std::size_t offset : kOffsets) {
      SCOPED_TRACE(std::to_string(static_cast<int>(odd)) + " at " + std::to_string(offset));
      std::string text = plainBody(300);
      if (offset > 0 && text[offset - 1] == '\\') text[offset - 1] = '0';
      text[offset] = odd;
      if (odd == '\\') text[offset + 1] = 'x';
      const char* at = text.data();
      skipPlainBlocks(at, text.data() + text.size());
      EXPECT_LE(at, text.data() + offset);
      EXPECT_EQ((at - text.data()) % 16, 0);
    }
  }
  // A plain text is skipped up to its last whole blocks with SSE2, not at
  // all without; never to its end, since each block is read with the byte after it.
  const std::string plain = plainBody(300);
  const char* at = plain.data();
  skipPlainBlocks(at, plain.data() + plain.size());
  const auto left = plain.data() + plain.size() - at;
#if defined(__SSE2__) && !defined(HOPSTER_NO_SIMD)
  EXPECT_LE(left, 16 + 16);
#endif
  EXPECT_GT(left, 0);
}

TEST(TraceScan, FindsTheCompactTraceAndItsClosingQuote) {
  struct Case {
    std::string text;
    std::optional<std::string> trace;
  };
  const Case cases[] = {
      {R"({"id":"a","csvText":"1,2\n3","jumps":1})", R"("1,2\n3")"},
      {R"({"csvText":"say \"hi\\\"","x":1})", R"("say \"hi\\\"")"},
      {R"({"csvText":"ends with \\","x":1})", R"("ends with \\")"},
      {R"({"csvText": "spaced"})", std::nullopt},
      {R"({"note":"\"csvText\":\"x","y":1})", std::nullopt},
      {R"({"csvText":"never closed)", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const auto found = locateCompactTrace(c.text.data(), c.text.size());
    ASSERT_EQ(found.has_value(), c.trace.has_value());
    if (found) {
      EXPECT_EQ(std::string(*found), *c.trace);
    }
  }
}

}  // namespace
}  // namespace hopster
