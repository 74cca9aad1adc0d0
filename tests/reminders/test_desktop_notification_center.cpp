#include "reminders/desktop_notification_center.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "platform/file_key_value_storage.h"
#include "platform/memory_key_value_storage.h"
#include "platform/virtual_scheduler.h"
#include "reminders/reminder_delivery.h"
#include "support/temp_dir.h"

namespace hopster {
namespace {

using Status = NotificationAuthorizationStatus;
using Texts = std::vector<std::string>;
using Answer = std::pair<bool, std::optional<std::string>>;
constexpr double kDay = 86400.0;

// Shows notifications into a list; the optional fields make it fail.
struct RecordingSink final : NotificationSink {
  std::optional<std::string> serviceProblem, showError;
  std::vector<DesktopNotification> shown;

  std::optional<std::string> checkService() override { return serviceProblem; }
  std::optional<std::string> show(const DesktopNotification& notification) override {
    if (!showError) shown.push_back(notification);
    return showError;
  }
};

class DesktopNotificationCenterTest : public ::testing::Test {
 protected:
  // One run of the app over the schedule; a restart is a new Run.
  struct Run {
    ReminderSchedule schedule;
    DesktopNotificationCenter center;
    Run(std::unique_ptr<KeyValueStorage> storage, DesktopNotificationCenterTest& test)
        : schedule(std::move(storage), test.log),
          center(schedule, test.sink, test.time, test.log) {}
    explicit Run(DesktopNotificationCenterTest& test)
        : Run(std::make_unique<FileKeyValueStorage>(test.file, test.time), test) {}

    std::optional<std::string> add(const std::string& title, double delay, bool sound = true) {
      std::optional<std::string> answer = "no answer";
      center.add({title, title, title + " subtitle", sound, delay},
                 [&answer](std::optional<std::string> error) { answer = std::move(error); });
      return answer;
    }
    Answer request() {
      Answer answer{false, "no answer"};
      center.requestAuthorization([&answer](bool granted, std::optional<std::string> error) {
        answer = {granted, std::move(error)};
      });
      return answer;
    }
  };

  [[nodiscard]] Texts titles() const {
    Texts titles;
    for (const auto& notification : sink.shown) titles.push_back(notification.title);
    return titles;
  }

  testing::TempDir dir;
  std::filesystem::path file = dir.path() / "reminders.json";
  VirtualScheduler time;
  RecordingSink sink;
  MemoryLog log;
};

TEST_F(DesktopNotificationCenterTest, ShowsEachDueReminderOnceAcrossRestartsAndClockJumps) {
  const double start = time.now();
  {
    Run app(*this);
    // The second "day 2" replaces the first: they share an identifier.
    for (const auto& [title, delay] : {std::pair<std::string, double>{"day 1", kDay},
                                       {"day 2", 2 * kDay},
                                       {"day 30", 30 * kDay},
                                       {"day 2", 2 * kDay + 5}})
      EXPECT_EQ(app.add(title, delay), std::nullopt);
    EXPECT_EQ(app.add("soon", 60, false), std::nullopt);
    EXPECT_EQ(app.center.deliverDue(), 0);
    time.advanceBy(60);
    EXPECT_EQ(app.center.deliverDue(), 1);
    EXPECT_EQ(app.center.deliverDue(), 0);
  }
  EXPECT_EQ(sink.shown.at(0).subtitle, "soon subtitle");
  EXPECT_FALSE(sink.shown.at(0).sound);
  time.advanceBy(3 * kDay);  // the machine was off
  EXPECT_EQ(Run(*this).center.deliverDue(), 2);
  EXPECT_EQ(Run(*this).center.deliverDue(), 0);
  EXPECT_EQ(titles(), (Texts{"soon", "day 1", "day 2"}));
  EXPECT_EQ(Run(*this).schedule.read().reminders,
            (std::vector<ScheduledReminder>{
                {"day 30", "day 30", "day 30 subtitle", true, start + 30 * kDay}}));
  EXPECT_TRUE(log.lines().empty());
}

TEST_F(DesktopNotificationCenterTest, FailuresNeitherShowAReminderTwiceNorLoseIt) {
  auto storage = std::make_unique<MemoryKeyValueStorage>();
  const auto state = storage->state();
  Run app(std::move(storage), *this);
  EXPECT_EQ(app.add("a", 10), std::nullopt);
  EXPECT_EQ(app.add("b", 20), std::nullopt);
  time.advanceBy(20);
  sink.serviceProblem = "no service";
  EXPECT_EQ(app.center.deliverDue(), 0);
  EXPECT_EQ(app.center.deliverDue(), 0);  // the same problem is logged once
  sink.serviceProblem.reset();
  state->saveError = "No space left on device";  // the removal cannot be saved: nothing shown
  EXPECT_EQ(app.add("c", 0), "No space left on device");
  EXPECT_EQ(app.center.deliverDue(), 0);
  state->saveError.reset();
  sink.showError = "refused";  // put back for the next check
  EXPECT_EQ(app.center.deliverDue(), 0);
  sink.showError.reset();
  EXPECT_EQ(app.center.deliverDue(), 2);
  EXPECT_EQ(titles(), (Texts{"a", "b"}));
  EXPECT_EQ(log.lines(), (Texts{"Reminders wait for a notification service: no service",
                                "Failed to save the reminder schedule: No space left on device",
                                "Failed to show a reminder: refused"}));
}

TEST_F(DesktopNotificationCenterTest, RemembersAGrantAcrossRestartsButNotAMissingService) {
  const auto status = [this] {
    Status answer{};
    Run(*this).center.getAuthorizationStatus([&answer](Status remembered) { answer = remembered; });
    return answer;
  };
  sink.serviceProblem = "not provided";
  EXPECT_EQ(Run(*this).request(),
            Answer(false, "No desktop notification service answers: not provided"));
  EXPECT_EQ(status(), Status::notDetermined);
  sink.serviceProblem.reset();
  EXPECT_EQ(Run(*this).request(), Answer(true, std::nullopt));
  sink.serviceProblem = "gone";  // a remembered grant needs no service
  EXPECT_EQ(status(), Status::authorized);
  EXPECT_EQ(Run(*this).request(), Answer(true, std::nullopt));
  std::ofstream(file) << R"({"authorization": "denied"})";
  EXPECT_EQ(Run(*this).request(), Answer(false, std::nullopt));
  EXPECT_TRUE(log.lines().empty());
}

TEST_F(DesktopNotificationCenterTest, RunningAppChecksAtOnceThenEveryFewMinutesUntilStopped) {
  Run app(*this);
  EXPECT_EQ(app.add("now", 0), std::nullopt);
  EXPECT_EQ(app.add("later", 10), std::nullopt);
  const auto timer = startReminderDelivery(app.center, time);
  EXPECT_EQ(titles(), Texts{"now"});
  time.advanceBy(kReminderCheckSeconds - 1);
  EXPECT_EQ(titles(), Texts{"now"});
  time.advanceBy(1);
  EXPECT_EQ(titles(), (Texts{"now", "later"}));
  EXPECT_EQ(app.add("after the stop", 0), std::nullopt);
  timer->invalidate();
  time.advanceBy(10 * kReminderCheckSeconds);
  EXPECT_EQ(titles(), (Texts{"now", "later"}));
}

}  // namespace
}  // namespace hopster
