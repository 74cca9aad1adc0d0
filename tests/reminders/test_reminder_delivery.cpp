// Delivery against python3-dbusmock's services on a private session bus: the
// Notify call itself, exactly once under concurrency, missed reminders
// collapsing into one, and a slow notification service.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <barrier>
#include <fstream>
#include <iterator>
#include <thread>

#include "platform/failure.h"
#include "platform/linux/file_key_value_storage.h"
#include "platform/linux/memory_log.h"
#include "private_session_bus.h"
#include "reminders/dbus_notification_sink.h"
#include "reminders/desktop_notification_center.h"
#include "reminders/reminder_delivery.h"
#include "stepped_clock.h"
#include "support/temp_dir.h"

namespace hopster {
namespace {

using testing::notifyCall;
using testing::PrivateSessionBus;
using Calls = std::vector<std::string>;
constexpr const char* kNotifications = "org.freedesktop.Notifications";
constexpr const char* kNotificationsPath = "/org/freedesktop/Notifications";
using testing::kDay;
using testing::SteppedClock;

// One Hopster process's view of the schedule: its own file handle, lock and bus.
struct Deliverer {
  MemoryLog log;
  ReminderSchedule schedule;
  DbusNotificationSink sink;
  DesktopNotificationCenter center;
  Deliverer(const std::filesystem::path& file, const Clock& clock,
            std::uint64_t timeout = DbusNotificationSink::defaultCallTimeoutMicroseconds)
      : schedule(std::make_unique<FileKeyValueStorage>(file, clock), log),
        sink("", timeout),
        center(schedule, sink, clock, log) {}
};

// Every Notify call so far, oldest first.
Calls notified() { return PrivateSessionBus::calls(kNotifications, kNotificationsPath, "Notify"); }

class ReminderDeliveryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* why = bus.missing()) GTEST_SKIP() << why;
  }

  // Writes `overdue` reminders due before now and `future` ones due later.
  void writeSchedule(int overdue, int future) {
    std::vector<ScheduledReminder> reminders;
    for (int i = 0; i < overdue; ++i)
      reminders.push_back({"o" + std::to_string(i), "overdue " + std::to_string(i), "s", true,
                           clock.now() - (overdue - i) * kDay});
    for (int i = 1; i <= future; ++i)
      reminders.push_back(
          {"f" + std::to_string(i), "day " + std::to_string(i), "s", true, clock.now() + i * kDay});
    Deliverer writer(file, clock);
    ASSERT_EQ(
        writer.schedule.update([&](ReminderScheduleState& state) { state.reminders = reminders; }),
        std::nullopt);
  }

  PrivateSessionBus bus;
  const ::hopster::testing::TempDir dir;
  const std::filesystem::path file = dir.path() / "reminders.json";
  SteppedClock clock;
};

TEST_F(ReminderDeliveryTest, FourConcurrentDeliverersShowOneNotificationAndKeepTheFuture) {
  ASSERT_TRUE(bus.startMock("--template notification_daemon", kNotifications));
  constexpr int kRounds = 20;
  constexpr int kDeliverers = 4;
  for (int round = 1; round <= kRounds; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    writeSchedule(3, 27);
    std::vector<std::unique_ptr<Deliverer>> deliverers;
    for (int i = 0; i < kDeliverers; ++i)
      deliverers.push_back(std::make_unique<Deliverer>(file, clock));
    std::barrier start(kDeliverers);
    std::atomic<int> shown{0};
    std::vector<std::thread> threads;
    for (auto& deliverer : deliverers)
      threads.emplace_back([&start, &shown, &deliverer] {
        start.arrive_and_wait();
        shown += deliverer->center.deliverDue();
      });
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(shown, 1);
    const Calls calls = notified();
    ASSERT_EQ(calls.size(), static_cast<std::size_t>(round));
    EXPECT_EQ(calls.back(), notifyCall("overdue 2", "s", true));  // the latest due
    const auto left = deliverers[0]->schedule.read().reminders;
    ASSERT_EQ(left.size(), 27u);
    EXPECT_EQ(left.front().identifier, "f1");
    Calls lines;
    for (const auto& deliverer : deliverers)
      std::ranges::copy(deliverer->log.lines(), std::back_inserter(lines));
    EXPECT_EQ(lines, Calls{"Dropped 2 missed reminders; showing only the latest"});
  }
}

TEST_F(ReminderDeliveryTest, RemindersFallingDueOneAtATimeAreEachShownOnceOnTheirDay) {
  ASSERT_TRUE(bus.startMock("--template notification_daemon", kNotifications));
  writeSchedule(0, 5);
  Deliverer app(file, clock);
  Deliverer closedAppRun(file, clock);
  Calls expected;
  for (int day = 1; day <= 5; ++day) {
    clock.seconds = clock.seconds + kDay - 1;
    EXPECT_EQ(app.center.deliverDue(), 0);  // not yet
    clock.seconds = clock.seconds + 1;
    EXPECT_EQ(app.center.deliverDue() + closedAppRun.center.deliverDue(), 1);
    EXPECT_EQ(app.center.deliverDue() + closedAppRun.center.deliverDue(), 0);
    expected.push_back(notifyCall("day " + std::to_string(day), "s", true));
    EXPECT_EQ(notified(), expected);
  }
  EXPECT_TRUE(app.schedule.read().reminders.empty());
  EXPECT_TRUE(app.log.lines().empty());
  EXPECT_TRUE(closedAppRun.log.lines().empty());
}

// The run at login after the machine was off, through the session bus: the
// notification service missing and then there.
TEST_F(ReminderDeliveryTest, OverdueRemindersReachTheDesktopNotificationServiceOnce) {
  DbusNotificationSink sink;  // on the session bus, now the private one
  const std::string missing =
      "The name org.freedesktop.Notifications was not provided by any .service files";
  EXPECT_EQ(sink.checkService(), (Failure{FailureKind::notFound, missing}));
  EXPECT_EQ(sink.show({"t", "s", true}), ShowFailure{missing});
  ASSERT_TRUE(bus.startMock("--template notification_daemon", kNotifications));
  EXPECT_EQ(sink.checkService(), std::nullopt);

  std::ofstream(file) << R"({"reminders": [
      {"identifier": "A", "title": "Let’s Leap!", "subtitle": "Go—you’ve got this!", "sound": true,
       "due": 1},
      {"identifier": "B", "title": "Feel the Rhythm!", "subtitle": "Hop!", "sound": false, "due": 2}
  ]})";
  MemoryLog log;
  const DeliveryTriggerPlaces places{dir.path() / "units", dir.path() / "autostart", "/bin/true",
                                     ""};
  EXPECT_EQ(deliverDueReminders(file, places, log), 0);
  EXPECT_EQ(deliverDueReminders(file, places, log), 0);  // shows nothing twice
  // Missed ones collapse into the latest.
  EXPECT_EQ(notified(), Calls{notifyCall("Feel the Rhythm!", "Hop!", false)});
  EXPECT_EQ(log.lines(), Calls{"Dropped 1 missed reminder; showing only the latest"});
}

// A notification service whose Notify takes three seconds to answer: a
// sink that gives up first must not show the reminder again, one that waits
// counts it as shown.
TEST_F(ReminderDeliveryTest, ASlowNotifyIsShownOnceWhetherItsAnswerIsAwaitedOrNot) {
  ASSERT_TRUE(
      bus.startMock(std::string(kNotifications) + " " + kNotificationsPath + " " + kNotifications,
                    kNotifications));
  ASSERT_TRUE(PrivateSessionBus::call(kNotifications, kNotificationsPath, testing::kMockInterface,
                                      "AddMethod", "sssss", kNotifications, "GetServerInformation",
                                      "", "ssss", "ret = ('mock', 'test', '1', '1.2')"));
  ASSERT_TRUE(PrivateSessionBus::call(kNotifications, kNotificationsPath, testing::kMockInterface,
                                      "AddMethod", "sssss", kNotifications, "Notify",
                                      "susssasa{sv}i", "u", "import time\ntime.sleep(3)\nret = 7"));
  writeSchedule(1, 1);
  Deliverer impatient(file, clock, 1'000'000);  // gives up before the answer comes
  EXPECT_EQ(impatient.center.deliverDue(), 0);
  EXPECT_EQ(impatient.center.deliverDue(), 0);
  Deliverer later(file, clock);
  EXPECT_EQ(later.center.deliverDue(), 0);
  EXPECT_EQ(notified(), Calls{notifyCall("overdue 0", "s", true)});  // received once
  EXPECT_THAT(impatient.log.lines(),
              ::testing::ElementsAre(::testing::StartsWith("A reminder may not have been shown")));
  EXPECT_EQ(later.schedule.read().reminders.size(), 1u);  // the future one stays

  writeSchedule(1, 1);
  Deliverer patient(file, clock);
  EXPECT_EQ(patient.center.deliverDue(), 1);
  EXPECT_EQ(patient.center.deliverDue(), 0);
  EXPECT_EQ(notified(), Calls(2, notifyCall("overdue 0", "s", true)));
  EXPECT_TRUE(patient.log.lines().empty());
}

}  // namespace
}  // namespace hopster
