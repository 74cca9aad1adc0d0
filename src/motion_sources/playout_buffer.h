#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

#include "platform/device_motion.h"

namespace hopster {

// One motion sample with the sender's own time stamp: seconds since 1970 on
// the sender's clock.
struct PlayoutSample {
  double time = 0.0;
  DeviceMotion motion;
};

// What the playout buffer turned away.
struct PlayoutCounts {
  std::size_t late = 0;          // older than a sample already delivered
  std::size_t overflow = 0;      // pushed out of a full queue, oldest first
  std::size_t stray = 0;         // far from the rest of their message's time stamps
  std::size_t repeated = 0;      // messages whose id had been seen lately
  std::size_t realignments = 0;  // jumps of the sender's clock
};

// Turns samples that arrive in batches back into a stream with their own
// rhythm. A phone sends a batch every so often; played as it arrives, each
// batch would come as one burst. Instead each sample is due on the local
// clock at its own time stamp plus a fixed offset, so the gaps between
// deliveries are the gaps between the time stamps.
//
// The offset maps the sender's clock onto the local one (the smallest lag
// seen over recent messages, where a message's lag is its arrival time less
// the median of its time stamps) plus a delay that outlasts one batch: the
// longest recent batch period (time between arrivals, or the time a batch
// spans) plus a margin, held to 0.1 to 3 seconds. A sample whose message
// came too late for that is due at once, still in time order.
//
// Pure logic on times handed in: nothing here reads a clock or keeps a
// thread, so every decision is tested in virtual time.
class PlayoutBuffer {
 public:
  static constexpr double kMargin = 0.1;
  static constexpr double kShortestDelay = 0.1;
  static constexpr double kLongestDelay = 3.0;
  // A lag that differs from the usual one by more than this is the sender's
  // clock being set, not the network: the buffer aligns afresh.
  static constexpr double kClockJump = 10.0;
  // At most this much sender time, and this many samples, wait in the queue.
  static constexpr double kLongestQueue = 10.0;
  static constexpr std::size_t kMostQueued = 8192;

  // Takes one message's samples (in any order) that arrived at `arrival` on
  // the local clock. Returns false, and takes nothing, for a message whose
  // id was seen lately; a message without an id is always taken.
  bool add(std::optional<std::int64_t> messageId, double arrival,
           std::vector<PlayoutSample> samples);
  // Whether a message with this id was taken lately; never without an id.
  [[nodiscard]] bool isRepeat(std::optional<std::int64_t> messageId) const;

  // Local time at which the earliest queued sample is due; it may be past.
  [[nodiscard]] std::optional<double> nextDue() const;
  // Removes and returns every sample due by `now`, in time order.
  std::vector<PlayoutSample> takeDue(double now);

  // Drops the queued samples without counting them, keeping the timing
  // measured so far (nobody is listening, but the rhythm is still learnt).
  void discardQueued();
  // Forgets everything: a new sender or session follows.
  void reset();

  // Seconds between a sample's aligned arrival and its due time.
  [[nodiscard]] double delay() const;
  [[nodiscard]] std::size_t queued() const { return queue_.size(); }
  [[nodiscard]] const PlayoutCounts& counts() const { return counts_; }

 private:
  struct Entry {
    std::uint64_t alignment;  // which alignment the time stamp belongs to
    PlayoutSample sample;
  };

  static constexpr std::size_t kWindow = 16;  // messages the timing is measured over
  static constexpr std::size_t kRememberedIds = 64;
  static constexpr double kUnmeasuredPeriod = 1.0;

  [[nodiscard]] double dueOf(const Entry& entry) const;
  void measure(double arrival, double span, std::optional<double> lag);
  void realign(double arrival);
  void insert(PlayoutSample sample);
  void trim();

  std::deque<Entry> queue_;  // in (alignment, time) order
  std::uint64_t alignment_ = 0;
  double realignedAt_ = 0.0;  // samples of an earlier alignment are due from then

  std::deque<double> lags_;     // recent messages' lags
  std::deque<double> periods_;  // recent batch periods
  double offset_ = 0.0;         // local time less sender time, before the delay
  double delay_ = kUnmeasuredPeriod + kMargin;
  std::optional<double> lastArrival_;
  std::optional<double> lastDelivered_;  // time stamp, current alignment
  std::deque<std::int64_t> recentIds_;

  PlayoutCounts counts_;
};

}  // namespace hopster
