#pragma once

// The journal's bytes on disk and its file names: a 32-byte header, then
// chunks (tag, length, payload, FNV-1a checksum) of samples or of the
// ending; the name says the stage (".journal", ".saving",
// ".committing[<through>]"). Only the journal reads and writes them.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "records/recording_journal.h"

namespace hopster::journal_format {

inline constexpr std::string_view kPrefix = ".hopster-recording-";
inline constexpr std::string_view kRecordingEnd = ".journal";
inline constexpr std::string_view kSavingEnd = ".saving";
inline constexpr std::string_view kCommittingEnd = ".committing[";
inline constexpr std::array<char, 8> kMagic{'H', 'O', 'P', 'J', 'R', 'N', 'L', '1'};
inline constexpr std::uint32_t kSamplesTag = 'S';
inline constexpr std::uint32_t kEndingTag = 'E';
// A chunk no writer makes: a longer one means a damaged length field.
inline constexpr std::uint32_t kLongestChunk = 64U << 20;
// The most samples one chunk carries (32 KiB of them). A backlog (a flush
// that comes late, samples the disk refused before) goes as several chunks,
// so a disk that fills part way still keeps the chunks that fitted.
inline constexpr std::size_t kSamplesPerChunk = 256;
struct HeaderBytes {
  std::array<char, 8> magic;
  double startTime;
  std::uint64_t armed;
  std::uint64_t checksum;
};
static_assert(sizeof(HeaderBytes) == 32);

struct ChunkHead {
  std::uint32_t tag;
  std::uint32_t length;
};

// FNV-1a: enough to tell a torn or zero-filled tail from data written whole.
[[nodiscard]] std::uint64_t checksum(std::string_view bytes,
                                     std::uint64_t hash = 14695981039346656037ULL);

[[nodiscard]] inline std::string_view bytesOf(const void* data, std::size_t size) {
  return {static_cast<const char*>(data), size};
}

template <typename T>
void put(std::string& out, const T& value) {
  out.append(bytesOf(&value, sizeof value));
}

// fdatasync that carries on after a signal: 0, or the errno.
[[nodiscard]] int syncData(int fd);

// The header of a journal of `header`.
[[nodiscard]] std::string headerBytes(const JournalHeader& header);

// The payload of an ending chunk, and back; nothing when the payload is not one.
[[nodiscard]] std::string endingBytes(const JournalEnding& ending);
[[nodiscard]] std::optional<JournalEnding> parseEnding(std::string_view payload);

// The stage a journal file name says, with the name's base and, when
// committing, the settings it commits through; nothing for another name.
[[nodiscard]] std::optional<JournalStage> stageOf(std::string_view name, std::string& base,
                                                  std::string& committingThrough);

}  // namespace hopster::journal_format
