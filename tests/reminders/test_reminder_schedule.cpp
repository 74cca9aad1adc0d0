#include "reminders/reminder_schedule.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "platform/atomic_file.h"
#include "platform/file_key_value_storage.h"
#include "platform/memory_key_value_storage.h"
#include "support/temp_dir.h"

namespace hopster {
namespace {

namespace fs = std::filesystem;
using Status = NotificationAuthorizationStatus;

// 2024-01-02 03:04:05 UTC: set-aside files are named after it.
class FixedClock final : public Clock {
 public:
  [[nodiscard]] double now() const override { return 1704164645.25; }
};
const FixedClock kClock;

ReminderSchedule scheduleAt(const fs::path& file, Log& log) {
  return ReminderSchedule(std::make_unique<FileKeyValueStorage>(file, kClock), log);
}

TEST(ReminderSchedule, KeepsEveryFieldExactlyAcrossRestartsAndIgnoresUnknownFields) {
  const testing::TempDir dir;
  const fs::path file = dir.path() / "data" / "hopster" / "reminders.json";
  MemoryLog log;
  const ReminderScheduleState state{
      Status::authorized,
      {{"6F9619FF-8B86-D011-B42D-00CF4FC964FF", "Let’s Leap into Progress!",
        "Every jump gets you closer—keep moving! You've got this!", true, 1704164645.1 + 86400},
       {"B", "", "", false, 0.1}}};
  ASSERT_EQ(scheduleAt(file, log).update([&](auto& s) { s = state; }), std::nullopt);
  EXPECT_EQ(scheduleAt(file, log).read(), state);

  std::ofstream(file) << R"({"later": [1, {"x": null}], "reminders": [{"identifier": "C",
      "title": "t", "subtitle": "s", "sound": false, "due": 1704164645, "later": 2}]})";
  EXPECT_EQ(scheduleAt(file, log).read(),
            (ReminderScheduleState{Status::notDetermined, {{"C", "t", "s", false, 1704164645.0}}}));
  EXPECT_TRUE(log.lines().empty());
}

TEST(ReminderSchedule, DamagedFilesAreSetAsideWithOneLogLineAndTheScheduleStartsEmpty) {
  const std::string entry = R"({"reminders": [{"identifier": "A", "title": "t", "subtitle": "s")";
  const std::string damaged[] = {
      "",
      std::string("\0\xff\x01garbage", 10),
      R"({"reminders": [)",
      std::string(100000, '[') + std::string(100000, ']'),
      "[]",
      R"({"reminders": {}})",
      R"({"reminders": [7]})",
      R"({"authorization": "sometimes"})",
      R"({"authorization": true})",
      entry + R"(, "sound": true}]})",                  // no due time
      entry + R"(, "sound": 1, "due": 1704164645}]})",  // a mistyped field
  };
  for (const std::string& content : damaged) {
    const testing::TempDir dir;
    std::ofstream(dir.path() / "reminders.json", std::ios::binary) << content;
    MemoryLog log;
    ReminderSchedule schedule = scheduleAt(dir.path() / "reminders.json", log);
    EXPECT_EQ(schedule.read(), ReminderScheduleState{}) << content;
    const fs::path aside = dir.path() / "reminders.json.corrupt-20240102T030405Z";
    ASSERT_EQ(log.lines().size(), 1u) << content;
    EXPECT_TRUE(log.lines()[0].starts_with("Reminder schedule could not be read ("));
    EXPECT_TRUE(log.lines()[0].ends_with("); moved it to " + aside.string())) << log.lines()[0];
    std::string kept;
    EXPECT_EQ(readWholeFile(aside, kept), std::nullopt);
    EXPECT_EQ(kept, content);
    // The fresh schedule is usable at once.
    EXPECT_EQ(schedule.update([](auto& s) { s.authorization = Status::denied; }), std::nullopt);
    EXPECT_EQ(schedule.read().authorization, Status::denied);
    EXPECT_EQ(log.lines().size(), 1u);
  }
}

TEST(ReminderSchedule, AFileThatCannotBeMovedAsideIsNeverOverwritten) {
  auto storage = std::make_unique<MemoryKeyValueStorage>(R"({"reminders": []})");
  const auto state = storage->state();
  state->loadError = "Permission denied";
  state->setAsideError = "Read-only file system";
  MemoryLog log;
  ReminderSchedule schedule(std::move(storage), log);
  const std::string kept =
      "the unreadable reminder schedule is kept in place (Read-only file system)";
  EXPECT_EQ(schedule.read(), ReminderScheduleState{});
  EXPECT_EQ(schedule.update([](auto& s) { s.authorization = Status::authorized; }), kept);
  EXPECT_EQ(schedule.blocked(), kept);
  EXPECT_TRUE(state->saves.empty());
  EXPECT_EQ(log.lines().size(), 1u);
}

}  // namespace
}  // namespace hopster
