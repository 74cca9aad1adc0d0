#include "records/journal_format.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace hopster::journal_format {

std::uint64_t checksum(std::string_view bytes, std::uint64_t hash) {
  for (const char c : bytes) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211ULL;
  }
  return hash;
}

int syncData(int fd) {
  while (::fdatasync(fd) != 0) {
    if (errno != EINTR) return errno;
  }
  return 0;
}

std::string headerBytes(const JournalHeader& header) {
  HeaderBytes bytes{kMagic, header.startTime, header.armedAtStart ? 1U : 0U, 0};
  bytes.checksum = checksum(bytesOf(&bytes, offsetof(HeaderBytes, checksum)));
  return std::string(bytesOf(&bytes, sizeof bytes));
}

std::string endingBytes(const JournalEnding& ending) {
  std::string out;
  put(out, ending.dateEnd);
  put(out, static_cast<std::uint32_t>(ending.id.size()));
  out += ending.id;
  put(out, static_cast<std::uint32_t>(ending.stem.size()));
  out += ending.stem;
  return out;
}

std::optional<JournalEnding> parseEnding(std::string_view payload) {
  JournalEnding ending;
  const auto take = [&payload](void* to, std::size_t size) {
    if (payload.size() < size) return false;
    std::memcpy(to, payload.data(), size);
    payload.remove_prefix(size);
    return true;
  };
  const auto takeText = [&](std::string& text) {
    std::uint32_t size = 0;
    if (!take(&size, sizeof size) || payload.size() < size) return false;
    text.assign(payload.substr(0, size));
    payload.remove_prefix(size);
    return true;
  };
  if (!take(&ending.dateEnd, sizeof ending.dateEnd) || !takeText(ending.id) ||
      !takeText(ending.stem) || !payload.empty()) {
    return std::nullopt;
  }
  return ending;
}

std::optional<JournalStage> stageOf(std::string_view name, std::string& base,
                                    std::string& committingThrough) {
  if (!name.starts_with(kPrefix)) return std::nullopt;
  if (name.ends_with(kRecordingEnd)) {
    base = name.substr(0, name.size() - kRecordingEnd.size());
    return JournalStage::recording;
  }
  if (name.ends_with(kSavingEnd)) {
    base = name.substr(0, name.size() - kSavingEnd.size());
    return JournalStage::saving;
  }
  const auto marker = name.find(kCommittingEnd);
  if (marker != std::string_view::npos && name.ends_with("]")) {
    base = name.substr(0, marker);
    const auto start = marker + kCommittingEnd.size();
    committingThrough = name.substr(start, name.size() - 1 - start);
    return JournalStage::committing;
  }
  return std::nullopt;
}

}  // namespace hopster::journal_format
