#include <gtest/gtest.h>

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
  const auto note = [&](std::string name) {
    return [&, name] {
      seen.push_back(name + "@" + std::to_string(static_cast<int>(scheduler.now())));
    };
  };
  scheduler.runAfter(2.0, note("b"));
  scheduler.runAfter(1.0, [&] {
    note("a")();
    scheduler.runAfter(0.0, note("no delay"));  // due now, behind what was already due
    scheduler.post(note("posted"));             // before the next timed event
  });
  scheduler.runAfter(1.0, note("a2"));
  scheduler.runAfter(2.0, note("c"));  // due with b: in scheduling order
  scheduler.advanceBy(1.5);
  EXPECT_EQ(seen, (std::vector<std::string>{"a@101", "posted@101", "a2@101", "no delay@101"}));
  scheduler.advanceBy(0.5);
  EXPECT_EQ(std::vector(seen.begin() + 4, seen.end()),
            (std::vector<std::string>{"b@102", "c@102"}));
  EXPECT_EQ(scheduler.now(), 102.0);
  scheduler.runAfter(3600.0, note("d"));  // advanceToNext goes straight there
  EXPECT_TRUE(scheduler.advanceToNext() && seen.back() == "d@3702");
  EXPECT_FALSE(scheduler.advanceToNext()) << "nothing is left";
}

TEST(VirtualScheduler, RepeatingTimerFiresOnItsGridUntilInvalidatedEvenWithoutAHandle) {
  VirtualScheduler scheduler(0.0);
  std::vector<double> firings;
  // The handle is dropped at once; invalidating from inside the block stops it.
  (void)scheduler.scheduleRepeating(1.0, [&](Timer& self) {
    firings.push_back(scheduler.now());
    if (firings.size() == 3) self.invalidate();
  });
  auto stopped = scheduler.scheduleRepeating(1.0, [&](Timer&) { firings.push_back(-1.0); });
  stopped->invalidate();
  scheduler.advanceBy(10.0);
  EXPECT_EQ(firings, (std::vector<double>{1.0, 2.0, 3.0}));
}

TEST(LoopScheduler, RunsTimedAndPostedWorkUntilQuit) {
  LoopScheduler scheduler;
  std::vector<std::string> seen;
  int ticks = 0;
  auto timer = scheduler.scheduleRepeating(0.005, [&](Timer& self) {
    if (++ticks == 2) self.invalidate();
  });
  scheduler.runAfter(0.02, [&] {
    seen.push_back("delayed");
    // Work posted from another thread wakes the waiting loop.
    std::thread([&] {
      scheduler.post([&] {
        seen.push_back("posted");
        scheduler.quit();
      });
    }).detach();
  });
  scheduler.run();
  EXPECT_EQ(seen, (std::vector<std::string>{"delayed", "posted"}));
  EXPECT_EQ(ticks, 2);
}

}  // namespace
}  // namespace hopster
