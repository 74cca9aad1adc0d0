#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include "platform/doubles/virtual_scheduler.h"
#include "platform/linux/loop_scheduler.h"

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

// Also where the interval vanishes (1e300 + 1 == 1e300): never twice at one
// instant there, so a timer stuck at one instant ends too.
TEST(VirtualScheduler, RepeatingTimerFiresOnItsGridUntilInvalidatedEvenWithoutAHandle) {
  for (const double start : {0.0, 1e300}) {
    VirtualScheduler scheduler(start);
    std::vector<double> firings;
    // The handle is dropped at once; invalidating from inside the block stops it.
    (void)scheduler.scheduleRepeating(1.0, [&](Timer& self) {
      firings.push_back(scheduler.now());
      if (firings.size() == 3) self.invalidate();
    });
    auto stopped = scheduler.scheduleRepeating(1.0, [&](Timer&) { firings.push_back(-1.0); });
    stopped->invalidate();
    for (int step = 0; step < 10 && scheduler.advanceToNext(); ++step) {
    }
    ASSERT_EQ(firings.size(), 3u) << start;
    EXPECT_TRUE(firings[0] < firings[1] && firings[1] < firings[2]) << start;
    if (start == 0.0) {
      EXPECT_EQ(firings, (std::vector<double>{1.0, 2.0, 3.0}));
    }
  }
}

TEST(VirtualScheduler, SkipIdleToJumpsToTheNextOneShotEventFiringEachRepeatingTimerOnceLate) {
  VirtualScheduler scheduler(0.0);
  std::vector<double> ticks, events;
  (void)scheduler.scheduleRepeating(1.0, [&](Timer&) { ticks.push_back(scheduler.now()); });
  for (const double due : {100.5, 1e300}) {
    scheduler.runAfter(due, [&] { events.push_back(scheduler.now()); });
  }
  scheduler.advanceBy(2.5);
  EXPECT_TRUE(scheduler.skipIdleTo(1e9));  // stops at the first one-shot event
  EXPECT_EQ(scheduler.now(), 100.5);
  scheduler.advanceBy(1.6);  // the timer is back on its grid
  // A fast run's loop: jump whenever the next one-shot event is far away.
  int steps = 0;
  while (events.size() < 2 && steps++ < 10) {
    const auto next = scheduler.nextOneShotDue();
    if (next && *next - scheduler.now() > 60.0) {
      scheduler.skipIdleTo(*next);
    } else {
      scheduler.advanceToNext();
    }
  }
  EXPECT_EQ(steps, 1);
  EXPECT_EQ(events, (std::vector<double>{100.5, 1e300}));
  // Once, late, at the end of each jump, and on after it.
  EXPECT_EQ(ticks, (std::vector<double>{1.0, 2.0, 100.5, 101.0, 102.0, 1e300}));
  EXPECT_FALSE(scheduler.nextOneShotDue());
  scheduler.advanceToNext();
  EXPECT_GT(ticks.back(), 1e300);
  // Never backwards, nor to a time that is not finite.
  for (const double target : {-1.0, 0.0, HUGE_VAL, std::nan("")}) {
    EXPECT_FALSE(VirtualScheduler(0.0).skipIdleTo(target)) << target;
  }
}

TEST(LoopScheduler, RunsTimedAndPostedWorkUntilQuit) {
  LoopScheduler scheduler;
  std::vector<std::string> seen;
  int ticks = 0;
  auto timer = scheduler.scheduleRepeating(0.005, [&](Timer& self) {
    if (++ticks == 2) self.invalidate();
  });
  std::thread poster;
  scheduler.runAfter(0.02, [&] {
    seen.push_back("delayed");
    // Work posted from another thread wakes the waiting loop. The thread is
    // joined before the scheduler goes: the loop can run the work and return
    // while the poster is still inside post().
    poster = std::thread([&] {
      scheduler.post([&] {
        seen.push_back("posted");
        scheduler.quit();
      });
    });
  });
  scheduler.run();
  poster.join();
  EXPECT_EQ(seen, (std::vector<std::string>{"delayed", "posted"}));
  EXPECT_EQ(ticks, 2);
}

}  // namespace
}  // namespace hopster
