// Delivery against python3-dbusmock's services on a private session bus:
// exactly once under concurrency, missed reminders collapsing into one, and a
// slow notification service.
#include <gtest/gtest.h>

#include <atomic>
#include <barrier>
#include <fstream>
#include <thread>

#include "platform/file_key_value_storage.h"
#include "private_session_bus.h"
#include "reminders/dbus_notification_sink.h"
#include "reminders/desktop_notification_center.h"
#include "support/temp_dir.h"

namespace hopster {
namespace {

using testing::PrivateSessionBus;
constexpr const char* kNotifications = "org.freedesktop.Notifications";
constexpr const char* kNotificationsPath = "/org/freedesktop/Notifications";
constexpr double kDay = 86400.0;

// A wall clock that moves only when the test says so.
struct SteppedClock final : Clock {
  std::atomic<double> seconds{1764942759.0};
  [[nodiscard]] double now() const override { return seconds; }
};

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

// The titles of every Notify call so far.
std::vector<std::string> shownTitles() {
  std::vector<std::string> titles;
  for (const std::string& call :
       PrivateSessionBus::calls(kNotifications, kNotificationsPath, "Notify")) {
    // app name | icon | title | body
    const auto first = call.find('|');
    const auto second = call.find('|', first + 1);
    const auto third = call.find('|', second + 1);
    titles.push_back(call.substr(second + 1, third - second - 1));
  }
  return titles;
}

class ReminderDeliveryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!PrivateSessionBus::dbusmockInstalled()) GTEST_SKIP() << "python3-dbusmock is missing";
    if (bus.daemonPid == 0) GTEST_SKIP() << "no dbus-daemon on this machine";
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
    EXPECT_EQ(shownTitles().size(), static_cast<std::size_t>(round));
    EXPECT_EQ(shownTitles().back(), "overdue 2");  // the latest due
    const auto left = deliverers[0]->schedule.read().reminders;
    ASSERT_EQ(left.size(), 27u);
    EXPECT_EQ(left.front().identifier, "f1");
    int dropLines = 0;
    for (const auto& deliverer : deliverers) {
      for (const auto& line : deliverer->log.lines()) {
        EXPECT_EQ(line, "Dropped 2 missed reminders; showing only the latest");
        ++dropLines;
      }
    }
    EXPECT_EQ(dropLines, 1);
  }
}

TEST_F(ReminderDeliveryTest, RemindersFallingDueOneAtATimeAreEachShownOnceOnTheirDay) {
  ASSERT_TRUE(bus.startMock("--template notification_daemon", kNotifications));
  writeSchedule(0, 5);
  Deliverer app(file, clock);
  Deliverer closedAppRun(file, clock);
  std::vector<std::string> expected;
  for (int day = 1; day <= 5; ++day) {
    clock.seconds = clock.seconds + kDay - 1;
    EXPECT_EQ(app.center.deliverDue(), 0);  // not yet
    clock.seconds = clock.seconds + 1;
    EXPECT_EQ(app.center.deliverDue() + closedAppRun.center.deliverDue(), 1);
    EXPECT_EQ(app.center.deliverDue() + closedAppRun.center.deliverDue(), 0);
    expected.push_back("day " + std::to_string(day));
    EXPECT_EQ(shownTitles(), expected);
  }
  EXPECT_TRUE(app.schedule.read().reminders.empty());
  EXPECT_TRUE(app.log.lines().empty());
  EXPECT_TRUE(closedAppRun.log.lines().empty());
}

// A notification service whose Notify takes three seconds to answer.
class SlowServiceTest : public ReminderDeliveryTest {
 protected:
  void SetUp() override {
    ReminderDeliveryTest::SetUp();
    if (IsSkipped()) return;
    ASSERT_TRUE(
        bus.startMock(std::string(kNotifications) + " " + kNotificationsPath + " " + kNotifications,
                      kNotifications));
    ASSERT_TRUE(PrivateSessionBus::addMethod(kNotifications, kNotificationsPath, kNotifications,
                                             "GetServerInformation", "", "ssss",
                                             "ret = ('mock', 'test', '1', '1.2')"));
    ASSERT_TRUE(PrivateSessionBus::addMethod(kNotifications, kNotificationsPath, kNotifications,
                                             "Notify", "susssasa{sv}i", "u",
                                             "import time\ntime.sleep(3)\nret = 7"));
  }
};

TEST_F(SlowServiceTest, AnUnansweredNotifyIsNotShownAgain) {
  writeSchedule(1, 1);
  Deliverer impatient(file, clock, 1'000'000);  // gives up before the answer comes
  EXPECT_EQ(impatient.center.deliverDue(), 0);
  EXPECT_EQ(impatient.center.deliverDue(), 0);
  Deliverer later(file, clock);
  EXPECT_EQ(later.center.deliverDue(), 0);
  EXPECT_EQ(shownTitles(), std::vector<std::string>{"overdue 0"});  // received once
  ASSERT_EQ(impatient.log.lines().size(), 1u);
  EXPECT_EQ(impatient.log.lines()[0].rfind("A reminder may not have been shown", 0), 0u)
      << impatient.log.lines()[0];
  EXPECT_EQ(later.schedule.read().reminders.size(), 1u);  // the future one stays
}

TEST_F(SlowServiceTest, ASlowAnswerWithinTheTimeoutCountsAsShown) {
  writeSchedule(1, 1);
  Deliverer patient(file, clock);
  EXPECT_EQ(patient.center.deliverDue(), 1);
  EXPECT_EQ(patient.center.deliverDue(), 0);
  EXPECT_EQ(shownTitles(), std::vector<std::string>{"overdue 0"});
  EXPECT_TRUE(patient.log.lines().empty());
}

}  // namespace
}  // namespace hopster
