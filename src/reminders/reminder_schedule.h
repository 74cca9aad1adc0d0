#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/key_value_store.h"
#include "platform/log.h"
#include "reminders/notification_center.h"

namespace hopster {

// One reminder waiting to be shown.
struct ScheduledReminder {
  std::string identifier;
  std::string title;
  std::string subtitle;
  bool sound = true;
  double due = 0.0;  // wall-clock seconds since 1970-01-01 00:00:00 UTC

  bool operator==(const ScheduledReminder&) const = default;
};

// Everything the schedule file holds.
struct ReminderScheduleState {
  // The answer to the last permission request; notDetermined when never granted.
  NotificationAuthorizationStatus authorization = NotificationAuthorizationStatus::notDetermined;
  std::vector<ScheduledReminder> reminders;  // in the order they were added

  bool operator==(const ReminderScheduleState&) const = default;
};

// The pending reminders and the remembered permission, kept in one JSON file
// so that they outlive the process:
//
//   {"authorization": "authorized",
//    "reminders": [{"identifier": "…", "title": "…", "subtitle": "…",
//                   "sound": true, "due": 1767621159.25}]}
//
// "authorization" is absent while the permission was never given. The file is
// re-read before every read and change, so two Hopster processes (the app and
// the autostarted delivery) see each other's changes, and each change is one
// read-change-write under the storage's lock, so they never race.
//
// Only Hopster writes this file, so content it cannot read in full (not JSON,
// nested deeper than any schedule, a known field of the wrong type, an unknown
// permission) means the file is damaged: it is set aside whole, with one log
// line saying where, for a person to look at, and the schedule starts empty.
// Unknown fields are ignored. A file that cannot be read nor moved aside is
// left untouched: the schedule then reads as empty and refuses every change.
class ReminderSchedule {
 public:
  // hopsterDataDir()/reminders.json.
  [[nodiscard]] static std::filesystem::path defaultLocation();

  ReminderSchedule(std::unique_ptr<KeyValueStorage> storage, Log& log);

  // Why nothing can be saved, once the file could neither be read nor moved aside.
  [[nodiscard]] const Status& blocked() const { return blocked_; }

  // The schedule as the file holds it now.
  [[nodiscard]] ReminderScheduleState read();

  // Under the storage's lock, re-reads the file, applies `change` and, when
  // that changed anything, saves the result atomically. Returns the failure
  // when it could not be saved; the file then keeps its previous content.
  // `change` must not update this schedule itself.
  [[nodiscard]] Status update(const std::function<void(ReminderScheduleState&)>& change);

 private:
  [[nodiscard]] ReminderScheduleState readUnlocked();
  void runLocked(const std::function<void()>& work);

  std::unique_ptr<KeyValueStorage> storage_;
  Log& log_;
  Status blocked_;
  Status lastLockProblem_;
  // Set while work runs under the lock, whose nesting would deadlock.
  bool changing_ = false;
};

}  // namespace hopster
