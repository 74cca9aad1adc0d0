#include "records/motion_csv.h"

#include <sys/mman.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <new>

#include "records/number_form.h"

namespace hopster {

namespace {

// The columns, left to right.
constexpr std::array<double MotionDataPoint::*, 16> kColumns = {
    &MotionDataPoint::timeStamp,
    &MotionDataPoint::accelerationX,
    &MotionDataPoint::accelerationY,
    &MotionDataPoint::accelerationZ,
    &MotionDataPoint::rotationRateX,
    &MotionDataPoint::rotationRateY,
    &MotionDataPoint::rotationRateZ,
    &MotionDataPoint::pitch,
    &MotionDataPoint::roll,
    &MotionDataPoint::yaw,
    &MotionDataPoint::gravityX,
    &MotionDataPoint::gravityY,
    &MotionDataPoint::gravityZ,
    &MotionDataPoint::globalAccelerationX,
    &MotionDataPoint::globalAccelerationY,
    &MotionDataPoint::globalAccelerationZ,
};

constexpr std::size_t kHeaderLength = sizeof kMotionCSVHeader - 1;
// Every value followed by its separator or the line feed.
constexpr std::size_t kMaxLineLength = kColumns.size() * (kMaxNumberLength + 1);

// Asks for huge pages for the interior of a large buffer about to be
// written: tens of megabytes then cost a few dozen page faults instead of
// thousands. Only advice; nothing changes where the system declines.
void preferHugePages(char* data, std::size_t size) {
  constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;
  const auto begin = reinterpret_cast<std::uintptr_t>(data);
  const std::uintptr_t first = (begin + kHugePage - 1) & ~(kHugePage - 1);
  const std::uintptr_t last = (begin + size) & ~(kHugePage - 1);
  if (last > first) {
    (void)::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
  }
}

}  // namespace

std::string makeMotionCSV(const std::vector<MotionDataPoint>& samples) {
  // Room for the longest possible lines is reserved once (untouched memory
  // costs nothing); each line is written into a small buffer and appended
  // whole, so only the bytes of the text itself are ever written.
  std::string text;
  text.reserve(kHeaderLength + 1 + samples.size() * kMaxLineLength);
  preferHugePages(text.data(), text.capacity());
  text.append(kMotionCSVHeader, kHeaderLength);
  text.push_back('\n');
  char line[kMaxLineLength];
  for (const MotionDataPoint& sample : samples) {
    char* out = line;
    for (double MotionDataPoint::*column : kColumns) {
      out = writeNumber(sample.*column, out);
      *out++ = ',';
    }
    out[-1] = '\n';
    text.append(line, static_cast<std::size_t>(out - line));
  }
  return text;
}

MotionCsvText::MotionCsvText(std::size_t chunkSize)
    : chunkSize_(std::max(chunkSize, kMaxLineLength + 1)) {
  clear();
}

void MotionCsvText::clear() {
  chunks_.clear();
  chunks_.shrink_to_fit();
  lines_ = 0;
  // The header has no characters that need escaping.
  appendBytes(kMotionCSVHeader, kHeaderLength);
  appendBytes("\\n", 2);
}

void MotionCsvText::appendBytes(const char* bytes, std::size_t size) {
  // A line never straddles two chunks: the current chunk is closed once the
  // next line might not fit, which keeps each append a single copy.
  if (chunks_.empty() || chunkSize_ - chunks_.back().used < size) {
    // Pages are only touched as the text reaches them.
    void* memory =
        ::mmap(nullptr, chunkSize_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) throw std::bad_alloc();
    chunks_.push_back(
        Chunk{std::unique_ptr<char, Unmap>(static_cast<char*>(memory), {chunkSize_}), 0});
  }
  Chunk& chunk = chunks_.back();
  std::memcpy(chunk.data.get() + chunk.used, bytes, size);
  chunk.used += size;
}

void MotionCsvText::Unmap::operator()(char* data) const { ::munmap(data, size); }

void MotionCsvText::append(const MotionDataPoint& sample) {
  // Room for the longest line plus the second byte of its escaped line feed.
  char line[kMaxLineLength + 1];
  char* out = line;
  for (double MotionDataPoint::*column : kColumns) {
    out = writeNumber(sample.*column, out);
    *out++ = ',';
  }
  out[-1] = '\\';
  *out++ = 'n';
  appendBytes(line, static_cast<std::size_t>(out - line));
  ++lines_;
}

std::vector<std::string_view> MotionCsvText::chunks() const {
  std::vector<std::string_view> views;
  views.reserve(chunks_.size());
  for (const Chunk& chunk : chunks_) views.emplace_back(chunk.data.get(), chunk.used);
  return views;
}

std::size_t MotionCsvText::escapedSize() const {
  std::size_t size = 0;
  for (const Chunk& chunk : chunks_) size += chunk.used;
  return size;
}

std::string MotionCsvText::plainText() const {
  std::string text;
  text.reserve(escapedSize());
  for (const std::string_view chunk : chunks()) {
    // Every backslash here starts an escaped line feed.
    for (std::size_t i = 0; i < chunk.size(); ++i) {
      if (chunk[i] == '\\') {
        text.push_back('\n');
        ++i;
      } else {
        text.push_back(chunk[i]);
      }
    }
  }
  return text;
}

}  // namespace hopster
