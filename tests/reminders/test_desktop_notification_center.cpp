#include "reminders/desktop_notification_center.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <limits>

#include "platform/doubles/memory_key_value_storage.h"
#include "platform/doubles/virtual_scheduler.h"
#include "platform/failure.h"
#include "platform/linux/atomic_file.h"
#include "platform/linux/data_file.h"
#include "platform/linux/memory_log.h"
#include "reminders/autostart_entry.h"
#include "reminders/reminder_delivery.h"
#include "stepped_clock.h"
#include "support/temp_dir.h"

namespace hopster {
namespace {

using ::testing::ElementsAre;
using ::testing::MatchesRegex;
using ::testing::StartsWith;
using Authorization = NotificationAuthorizationStatus;
using Texts = std::vector<std::string>;
using Answer = std::pair<bool, Status>;
using testing::kDay;

// Shows notifications into a list; the optional fields make it fail.
struct RecordingSink final : NotificationSink {
  Status serviceProblem;
  std::optional<ShowFailure> showError;
  Texts shown;  // the titles, in order, also those the service may have shown
  DesktopNotification last;

  Status checkService() override { return serviceProblem; }
  std::optional<ShowFailure> show(const DesktopNotification& notification) override {
    if (showError && !showError->maybeShown) return showError;
    shown.push_back(notification.title);
    if (showError) return showError;
    last = notification;
    return std::nullopt;
  }
};

class DesktopRemindersTest : public ::testing::Test {
 protected:
  // One run of the app over the stored schedule; a restart is a new Run.
  struct Run {
    ReminderSchedule schedule;
    DesktopNotificationCenter center;
    explicit Run(DesktopRemindersTest& test)
        : schedule(std::make_unique<MemoryKeyValueStorage>(test.stored), test.log),
          center(schedule, test.sink, test.time, test.log) {}

    Status add(const std::string& title, double delay, bool sound = true) {
      Status answer = Failure{FailureKind::other, "no answer"};
      center.add({title, title, title + " subtitle", sound, delay},
                 [&answer](Status error) { answer = std::move(error); });
      return answer;
    }
    Answer request() {
      Answer answer{false, Failure{FailureKind::other, "no answer"}};
      center.requestAuthorization([&answer](bool granted, Status error) {
        answer = {granted, std::move(error)};
      });
      return answer;
    }
  };

  std::shared_ptr<MemoryKeyValueStorage::State> stored =
      std::make_shared<MemoryKeyValueStorage::State>();
  VirtualScheduler time;
  RecordingSink sink;
  MemoryLog log;
};

TEST_F(DesktopRemindersTest, ShowsEachDueReminderOnceAndOnlyTheLatestOfMissedOnes) {
  const double start = time.now();
  {
    Run app(*this);
    EXPECT_EQ(app.add("now", 0), std::nullopt);
    EXPECT_EQ(app.add("day 2", 2 * kDay), std::nullopt);
    EXPECT_EQ(app.add("day 30", 30 * kDay), std::nullopt);
    EXPECT_EQ(app.add("day 2", 2 * kDay + 5), std::nullopt);  // replaces the first "day 2"
    EXPECT_EQ(app.add("day 1", kDay), std::nullopt);
    EXPECT_EQ(app.add("soon", 60, false), std::nullopt);
    EXPECT_EQ(app.center.deliverDue(), 1);
    EXPECT_EQ(sink.shown, Texts{"now"});
    time.advanceBy(59);
    EXPECT_EQ(app.center.deliverDue(), 0);
    time.advanceBy(1);
    EXPECT_EQ(app.center.deliverDue(), 1);
    EXPECT_EQ(sink.shown, (Texts{"now", "soon"}));
    EXPECT_EQ(sink.last.subtitle, "soon subtitle");
    EXPECT_FALSE(sink.last.sound);
  }
  EXPECT_TRUE(log.lines().empty());
  time.advanceBy(3 * kDay);  // the app was closed and the machine off: one, not a burst
  EXPECT_EQ(Run(*this).center.deliverDue(), 1);
  EXPECT_EQ(Run(*this).center.deliverDue(), 0);
  EXPECT_EQ(sink.shown, (Texts{"now", "soon", "day 2"}));
  EXPECT_EQ(Run(*this).schedule.read().reminders,
            (std::vector<ScheduledReminder>{
                {"day 30", "day 30", "day 30 subtitle", true, start + 30 * kDay}}));
  EXPECT_THAT(log.lines(), ElementsAre("Dropped 1 missed reminder; showing only the latest"));
}

TEST_F(DesktopRemindersTest, FailuresNeitherShowAReminderTwiceNorLoseIt) {
  Run app(*this);
  EXPECT_EQ(app.add("a", 10), std::nullopt);
  EXPECT_EQ(app.add("b", 20), std::nullopt);
  time.advanceBy(20);
  sink.serviceProblem = Failure{FailureKind::notFound, "no service"};
  EXPECT_EQ(app.center.deliverDue() + app.center.deliverDue(), 0);  // logged once
  sink.serviceProblem.reset();
  // The removal cannot be saved: nothing shown.
  stored->saveError = Failure::ofErrno(ENOSPC);
  EXPECT_EQ(app.add("c", 0), Failure::ofErrno(ENOSPC));
  EXPECT_EQ(
      app.add("never", std::numeric_limits<double>::infinity()),
      (Failure{FailureKind::other, "The reminder's delay is not a finite number of seconds"}));
  EXPECT_EQ(app.center.deliverDue(), 0);
  stored->saveError.reset();
  sink.showError = ShowFailure{"refused"};  // put back for the next check
  EXPECT_EQ(app.center.deliverDue(), 0);
  sink.showError.reset();
  EXPECT_EQ(app.center.deliverDue(), 1);
  EXPECT_EQ(sink.shown, (Texts{"b"}));
  // No answer in time: the service may have shown it, so it is gone for good.
  EXPECT_EQ(app.add("e", 0), std::nullopt);
  sink.showError = ShowFailure{"Connection timed out", true};
  EXPECT_EQ(app.center.deliverDue(), 0);
  sink.showError.reset();
  EXPECT_EQ(app.center.deliverDue(), 0);
  EXPECT_EQ(sink.shown, (Texts{"b", "e"}));
  // A schedule that can be neither read nor moved aside is never overwritten.
  stored->loadError = Failure::ofErrno(EACCES);
  stored->setAsideError = "Read-only file system";
  const auto saves = stored->saves.size();
  EXPECT_EQ(app.add("d", 0),
            (Failure{FailureKind::other,
                     "the unreadable reminder schedule is kept in place (Read-only file system)"}));
  EXPECT_EQ(stored->saves.size(), saves);
  EXPECT_THAT(log.lines(),
              ElementsAre("Reminders wait for a notification service: no service",
                          "Failed to save the reminder schedule: No space left on device",
                          "Dropped 1 missed reminder; showing only the latest",
                          "Failed to show a reminder: refused",
                          "A reminder may not have been shown (no answer from the notification "
                          "service: Connection timed out); it is not shown again",
                          StartsWith("Reminder schedule could not be read (Permission denied)")));
}

TEST_F(DesktopRemindersTest, RemembersAGrantAcrossRestartsButNotAMissingService) {
  // The service's absence keeps its kind, so a caller can tell it from a failing one.
  sink.serviceProblem = Failure{FailureKind::notFound, "not provided"};
  EXPECT_EQ(Run(*this).request(),
            Answer(false, Failure{FailureKind::notFound,
                                  "No desktop notification service answers: not provided"}));
  EXPECT_EQ(Run(*this).schedule.read().authorization, Authorization::notDetermined);
  sink.serviceProblem.reset();
  EXPECT_EQ(Run(*this).request(), Answer(true, std::nullopt));
  sink.serviceProblem = Failure{FailureKind::other, "gone"};  // a remembered grant needs no service
  Authorization status{};
  Run(*this).center.getAuthorizationStatus(
      [&status](Authorization remembered) { status = remembered; });
  EXPECT_EQ(status, Authorization::authorized);
  EXPECT_EQ(Run(*this).request(), Answer(true, std::nullopt));
  // A remembered refusal; fields unknown here are ignored.
  stored->document = R"({"authorization": "denied", "later": [{"x": null}], "reminders": [
      {"identifier": "A", "title": "t", "subtitle": "s", "sound": true, "due": 1, "later": 2}]})";
  EXPECT_EQ(Run(*this).request(), Answer(false, std::nullopt));
  EXPECT_EQ(Run(*this).schedule.read().reminders.size(), 1u);
  EXPECT_TRUE(log.lines().empty());
}

TEST_F(DesktopRemindersTest, ADamagedScheduleIsSetAsideWithOneLogLineAndStartsEmpty) {
  const std::string damaged[] = {
      std::string("\0\xff\x01garbage", 10),
      std::string(100000, '[') + std::string(100000, ']'),
      "[]",
      R"({"reminders": {}})",
      R"({"authorization": "sometimes"})",
      R"({"reminders": [{"identifier": "A", "title": "t", "subtitle": "s", "sound": true}]})",
  };
  for (const std::string& content : damaged) {
    SCOPED_TRACE(content.substr(0, 40));
    stored->document = content;
    Run app(*this);
    EXPECT_EQ(app.schedule.read(), ReminderScheduleState{});
    EXPECT_EQ(stored->setAside.back(), content);
    EXPECT_EQ(app.add("fresh", kDay), std::nullopt);  // usable at once
    EXPECT_THAT(log.lines(),
                ElementsAre(MatchesRegex(R"(Reminder schedule could not be read \(.+\); )"
                                         R"(moved it to memory \(set-aside #[0-9]+\))")));
    log.clear();
  }
}

TEST(AutostartEntry, RunsTheDeliveryAtLoginWithThePathQuotedWhereNeeded) {
  const testing::TempDir home;
  const auto dir = home.path() / "config" / "autostart";
  const auto entry = [&dir](const std::string& program) {
    EXPECT_EQ(installAutostartEntry(dir, program), std::nullopt);
    auto text = readDataFile(dir / "hopster-reminders.desktop", 1 << 20);
    EXPECT_TRUE(text);
    return text ? std::move(text).value() : std::string();
  };
  EXPECT_EQ(entry("/usr/bin/hopster"),
            "[Desktop Entry]\nType=Application\nName=Hopster reminders\n"
            "TryExec=/usr/bin/hopster\n"
            "Exec=/usr/bin/hopster --deliver-due-reminders\n"
            "NoDisplay=true\nX-GNOME-Autostart-enabled=true\n");
  // Quoting escapes the backslash, then the string-value escaping doubles both.
  for (const auto& [program, exec] :
       {std::pair<std::string, std::string>{"/opt/My Apps/hopster", R"("/opt/My Apps/hopster")"},
        {"/opt/100%/hopster", "/opt/100%%/hopster"},
        {R"(/opt/a$b\c"d/x)", R"("/opt/a\\$b\\\\c\\"d/x")"}})
    EXPECT_THAT(entry(program),
                ::testing::HasSubstr("\nExec=" + exec + " --deliver-due-reminders\n"));
  EXPECT_TRUE(installAutostartEntry(dir, "bin/hopster").has_value());
  EXPECT_TRUE(installAutostartEntry(dir, "/opt/a=b/hopster").has_value());
  EXPECT_EQ(removeAutostartEntry(dir), std::nullopt);
  EXPECT_FALSE(std::filesystem::exists(dir / "hopster-reminders.desktop"));
  EXPECT_EQ(removeAutostartEntry(dir), std::nullopt);
}

}  // namespace
}  // namespace hopster
