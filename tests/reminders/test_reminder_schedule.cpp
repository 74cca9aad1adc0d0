#include "reminders/reminder_schedule.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

#include "platform/linux/file_key_value_storage.h"
#include "platform/linux/memory_log.h"
#include "support/temp_dir.h"

namespace hopster {
namespace {

namespace fs = std::filesystem;

// Ends the test program with SIGALRM should the test take longer than this.
struct Deadline {
  explicit Deadline(unsigned seconds) { ::alarm(seconds); }
  ~Deadline() { ::alarm(0); }
};

ReminderSchedule scheduleAt(const fs::path& file, Log& log) {
  return ReminderSchedule(std::make_unique<FileKeyValueStorage>(file), log);
}

TEST(ReminderSchedule, AFifoInTheFilesPlaceIsRefusedAtOnceAndMovedAside) {
  const Deadline deadline(60);  // a FIFO read would wait for a writer forever
  const testing::TempDir dir;
  const fs::path file = dir.path() / "reminders.json";
  ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
  MemoryLog log;
  ReminderSchedule schedule = scheduleAt(file, log);
  EXPECT_EQ(schedule.read(), ReminderScheduleState{});
  ASSERT_EQ(log.lines().size(), 1u);
  EXPECT_TRUE(log.lines()[0].starts_with("Reminder schedule could not be read (Could not read " +
                                         file.string() + ": not a regular file (a FIFO)); moved"))
      << log.lines()[0];
  EXPECT_EQ(schedule.update([](ReminderScheduleState& state) { state.reminders.push_back({}); }),
            std::nullopt);
  EXPECT_TRUE(fs::is_regular_file(file));
}

TEST(ReminderSchedule, ProcessesDeliveringAtOnceNeverTakeTheSameReminder) {
  const Deadline deadline(120);
  const testing::TempDir dir;
  const fs::path file = dir.path() / "reminders.json";
  MemoryLog log;
  constexpr int kReminders = 40, kProcesses = 4;
  ASSERT_EQ(scheduleAt(file, log).update([](ReminderScheduleState& state) {
    for (int i = 0; i < kReminders; ++i)
      state.reminders.push_back({std::to_string(i), "t", "s", true, 0.0});
  }),
            std::nullopt);

  // Each process takes reminders one by one, as deliverDue does, and exits
  // with the number it took.
  std::vector<pid_t> children;
  for (int p = 0; p < kProcesses; ++p) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      MemoryLog childLog;
      ReminderSchedule schedule = scheduleAt(file, childLog);
      int took = 0;
      for (bool taken = true; taken; took += taken ? 1 : 0) {
        taken = false;
        const auto failure = schedule.update([&taken](ReminderScheduleState& state) {
          if (state.reminders.empty()) return;
          state.reminders.erase(state.reminders.begin());
          taken = true;
        });
        if (failure || !childLog.lines().empty()) ::_exit(255);
      }
      ::_exit(took);
    }
    children.push_back(child);
  }
  int taken = 0;
  for (const pid_t child : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 255);
    taken += WEXITSTATUS(status);
  }
  EXPECT_EQ(taken, kReminders);  // none taken twice
  EXPECT_TRUE(scheduleAt(file, log).read().reminders.empty());
}

}  // namespace
}  // namespace hopster
