#pragma once

#include <cstddef>
#include <utility>
#include <vector>

namespace hopster {

// The lowest and highest value over a stretch of a trace.
struct ValueRange {
  float low = 0.0F;
  float high = 0.0F;
  friend bool operator==(const ValueRange&, const ValueRange&) = default;
};

// A whole recording's vertical acceleration kept for drawing at any zoom:
// the samples' times and values, and above them levels of lowest and highest
// values over 2, 4, 8, … samples. A column of a chart covering thousands of
// samples is then read from a few entries of a coarse level, so drawing an
// hour-long trace costs about the same per frame as drawing a minute.
class TraceOverview {
 public:
  TraceOverview() = default;
  // `times` (s, not decreasing) and `values` of the same length.
  TraceOverview(std::vector<double> times, std::vector<float> values);

  [[nodiscard]] std::size_t size() const { return times_.size(); }
  [[nodiscard]] const std::vector<double>& times() const { return times_; }
  [[nodiscard]] const std::vector<float>& values() const { return values_; }
  // From the first sample's time to the last's; 0 when there are none.
  [[nodiscard]] double duration() const;

  // The index of the first sample at or after `time`.
  [[nodiscard]] std::size_t indexAt(double time) const;

  // The lowest and highest value of the samples [first, last): exact at the
  // edges, read from the coarsest levels that fit inside. Empty ranges give
  // {0, 0}.
  [[nodiscard]] ValueRange rangeOf(std::size_t first, std::size_t last) const;

  // The bytes this overview holds.
  [[nodiscard]] std::size_t bytes() const;

 private:
  std::vector<double> times_;
  std::vector<float> values_;
  // levels_[k] covers blocks of 2^(k+1) samples.
  std::vector<std::vector<ValueRange>> levels_;
};

}  // namespace hopster
