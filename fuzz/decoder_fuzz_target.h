#pragma once

#include <cstddef>
#include <cstdint>

namespace hopster {

// Feeds arbitrary bytes to the record and trophy decoders. Whatever the
// bytes, decoding must end in a value or an error, never a crash; and a record
// that decodes must encode and decode again to the same record (aborts if not).
int fuzzDecoders(const std::uint8_t* data, std::size_t size);

}  // namespace hopster
