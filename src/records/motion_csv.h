#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "motion/motion_data_point.h"

namespace hopster {

// The first line of every motion CSV text, without its line feed.
inline constexpr char kMotionCSVHeader[] =
    "TimeIntervalSince1970,AccelerationX,AccelerationY,AccelerationZ,RotationRateX,"
    "RotationRateY,RotationRateZ,Pitch,Roll,Yaw,GravityX,GravityY,GravityZ,"
    "GlobalAccelerationX,GlobalAccelerationY,GlobalAccelerationZ";

// A recording's trace as CSV text: the header line, then one line per sample
// in list order with its sixteen fields in declaration order, each in the
// number form of writeNumber. Every line ends in a line feed.
[[nodiscard]] std::string makeMotionCSV(const std::vector<MotionDataPoint>& samples);

// The same CSV text built a sample at a time while a recording runs, already
// in the escaped form it takes inside a JSON string (each line feed written
// as backslash and "n"; the numbers need no escaping). The text lives in
// fixed-size chunks that are never moved or grown, so appending costs the
// same at the millionth sample as at the first.
class MotionCsvText {
 public:
  static constexpr std::size_t kDefaultChunkSize = std::size_t{1} << 20;

  // Starts with the header line. `chunkSize` must hold at least one line.
  explicit MotionCsvText(std::size_t chunkSize = kDefaultChunkSize);

  // Adds the line of one sample, as makeMotionCSV writes it.
  void append(const MotionDataPoint& sample);
  // Back to the header line alone, letting go of the text.
  void clear();

  [[nodiscard]] std::size_t lineCount() const { return lines_; }
  // The escaped text, in order.
  [[nodiscard]] std::vector<std::string_view> chunks() const;
  [[nodiscard]] std::size_t escapedSize() const;
  // The text as makeMotionCSV gives it, with plain line feeds.
  [[nodiscard]] std::string plainText() const;

 private:
  // Memory mapped straight from the system rather than taken from the
  // allocator: letting go of a hundred of these on a worker then never holds
  // a lock that the main thread's allocations wait for.
  struct Unmap {
    std::size_t size;
    void operator()(char* data) const;
  };
  struct Chunk {
    std::unique_ptr<char, Unmap> data;
    std::size_t used = 0;
  };
  void appendBytes(const char* bytes, std::size_t size);

  std::size_t chunkSize_;
  std::vector<Chunk> chunks_;
  std::size_t lines_ = 0;
};

}  // namespace hopster
