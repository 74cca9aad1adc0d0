#pragma once

#include <optional>
#include <string_view>

// Scans of a record's motion-trace string that vouch for it without a JSON
// parser: nearly every trace is printable ASCII whose only escapes are its
// line feeds ("\n"), and such a trace is checked at memory speed, 16 bytes at
// a time where the processor has SSE2. The byte-by-byte path gives the same
// answers everywhere (HOPSTER_NO_SIMD builds it alone, for its tests).

namespace hopster {

// Whether the body of a JSON string token (between its quotes) holds only the
// short escapes ("\"", "\\", "\/", "\b", "\f", "\n", "\r", "\t"): the full
// decoder then unescapes it as a plain copy with those escapes resolved
// would. "\u" needs the full decoder's checks of its digits and surrogates.
[[nodiscard]] bool hasOnlyShortEscapes(const char* begin, const char* end);

// Whether the byte at `at` is escaped: preceded by an odd run of backslashes
// that starts after `floor`.
[[nodiscard]] bool isEscaped(const char* floor, const char* at);

// The trace's string token as the encoder writes it, right after "csvText":
// with no space, from its opening quote to its closing one.
[[nodiscard]] std::optional<std::string_view> locateCompactTrace(const char* data,
                                                                 std::size_t length);

// Whether a string body is plain ASCII without control characters whose
// escapes are all short ones.
[[nodiscard]] bool isPlainStringBody(const char* begin, const char* end);

// Steps `at` over the whole 16-byte blocks that hold only printable ASCII,
// no quote, and no escape but "\n", stopping at the first block that holds
// anything else, which the caller then reads byte by byte. Each block is read
// with the byte after it, so at least one byte before `end` is left. Steps
// over nothing without SIMD.
void skipPlainBlocks(const char*& at, const char* end);

}  // namespace hopster
