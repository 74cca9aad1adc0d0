#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "platform/loop_scheduler.h"
#include "platform/virtual_scheduler.h"

namespace hopster {
namespace {

TEST(VirtualScheduler, RunsEventsInDueOrderAtTheirOwnTime) {
  VirtualScheduler scheduler(100.0);
  std::vector<std::string> seen;
  scheduler.runAfter(2.0, [&] { seen.push_back("b@" + std::to_string(scheduler.now())); });
  scheduler.runAfter(1.0, [&] { seen.push_back("a@" + std::to_string(scheduler.now())); });
  scheduler.runAfter(2.0, [&] { seen.push_back("c"); });  // same time: scheduling order
  scheduler.advanceBy(1.5);
  EXPECT_EQ(seen, (std::vector<std::string>{"a@101.000000"}));
  scheduler.advanceBy(0.5);
  EXPECT_EQ(seen, (std::vector<std::string>{"a@101.000000", "b@102.000000", "c"}));
  EXPECT_DOUBLE_EQ(scheduler.now(), 102.0);
}

TEST(VirtualScheduler, RepeatingTimerKeepsItsGridAndStopsWhenInvalidated) {
  VirtualScheduler scheduler(0.0);
  std::vector<double> firings;
  auto timer = scheduler.scheduleRepeating(1.0, [&](Timer& self) {
    firings.push_back(scheduler.now());
    if (firings.size() == 3) self.invalidate();
  });
  scheduler.advanceBy(10.0);
  EXPECT_EQ(firings, (std::vector<double>{1.0, 2.0, 3.0}));
  EXPECT_FALSE(timer->isValid());
}

TEST(VirtualScheduler, TimerKeepsFiringWhenItsHandleIsDropped) {
  VirtualScheduler scheduler(0.0);
  int firings = 0;
  std::weak_ptr<Timer> weak;
  {
    auto timer = scheduler.scheduleRepeating(1.0, [&](Timer&) { ++firings; });
    weak = timer;
  }
  scheduler.advanceBy(3.0);
  EXPECT_EQ(firings, 3);
  weak.lock()->invalidate();
  scheduler.advanceBy(3.0);
  EXPECT_EQ(firings, 3);
}

TEST(VirtualScheduler, WorkScheduledWhileRunningFallsInPlace) {
  VirtualScheduler scheduler(0.0);
  std::vector<int> order;
  scheduler.runAfter(1.0, [&] {
    order.push_back(1);
    scheduler.runAfter(0.0, [&] { order.push_back(2); });  // due now, after this one
    scheduler.post([&] { order.push_back(3); });
  });
  scheduler.runAfter(1.0, [&] { order.push_back(4); });
  scheduler.advanceBy(1.0);
  // Posted work runs before the next timed event; a zero delay queues behind
  // what was already due.
  EXPECT_EQ(order, (std::vector<int>{1, 3, 4, 2}));
}

TEST(VirtualScheduler, AdvanceToNextJumpsStraightToTheNextEvent) {
  VirtualScheduler scheduler(0.0);
  int fired = 0;
  scheduler.runAfter(3600.0, [&] { ++fired; });
  EXPECT_TRUE(scheduler.advanceToNext());
  EXPECT_EQ(fired, 1);
  EXPECT_DOUBLE_EQ(scheduler.now(), 3600.0);
  EXPECT_FALSE(scheduler.advanceToNext());
}

TEST(LoopScheduler, RunsTimedAndPostedWorkUntilQuit) {
  LoopScheduler scheduler;
  std::vector<std::string> seen;
  std::atomic<bool> posted{false};
  scheduler.runAfter(0.02, [&] {
    seen.push_back("delayed");
    // Work posted from another thread wakes the waiting loop.
    std::thread([&] {
      scheduler.post([&] {
        seen.push_back("posted");
        posted = true;
        scheduler.quit();
      });
    }).detach();
  });
  int ticks = 0;
  auto timer = scheduler.scheduleRepeating(0.005, [&](Timer& self) {
    if (++ticks == 2) self.invalidate();
  });
  scheduler.run();
  EXPECT_TRUE(posted);
  EXPECT_EQ(seen, (std::vector<std::string>{"delayed", "posted"}));
  EXPECT_EQ(ticks, 2);
}

}  // namespace
}  // namespace hopster
