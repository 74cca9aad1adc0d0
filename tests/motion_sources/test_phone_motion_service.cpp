// The phone source on loopback: real HTTP pushes in, through the push
// server and the playout, samples out of a virtual-time main thread, so
// every due time is exact.
#include <gtest/gtest.h>

#include <cmath>
#include <thread>

#include "motion_sources/phone_motion_service.h"
#include "motion_test_support.h"
#include "platform/linux/memory_log.h"
#include "support/http_client.h"

namespace hopster {
namespace {

using Kind = PhoneMotionService::StreamKind;
constexpr double kSent = 1700000000.0;  // the phone's clock, apart from ours
constexpr double kStep = 0.02;          // 50 readings a second

std::string at(double seconds) {
  return ",\"time\":" + std::to_string(std::llround(seconds * 1e9));
}

// Headphone readings `first` .. `last`, each with its index as rotation rate x.
std::string headphones(int first, int last) {
  std::string out;
  for (int i = first; i <= last; ++i) {
    out += (i == first ? "{\"name\":\"headphone\"" : ",{\"name\":\"headphone\"") +
           at(kSent + i * kStep) +
           ",\"accelerationX\":0,\"accelerationY\":0,\"accelerationZ\":0.5,\"gravityX\":0,"
           "\"gravityY\":0,\"gravityZ\":-9.8,\"rotationRateX\":" +
           std::to_string(i) + ",\"rotationRateY\":0,\"rotationRateZ\":0}";
  }
  return out;
}

struct Sender {
  std::string device = "phone-a", session = "session-1";
  std::int64_t nextId = 0;
};

class PhoneSource : public ::testing::Test {
 protected:
  // Posts one message, with the sender's next id or none; the server hands
  // it on to the main thread before it answers.
  void post(Sender& sender, const std::string& readings, bool withId = true) {
    const std::string id =
        withId ? "\"messageId\":" + std::to_string(sender.nextId++) + "," : std::string();
    const std::string body = "{" + id + "\"sessionId\":\"" + sender.session + "\",\"deviceId\":\"" +
                             sender.device + "\",\"payload\":[" + readings + "]}";
    EXPECT_EQ(testing::httpRequest({"127.0.0.1", service_->port(), "/push/" + std::string(kToken)},
                                   "POST", body),
              200);
  }
  // Posts one message, then runs what the server posted to the main thread.
  void push(Sender& sender, const std::string& readings, bool withId = true) {
    post(sender, readings, withId);
    scheduler_.runPending();
  }
  void collect() {
    service_->startDeviceMotionUpdates([this](const auto& sample, const auto& error) {
      EXPECT_EQ(std::this_thread::get_id(), mainThread_);
      EXPECT_FALSE(error);
      times_.push_back(scheduler_.now());
      tags_.push_back(static_cast<int>(sample->rotationRate.x));
    });
  }

  VirtualScheduler scheduler_;
  MemoryLog log_;
  std::unique_ptr<PhoneMotionService> service_ = std::make_unique<PhoneMotionService>(
      PhoneEndpoint{"127.0.0.1", 0}, kToken, scheduler_, scheduler_, log_);
  std::vector<double> times_;
  std::vector<int> tags_;
  std::thread::id mainThread_ = std::this_thread::get_id();
};

TEST_F(PhoneSource, SamplesReachTheMainThreadInTimeOrderPacedByTheirOwnTimeStamps) {
  ASSERT_TRUE(service_->isDeviceMotionAvailable()) << service_->startupError().value_or("");
  collect();
  Sender sender;
  // Ten readings every 0.2 s, the first four messages without an id: those
  // are never taken for repeats, nor make the first id, 0, one.
  for (int batch = 0; batch < 8; ++batch) {
    push(sender, headphones(batch * 10, batch * 10 + 9), /*withId=*/batch >= 4);
    EXPECT_FALSE(batch == 0 && !times_.empty()) << "held back, not played as a burst";
    scheduler_.advanceBy(0.2);
  }
  --sender.nextId;  // the last message once more, as a retry sends it
  push(sender, headphones(70, 79));
  scheduler_.advanceBy(5.0);

  ASSERT_EQ(tags_.size(), 80u);
  for (int i = 0; i < 80; ++i) EXPECT_EQ(tags_[i], i);
  for (std::size_t i = 11; i < times_.size(); ++i)
    EXPECT_NEAR(times_[i] - times_[i - 1], kStep, 1e-6);
  EXPECT_EQ(service_->playoutCounts().repeated, 1u);
  EXPECT_EQ(service_->readingsDropped(), 0u);
}

TEST_F(PhoneSource, OnlyTheFirstStreamIsFollowedUntilItHasBeenSilentForFiveSeconds) {
  collect();
  Sender a, b{"phone-b"}, aLater{"phone-a", "session-2"};
  push(a, headphones(100, 100));
  scheduler_.advanceBy(1.0);
  push(b, headphones(200, 200));  // another device
  scheduler_.advanceBy(1.0);
  push(a, headphones(101, 101));
  scheduler_.advanceBy(4.9);
  push(aLater, headphones(300, 300));  // another session
  scheduler_.advanceBy(0.2);           // a has been silent for 5.1 s
  push(b, headphones(201, 201));
  push(a, headphones(102, 102));
  scheduler_.advanceBy(5.0);

  EXPECT_EQ(tags_, (std::vector<int>{100, 101, 201}));
  EXPECT_EQ(service_->messagesIgnored(), 3u);
  EXPECT_EQ(service_->readingsDropped(), 3u);
  ASSERT_EQ(log_.lines().size(), 2u);
  EXPECT_NE(log_.lines()[1].find("phone-b"), std::string::npos);
}

TEST_F(PhoneSource, HeadphonesCountWhileTheirReadingsAreRecentAndLapseWithoutThem) {
  int changes = 0;
  service_->setStreamChangedHandler([&] { ++changes; });
  Sender sender;
  push(sender, "{\"name\":\"gravity\"" + at(kSent) + ",\"x\":0,\"y\":0,\"z\":-9.8}," +
                   "{\"name\":\"accelerometer\"" + at(kSent) + ",\"x\":0,\"y\":0,\"z\":1}");
  EXPECT_EQ(service_->recentStream(), Kind::phone);
  scheduler_.advanceBy(1.0);
  push(sender, headphones(50, 54));
  EXPECT_EQ(service_->recentStream(), Kind::headphones);
  scheduler_.advanceBy(2.9);
  EXPECT_EQ(service_->recentStream(), Kind::headphones);
  EXPECT_EQ(changes, 2);
  scheduler_.advanceBy(0.2);  // three seconds without a reading
  EXPECT_EQ(service_->recentStream(), Kind::none);
  EXPECT_EQ(changes, 3) << "the lapse is announced without a message to prompt it";
  EXPECT_EQ(service_->samplesDelivered(), 0u) << "without updates, readings only tell what comes";
}

TEST_F(PhoneSource, StoppingOrDestroyingEvenFromTheHandlerCancelsWhatIsStillDue) {
  collect();
  Sender sender;
  push(sender, headphones(0, 9));
  service_->stopDeviceMotionUpdates();
  scheduler_.advanceBy(5.0);
  EXPECT_TRUE(tags_.empty());

  service_->startDeviceMotionUpdates([&](const auto&, const auto&) {
    tags_.push_back(1);
    service_->stopDeviceMotionUpdates();
  });
  push(sender, headphones(250, 259));  // five seconds on, as sent
  scheduler_.advanceBy(5.0);
  EXPECT_EQ(tags_.size(), 1u);

  service_->startDeviceMotionUpdates([&](const auto&, const auto&) {
    tags_.push_back(2);
    service_.reset();
  });
  push(sender, headphones(500, 509));
  scheduler_.advanceBy(5.0);
  EXPECT_EQ(tags_, (std::vector<int>{1, 2}));
}

TEST_F(PhoneSource, AStalledMainThreadHoldsABoundedNumberOfMessages) {
  Sender sender;
  for (int i = 0; i < int(PhoneMotionService::kMostWaitingMessages) + 6; ++i)
    post(sender, headphones(i, i));
  EXPECT_EQ(service_->readingsDropped(), 6u);
  scheduler_.runPending();
  EXPECT_EQ(service_->recentStream(), Kind::headphones);
}

TEST_F(PhoneSource, APortInUseLeavesTheSourceUnavailableWithTheReason) {
  PhoneMotionService second({"127.0.0.1", service_->port()}, kToken, scheduler_, scheduler_, log_);
  EXPECT_EQ(second.startupError().value_or(""),
            "Port " + std::to_string(service_->port()) +
                " is already in use; choose another with --motion phone:PORT");
  EXPECT_EQ(second.port(), 0);
  EXPECT_FALSE(second.isDeviceMotionAvailable());
  second.startDeviceMotionUpdates([](const auto&, const auto&) {});
  EXPECT_FALSE(second.isDeviceMotionActive());
  Sender sender;
  post(sender, headphones(0, 0));  // the first source still serves
}

}  // namespace
}  // namespace hopster
