// The user timer and the login entry that deliver reminders while the app is
// closed, with python3-dbusmock standing in for the user manager and the
// notification service on a private session bus.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <iterator>

#include "platform/doubles/virtual_scheduler.h"
#include "platform/failure.h"
#include "platform/linux/file_key_value_storage.h"
#include "platform/linux/memory_log.h"
#include "private_session_bus.h"
#include "reminders/background_reminders.h"
#include "reminders/reminder_delivery.h"
#include "reminders/systemd_units.h"
#include "stepped_clock.h"
#include "support/temp_dir.h"

namespace hopster {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testing::kMockInterface;
using testing::PrivateSessionBus;
using Calls = std::vector<std::string>;
constexpr const char* kManager = "org.freedesktop.systemd1";
constexpr const char* kManagerPath = "/org/freedesktop/systemd1";
// A StartUnit or StopUnit call for the timer, as the manager received it.
const std::string kTimerCall = R"([<s "hopster-reminders.timer">, <s "replace">])";
using testing::kDay;
constexpr double kStart = 1764942759.25;  // 2025-12-05 13:52:39.25 UTC

std::string contentOf(const std::filesystem::path& file) {
  std::ifstream in(file);
  return {std::istreambuf_iterator<char>(in), {}};
}

int countOf(const std::string& text, const std::string& part) {
  int count = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

std::string ownPath() { return std::filesystem::read_symlink("/proc/self/exe").string(); }

// `systemd-analyze --user verify` over the units in `dir`: its output, or
// nothing when it found no fault.
std::optional<std::string> verify(const std::filesystem::path& dir) {
  const auto runtime = dir / "runtime";
  std::filesystem::create_directories(runtime);
  std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
  const int status =
      std::system(("cd '" + dir.string() +
                   "' && XDG_RUNTIME_DIR=\"$PWD/runtime\" systemd-analyze --user verify ./" +
                   kReminderTimerName + " ./" + kReminderServiceName + " >runtime/output 2>&1")
                      .c_str());
  const std::string output = contentOf(runtime / "output");
  if (status == 0 && output.empty()) return std::nullopt;
  return output.empty() ? "exit status " + std::to_string(status) : output;
}

bool haveSystemdAnalyze() { return std::system("command -v systemd-analyze >/dev/null") == 0; }

class DeliveryTriggerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* why = bus.missing()) GTEST_SKIP() << why;
    ASSERT_TRUE(bus.startMock("--template notification_daemon", "org.freedesktop.Notifications"));
  }

  // Starts the stand-in user manager; dbusmock's template lacks Reload.
  void startUserManager() {
    ASSERT_TRUE(bus.startMock("--template systemd --session", kManager));
    ASSERT_TRUE(PrivateSessionBus::call(kManager, kManagerPath, kMockInterface, "AddMethod",
                                        "sssss", "org.freedesktop.systemd1.Manager", "Reload", "",
                                        "", ""));
    // The unit a reload would find in the unit folder.
    ASSERT_TRUE(PrivateSessionBus::call(kManager, kManagerPath, kMockInterface, "AddMockUnit", "s",
                                        kReminderTimerName));
  }

  static Calls managerCalls(const char* method) {
    return PrivateSessionBus::calls(kManager, kManagerPath, method);
  }

  // One app run: `work` on its reminders, then the app closes. Returns the
  // log lines it passed back to the main thread.
  std::vector<std::string> run(const std::function<void(BackgroundReminders&)>& work) {
    {
      BackgroundReminders reminders({file, places}, clock, mainThread, log);
      work(reminders);
    }
    mainThread.runPending();
    auto lines = log.lines();
    log.clear();
    return lines;
  }

  // Queues a check and waits (bounded) for its answer on the main thread.
  void deliverAndWait(BackgroundReminders& reminders) {
    bool done = false;
    reminders.deliverDue([&done](int) { done = true; });
    for (int attempt = 0; attempt < 1000 && !done; ++attempt) {
      ::usleep(10'000);
      mainThread.runPending();
    }
    EXPECT_TRUE(done);
  }

  static void addDays(BackgroundReminders& reminders, std::initializer_list<int> days) {
    for (const int day : days)
      reminders.add(
          {"id" + std::to_string(day), "day " + std::to_string(day), "s", true, day * kDay},
          [](Status error) { EXPECT_EQ(error, std::nullopt); });
  }

  [[nodiscard]] std::string timer() const { return contentOf(places.unitDir / kReminderTimerName); }
  [[nodiscard]] bool anyTrigger() const {
    return std::filesystem::exists(places.unitDir / kReminderTimerName) ||
           std::filesystem::exists(places.unitDir / kReminderServiceName) ||
           std::filesystem::exists(places.unitDir / "timers.target.wants" / kReminderTimerName) ||
           std::filesystem::exists(places.autostartDir / "hopster-reminders.desktop");
  }

  PrivateSessionBus bus;
  const ::hopster::testing::TempDir dir;
  const std::filesystem::path file = dir.path() / "data" / "reminders.json";
  const DeliveryTriggerPlaces places{dir.path() / "config" / "systemd" / "user",
                                     dir.path() / "config" / "autostart", ownPath(), ""};
  testing::SteppedClock clock{kStart};
  VirtualScheduler mainThread;
  MemoryLog log;
};

TEST(SystemdUnits, PassSystemdAnalyzeVerifyWithAwkwardProgramPaths) {
  if (!haveSystemdAnalyze())
    GTEST_SKIP() << "systemd-analyze is missing (Debian package \"systemd\")";
  const ::hopster::testing::TempDir dir;
  const std::string timer = reminderTimerUnit({kStart, kStart + kDay, kStart + kDay, kStart + 2});
  // Rounded up to whole seconds, each time once, in order.
  EXPECT_THAT(timer, HasSubstr("OnCalendar=2025-12-05 13:52:40 UTC\n"
                               "OnCalendar=2025-12-05 13:52:42 UTC\n"
                               "OnCalendar=2025-12-06 13:52:40 UTC\nAccuracySec"));
  for (const std::string name : {"hopster", "my 100% hop$ter"}) {
    SCOPED_TRACE(name);
    const auto program = dir.path() / name;
    std::filesystem::copy_file("/bin/true", program,
                               std::filesystem::copy_options::overwrite_existing);
    const auto service = reminderServiceUnit(program.string());
    ASSERT_TRUE(service.has_value());
    std::ofstream(dir.path() / kReminderTimerName) << timer;
    std::ofstream(dir.path() / kReminderServiceName) << *service;
    EXPECT_EQ(verify(dir.path()), std::nullopt) << *service;
  }
  EXPECT_EQ(reminderServiceUnit("bin/hopster"), std::nullopt);
  for (const std::string refused : {"/opt/a\nb", "/opt/a\"b", "/opt/a'b", "/opt/a\\b"})
    EXPECT_EQ(reminderServiceUnit(refused), std::nullopt) << refused;
}

TEST_F(DeliveryTriggerTest, TimerIsInstalledUpdatedAndRemovedAsTheScheduleChanges) {
  startUserManager();
  EXPECT_EQ(run([](BackgroundReminders& reminders) { addDays(reminders, {1, 2, 3}); }), Calls{});
  EXPECT_EQ(countOf(timer(), "OnCalendar="), 3);
  EXPECT_THAT(timer(), HasSubstr("OnCalendar=2025-12-06 13:52:40 UTC\n"));
  EXPECT_THAT(contentOf(places.unitDir / kReminderServiceName),
              HasSubstr("ConditionFileIsExecutable=" + places.executable + "\n"));
  EXPECT_EQ(
      std::filesystem::read_symlink(places.unitDir / "timers.target.wants" / kReminderTimerName),
      std::filesystem::path("..") / kReminderTimerName);
  EXPECT_EQ(managerCalls("Reload").size(), 1u);
  EXPECT_EQ(managerCalls("StartUnit"), Calls{kTimerCall});

  // A restart with nothing due changes nothing, so the manager is left alone.
  EXPECT_TRUE(run([this](BackgroundReminders& reminders) {
                reminders.syncTrigger();
                deliverAndWait(reminders);
              }).empty());
  EXPECT_EQ(managerCalls("Reload").size(), 1u);

  // Day 1 shown: the timer keeps the two left.
  clock.seconds = kStart + kDay;
  EXPECT_TRUE(run([this](BackgroundReminders& reminders) { deliverAndWait(reminders); }).empty());
  EXPECT_EQ(countOf(timer(), "OnCalendar="), 2);
  EXPECT_EQ(managerCalls("Reload").size(), 2u);

  // Both others missed: one is shown, and with the last one gone so is the timer.
  clock.seconds = kStart + 5 * kDay;
  EXPECT_THAT(run([this](BackgroundReminders& reminders) { deliverAndWait(reminders); }),
              ElementsAre("Dropped 1 missed reminder; showing only the latest"));
  EXPECT_FALSE(anyTrigger());
  EXPECT_EQ(managerCalls("StopUnit"), Calls{kTimerCall});
  EXPECT_EQ(managerCalls("Reload").size(), 3u);
}

TEST_F(DeliveryTriggerTest, WithoutAUserManagerALoginEntryStandsInUntilOneAppears) {
  EXPECT_TRUE(run([](BackgroundReminders& reminders) { addDays(reminders, {1, 2}); }).empty());
  const auto entry = places.autostartDir / "hopster-reminders.desktop";
  EXPECT_THAT(contentOf(entry), HasSubstr("\nTryExec=" + places.executable + "\n"));
  EXPECT_FALSE(std::filesystem::exists(places.unitDir / kReminderTimerName));

  startUserManager();  // the next session has one: the timer replaces the entry
  EXPECT_TRUE(run([](BackgroundReminders& reminders) { reminders.syncTrigger(); }).empty());
  EXPECT_FALSE(std::filesystem::exists(entry));
  EXPECT_EQ(countOf(timer(), "OnCalendar="), 2);

  EXPECT_EQ(cancelReminders(file, places, log), 0);
  EXPECT_FALSE(anyTrigger());
  EXPECT_EQ(managerCalls("StopUnit").size(), 1u);
  EXPECT_TRUE(log.lines().empty());
  EXPECT_EQ(run([](BackgroundReminders&) {}), std::vector<std::string>{});
  EXPECT_FALSE(anyTrigger());
}

TEST_F(DeliveryTriggerTest, AFirstRunEndedBySigtermLeavesAWorkingDeliveryInPlace) {
  startUserManager();
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // The first run: thirty reminders added, then the app never exits cleanly.
    VirtualScheduler childMain;
    MemoryLog childLog;
    BackgroundReminders reminders({file, places}, clock, childMain, childLog);
    for (int day = 1; day <= 30; ++day) addDays(reminders, {day});
    while (true) ::pause();
  }
  // Waits (bounded) for the timer to hold all thirty and to have been started
  // once, then kills the run. The kill may still land inside a later sync,
  // between its file write and its StartUnit: the enabled link and the
  // timer started earlier keep delivery working then too.
  for (int attempt = 0;
       attempt < 600 && (countOf(timer(), "OnCalendar=") < 30 || managerCalls("StartUnit").empty());
       ++attempt)
    ::usleep(50'000);
  ::kill(child, SIGTERM);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(countOf(timer(), "OnCalendar="), 30);
  EXPECT_THAT(managerCalls("StartUnit"),
              ::testing::AllOf(::testing::Not(::testing::IsEmpty()), ::testing::Each(kTimerCall)));
  EXPECT_TRUE(std::filesystem::exists(places.unitDir / "timers.target.wants" / kReminderTimerName));
  if (haveSystemdAnalyze()) {
    EXPECT_EQ(verify(places.unitDir), std::nullopt);
  }
  // What the timer starts finds the schedule it describes.
  ReminderSchedule schedule(std::make_unique<FileKeyValueStorage>(file, clock), log);
  EXPECT_EQ(schedule.read().reminders.size(), 30u);
}

}  // namespace
}  // namespace hopster
