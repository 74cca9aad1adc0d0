#include "analysis/trace_overview.h"

#include <algorithm>

namespace hopster {
namespace {

ValueRange joined(const ValueRange& a, const ValueRange& b) {
  return {std::min(a.low, b.low), std::max(a.high, b.high)};
}

}  // namespace

TraceOverview::TraceOverview(std::vector<double> times, std::vector<float> values)
    : times_(std::move(times)), values_(std::move(values)) {
  values_.resize(times_.size());
  std::vector<ValueRange> below;
  below.reserve(values_.size());
  for (const float value : values_) below.push_back({value, value});
  // Each level pairs the blocks of the one below; an odd block at the end
  // stands alone.
  while (below.size() > 1) {
    std::vector<ValueRange> level((below.size() + 1) / 2);
    for (std::size_t i = 0; i < level.size(); ++i) {
      level[i] = 2 * i + 1 < below.size() ? joined(below[2 * i], below[2 * i + 1]) : below[2 * i];
    }
    levels_.push_back(level);
    below = std::move(level);
  }
}

double TraceOverview::duration() const {
  return times_.empty() ? 0.0 : times_.back() - times_.front();
}

std::size_t TraceOverview::indexAt(double time) const {
  return static_cast<std::size_t>(std::lower_bound(times_.begin(), times_.end(), time) -
                                  times_.begin());
}

ValueRange TraceOverview::rangeOf(std::size_t first, std::size_t last) const {
  last = std::min(last, values_.size());
  if (first >= last) return {};
  ValueRange range{values_[first], values_[first]};
  // Walk up from the samples: take single blocks at the edges until the
  // rest is whole blocks of the next level, then move up a level.
  std::size_t level = 0;  // 0: samples; k: levels_[k - 1]
  const auto at = [&](std::size_t index) {
    return level == 0 ? ValueRange{values_[index], values_[index]} : levels_[level - 1][index];
  };
  while (first < last) {
    if (first % 2 == 1) range = joined(range, at(first++));
    if (first < last && last % 2 == 1) range = joined(range, at(--last));
    if (first >= last || level == levels_.size()) {
      for (; first < last; ++first) range = joined(range, at(first));
      break;
    }
    first /= 2;
    last /= 2;
    ++level;
  }
  return range;
}

std::size_t TraceOverview::bytes() const {
  std::size_t total = times_.capacity() * sizeof(double) + values_.capacity() * sizeof(float);
  for (const auto& level : levels_) total += level.capacity() * sizeof(ValueRange);
  return total;
}

}  // namespace hopster
