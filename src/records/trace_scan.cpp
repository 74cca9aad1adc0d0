#include "records/trace_scan.h"

#include <cstring>

#if defined(__SSE2__) && !defined(HOPSTER_NO_SIMD)
#define HOPSTER_SSE2_SCAN 1
#include <emmintrin.h>
#endif

namespace hopster {

bool hasOnlyShortEscapes(const char* begin, const char* end) {
  const char* at = begin;
  while ((at = static_cast<const char*>(
              std::memchr(at, '\\', static_cast<std::size_t>(end - at)))) != nullptr) {
    if (at + 1 >= end || std::strchr("\"\\/bfnrt", at[1]) == nullptr || at[1] == '\0') return false;
    at += 2;
  }
  return true;
}

bool isEscaped(const char* floor, const char* at) {
  std::size_t run = 0;
  while (at > floor && at[-1] == '\\') {
    --at;
    ++run;
  }
  return run % 2 == 1;
}

std::optional<std::string_view> locateCompactTrace(const char* data, std::size_t length) {
  constexpr std::string_view kMember = "\"csvText\":\"";
  const std::string_view text(data, length);
  const auto at = text.find(kMember);
  if (at == std::string_view::npos || isEscaped(data, data + at)) return std::nullopt;
  const char* open = data + at + kMember.size() - 1;
  const char* end = data + length;
  for (const char* close = open + 1;; ++close) {
    close =
        static_cast<const char*>(std::memchr(close, '"', static_cast<std::size_t>(end - close)));
    if (close == nullptr) return std::nullopt;
    if (!isEscaped(open + 1, close)) {
      return std::string_view(open, static_cast<std::size_t>(close - open + 1));
    }
  }
}

bool isPlainStringBody(const char* begin, const char* end) {
  const char* at = begin;
  skipPlainBlocks(at, end);
  // What the blocks left: its bytes judged one by one, its escapes together.
  // The blocks' only escapes are "\n", so a backslash just before `at` is
  // one, its "n" at `at`.
  bool escapes = false;
  for (const char* c = at; c < end; ++c) {
    const auto byte = static_cast<unsigned char>(*c);
    if (byte < 0x20 || byte >= 0x80) return false;
    if (byte == '\\') escapes = true;
  }
  return !escapes || hasOnlyShortEscapes(at, end);
}

#if defined(HOPSTER_SSE2_SCAN)

namespace {

// The bytes of the block at `p` that rule it out: a quote, a control
// character or a byte >= 0x80 (below the space, compared signed), or a
// backslash not followed by "n". Reads one byte past the block.
__m128i oddBytes(const char* p) {
  const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 1));
  const __m128i quote = _mm_cmpeq_epi8(bytes, _mm_set1_epi8('"'));
  const __m128i control = _mm_cmplt_epi8(bytes, _mm_set1_epi8(0x20));
  const __m128i escape = _mm_andnot_si128(_mm_cmpeq_epi8(next, _mm_set1_epi8('n')),
                                          _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\\')));
  return _mm_or_si128(quote, _mm_or_si128(control, escape));
}

}  // namespace

void skipPlainBlocks(const char*& at, const char* end) {
  // Four blocks at a time while all four pass, then one at a time to the
  // first that does not.
  for (; end - at >= 65; at += 64) {
    const __m128i odd = _mm_or_si128(_mm_or_si128(oddBytes(at), oddBytes(at + 16)),
                                     _mm_or_si128(oddBytes(at + 32), oddBytes(at + 48)));
    if (_mm_movemask_epi8(odd) != 0) break;
  }
  for (; end - at >= 17; at += 16) {
    if (_mm_movemask_epi8(oddBytes(at)) != 0) break;
  }
}

#else

void skipPlainBlocks(const char*& /*at*/, const char* /*end*/) {}

#endif

}  // namespace hopster
