// Playout: the samples of each message handed out at the pace of their own
// time stamps, in virtual time.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "motion_sources/playout_buffer.h"

namespace hopster {
namespace {

constexpr double kStart = 1764942759.0;  // the sender's clock at its first sample

// `count` samples 20 ms apart from `first`.
std::vector<PlayoutSample> run(double first, int count) {
  std::vector<PlayoutSample> samples;
  for (int i = 0; i < count; ++i) samples.push_back({first + i * 0.02, {}});
  return samples;
}

struct Message {
  std::int64_t id;
  double arrival;
  std::vector<PlayoutSample> samples;
};

// 25 samples every 0.5 s, each batch sent with its newest sample and arriving
// 50 to 90 ms later; the local clock reads 100 s at the sender's kStart.
std::vector<Message> batches(int count, double start = kStart, std::int64_t firstId = 0) {
  const double latency[] = {0.05, 0.09, 0.06, 0.07};
  std::vector<Message> messages;
  for (int b = 0; b < count; ++b) {
    auto samples = run(start + b * 0.5, 25);
    const double arrival = samples.back().time - kStart + 100.0 + latency[b % 4];
    messages.push_back({firstId + b, arrival, std::move(samples)});
  }
  return messages;
}

struct Delivery {
  double at, time;  // when it was handed out (local), its own time stamp
};

// Plays the messages in virtual time, taking samples out whenever nextDue says.
std::vector<Delivery> play(PlayoutBuffer& buffer, const std::vector<Message>& messages) {
  std::vector<Delivery> out;
  double now = 0.0;
  for (std::size_t next = 0;;) {
    const double arrival = next < messages.size() ? messages[next].arrival : INFINITY;
    if (const auto due = buffer.nextDue(); due && *due <= arrival) {
      now = std::max(now, *due);
      const auto taken = buffer.takeDue(now);
      if (taken.empty()) {
        ADD_FAILURE() << "nothing was due at nextDue";
        return out;
      }
      for (const auto& sample : taken) out.push_back({now, sample.time});
    } else if (next < messages.size()) {
      now = std::max(now, arrival);
      buffer.add(messages[next].id, arrival, messages[next].samples);
      ++next;
    } else {
      return out;
    }
  }
}

// Whether every delivery from `first` on is a fixed time after its stamp.
void expectSteady(const std::vector<Delivery>& out, std::size_t first) {
  for (std::size_t i = first; i < out.size(); ++i) {
    EXPECT_NEAR(out[i].at - out[i].time, out[first].at - out[first].time, 1e-6) << i;
  }
}

TEST(PlayoutBuffer, BatchesComeOutAtTheRhythmOfTheirOwnTimeStamps) {
  PlayoutBuffer buffer;
  const auto messages = batches(12);
  const auto out = play(buffer, messages);
  ASSERT_EQ(out.size(), 12u * 25u);
  for (std::size_t i = 0; i < out.size(); ++i)
    EXPECT_EQ(out[i].time, messages[i / 25].samples[i % 25].time);
  // Once a second batch has shown the period, never late and never a burst.
  expectSteady(out, 25);
  EXPECT_GT(buffer.delay(), 0.54) << "outlasts the longest gap between batches";
  EXPECT_LT(buffer.delay(), 0.54 + PlayoutBuffer::kMargin + 1e-9);
}

TEST(PlayoutBuffer, TheDelayFollowsTheBatchPeriodButNotAPauseAndStaysInBounds) {
  const auto delayFor = [](double period, int perBatch) {
    PlayoutBuffer buffer;
    for (int b = 0; b < 20; ++b) buffer.add(b, b * period, run(kStart + b * period, perBatch));
    return buffer.delay();
  };
  EXPECT_NEAR(delayFor(0.2, 10), 0.2 + PlayoutBuffer::kMargin, 1e-6);
  EXPECT_NEAR(delayFor(0.01, 1), 0.01 + PlayoutBuffer::kMargin, 1e-6);
  EXPECT_DOUBLE_EQ(delayFor(5.0, 250), PlayoutBuffer::kLongestDelay);

  PlayoutBuffer paused;
  auto messages = batches(4);
  for (auto& m : batches(4, kStart + 60.0, 4)) messages.push_back(std::move(m));
  play(paused, messages);
  EXPECT_LT(paused.delay(), 0.7);
}

TEST(PlayoutBuffer, StaleSamplesAndRepeatedMessagesAreDroppedAndCounted) {
  PlayoutBuffer buffer;
  const auto out = play(buffer, batches(3));  // ids 0 to 2
  EXPECT_FALSE(buffer.isRepeat(std::nullopt)) << "no id is not id 0";
  const double last = out.back().time;
  // Eleven samples older than the last delivered, nine newer.
  ASSERT_TRUE(buffer.add(99, out.back().at + 0.01, run(last - 0.21, 20)));
  EXPECT_EQ(buffer.counts().late, 11u);
  EXPECT_FALSE(buffer.add(99, out.back().at + 0.02, run(last + 1.0, 20)));
  EXPECT_EQ(buffer.counts().repeated, 1u);
  const auto rest = buffer.takeDue(1e12);
  ASSERT_EQ(rest.size(), 9u);
  EXPECT_GT(rest.front().time, last);

  buffer.reset();  // a new session counts its ids from 0 again
  EXPECT_FALSE(buffer.isRepeat(99));
}

TEST(PlayoutBuffer, AJumpOfTheSendersClockAlignsAfreshWithoutLosingSamples) {
  for (const double jump : {-3600.0, 3600.0}) {
    SCOPED_TRACE(jump);
    PlayoutBuffer buffer;
    auto messages = batches(4);
    for (auto& m : batches(4, kStart + 2.0 + jump, 4)) {
      m.arrival -= jump;  // the sender's clock moved, ours did not
      messages.push_back(std::move(m));
    }
    const auto out = play(buffer, messages);
    ASSERT_EQ(out.size(), 8u * 25u);
    EXPECT_EQ(buffer.counts().realignments, 1u);
    for (std::size_t i = 1; i < out.size(); ++i) EXPECT_GE(out[i].at, out[i - 1].at);
    expectSteady(out, 5 * 25);
    EXPECT_EQ(out.back().time, messages.back().samples.back().time);
  }
}

TEST(PlayoutBuffer, WildTimeStampsAndFloodsStayBounded) {
  PlayoutBuffer buffer;
  auto messages = batches(6);
  messages[2].samples[3].time += 1e6;
  messages[3].samples[4].time = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(play(buffer, messages).size(), 6u * 25u - 2u);
  EXPECT_EQ(buffer.counts().stray, 2u);
  EXPECT_EQ(buffer.counts().realignments + buffer.counts().overflow, 0u);

  PlayoutBuffer long20s;  // twenty seconds in one message: the oldest ten give way
  long20s.add(0, 100.0, run(kStart, 1000));
  EXPECT_EQ(long20s.queued(), 501u);
  EXPECT_EQ(long20s.counts().overflow, 499u);

  PlayoutBuffer crowded;  // many samples of one instant
  crowded.add(0, 100.0, std::vector<PlayoutSample>(PlayoutBuffer::kMostQueued + 100, {kStart, {}}));
  EXPECT_EQ(crowded.queued(), PlayoutBuffer::kMostQueued);
}

}  // namespace
}  // namespace hopster
