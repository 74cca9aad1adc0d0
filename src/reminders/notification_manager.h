#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "platform/key_value_store.h"
#include "platform/log.h"
#include "platform/random_source.h"
#include "platform/scheduler.h"
#include "platform/subscription.h"
#include "platform/uuid_source.h"
#include "reminders/notification_center.h"

namespace hopster {

// The reminders to add, for i = 1..count in order: each fires once, i ×
// `intervalSeconds` after it is added, with the default sound, a title and a
// subtitle drawn independently and uniformly from their tables (the fallback
// text when a table is empty) and a fresh identifier. Per reminder the title is
// drawn first, then the subtitle, then the identifier.
[[nodiscard]] std::vector<NotificationRequest> makeReminderRequests(
    std::size_t count, std::span<const std::string_view> titles,
    std::span<const std::string_view> subtitles, double intervalSeconds, RandomSource& random,
    UuidSource& uuids);

// Asks for permission to post notifications and, once granted, schedules a
// month of daily reminders; writes "hasSeenOnboarding" true once the question
// is settled, whatever the answer, which ends the onboarding.
//
// Use it on the main thread. The centre may answer on any thread; the manager
// takes every answer back to `mainThread` before it touches the store, the
// random source, the UUIDs or the log. Work still under way when the manager is
// destroyed (an unanswered prompt, reminders not yet added) runs to its end.
class NotificationManager {
 public:
  static constexpr std::string_view kOnboardingKey = "hasSeenOnboarding";

  NotificationManager(KeyValueStore& store, NotificationCenter& center, Scheduler& mainThread,
                      RandomSource& random, UuidSource& uuids, Log& log);
  ~NotificationManager();
  NotificationManager(const NotificationManager&) = delete;
  NotificationManager& operator=(const NotificationManager&) = delete;

  [[nodiscard]] bool hasSeenOnboarding() const;
  // Writes the flag at once (the onboarding's "No" choice writes true).
  void setHasSeenOnboarding(bool value);
  // Calls `onChange` with the new value after every write of the flag, by anyone.
  [[nodiscard]] Subscription observeHasSeenOnboarding(std::function<void(bool)> onChange);

  // Reads the authorization status. Already authorized: schedules the standard
  // reminders and writes the flag true. Otherwise asks the user; once answered,
  // writes the flag true and, if granted, schedules the standard reminders; an
  // error that comes with a refusal is logged on its own line. All of it
  // happens later, on the main thread.
  void checkNotificationSettings();

  // Adds `count` reminders (see makeReminderRequests) to `center`. A failed add
  // logs its error description on its own line; the others are still added.
  void scheduleReminders(std::size_t count, std::span<const std::string_view> titles,
                         std::span<const std::string_view> subtitles, double intervalSeconds,
                         NotificationCenter& center);

 private:
  // What the answers need, shared with the callbacks so that they stay valid
  // after the manager is gone.
  struct Shared;

  std::shared_ptr<Shared> shared_;
};

}  // namespace hopster
