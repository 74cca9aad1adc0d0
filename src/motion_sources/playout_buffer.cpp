#include "motion_sources/playout_buffer.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace hopster {
namespace {

bool earlier(std::uint64_t alignmentA, double timeA, std::uint64_t alignmentB, double timeB) {
  return alignmentA != alignmentB ? alignmentA < alignmentB : timeA < timeB;
}

void keepRecent(std::deque<double>& window, double value, std::size_t size) {
  window.push_back(value);
  if (window.size() > size) window.pop_front();
}

}  // namespace

bool PlayoutBuffer::isRepeat(std::optional<std::int64_t> messageId) const {
  return messageId &&
         std::find(recentIds_.begin(), recentIds_.end(), *messageId) != recentIds_.end();
}

bool PlayoutBuffer::add(std::optional<std::int64_t> messageId, double arrival,
                        std::vector<PlayoutSample> samples) {
  if (isRepeat(messageId)) {
    ++counts_.repeated;
    return false;
  }
  if (messageId) {
    recentIds_.push_back(*messageId);
    if (recentIds_.size() > kRememberedIds) recentIds_.pop_front();
  }

  const auto unusable = [](const PlayoutSample& s) { return !std::isfinite(s.time); };
  counts_.stray += std::erase_if(samples, unusable);
  if (samples.empty()) {
    measure(arrival, 0.0, std::nullopt);
    return true;
  }
  std::stable_sort(samples.begin(), samples.end(),
                   [](const PlayoutSample& a, const PlayoutSample& b) { return a.time < b.time; });
  // The median stands for the message: one wild time stamp can neither move
  // the alignment nor stretch the queue.
  const double median = samples[samples.size() / 2].time;
  counts_.stray += std::erase_if(
      samples, [median](const PlayoutSample& s) { return std::abs(s.time - median) > kClockJump; });
  const double lag = arrival - median;
  if (!lags_.empty() && std::abs(lag - offset_) > kClockJump) realign(arrival);
  measure(arrival, samples.back().time - samples.front().time, lag);

  for (PlayoutSample& sample : samples) {
    if (lastDelivered_ && sample.time < *lastDelivered_) {
      ++counts_.late;
    } else {
      insert(std::move(sample));
    }
  }
  trim();
  return true;
}

void PlayoutBuffer::measure(double arrival, double span, std::optional<double> lag) {
  double period = span;
  // A gap longer than any delay is a pause of the sender, not its period.
  if (lastArrival_ && arrival - *lastArrival_ <= kLongestDelay) {
    period = std::max(period, arrival - *lastArrival_);
  }
  lastArrival_ = std::max(arrival, lastArrival_.value_or(arrival));
  if (period > 0.0) keepRecent(periods_, period, kWindow);
  if (!periods_.empty()) {
    const double longest = *std::max_element(periods_.begin(), periods_.end());
    delay_ = std::clamp(longest + kMargin, kShortestDelay, kLongestDelay);
  }
  if (lag) {
    keepRecent(lags_, *lag, kWindow);
    offset_ = *std::min_element(lags_.begin(), lags_.end());
  }
}

void PlayoutBuffer::realign(double arrival) {
  // Samples already queued keep their order and are due at once; the new
  // ones follow them on the new alignment.
  ++alignment_;
  realignedAt_ = arrival;
  lags_.clear();
  lastDelivered_.reset();
  ++counts_.realignments;
}

void PlayoutBuffer::insert(PlayoutSample sample) {
  Entry entry{alignment_, std::move(sample)};
  const auto before = [](const Entry& a, const Entry& b) {
    return earlier(a.alignment, a.sample.time, b.alignment, b.sample.time);
  };
  if (queue_.empty() || !before(entry, queue_.back())) {
    queue_.push_back(std::move(entry));
  } else {
    queue_.insert(std::upper_bound(queue_.begin(), queue_.end(), entry, before), std::move(entry));
  }
}

void PlayoutBuffer::trim() {
  while (queue_.size() > kMostQueued) {
    queue_.pop_front();
    ++counts_.overflow;
  }
  while (!queue_.empty() && queue_.front().alignment == alignment_ &&
         queue_.back().sample.time - queue_.front().sample.time > kLongestQueue) {
    queue_.pop_front();
    ++counts_.overflow;
  }
}

double PlayoutBuffer::dueOf(const Entry& entry) const {
  if (entry.alignment != alignment_) return realignedAt_;
  return entry.sample.time + offset_ + delay_;
}

std::optional<double> PlayoutBuffer::nextDue() const {
  if (queue_.empty()) return std::nullopt;
  return dueOf(queue_.front());
}

std::vector<PlayoutSample> PlayoutBuffer::takeDue(double now) {
  std::vector<PlayoutSample> due;
  while (!queue_.empty() && dueOf(queue_.front()) <= now) {
    Entry& entry = queue_.front();
    if (entry.alignment == alignment_) lastDelivered_ = entry.sample.time;
    due.push_back(std::move(entry.sample));
    queue_.pop_front();
  }
  return due;
}

void PlayoutBuffer::discardQueued() { queue_.clear(); }

void PlayoutBuffer::reset() {
  const PlayoutCounts counts = counts_;
  *this = PlayoutBuffer{};
  counts_ = counts;
}

double PlayoutBuffer::delay() const { return delay_; }

}  // namespace hopster
