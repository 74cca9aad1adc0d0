#include "reminders/notification_manager.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <thread>

#include "platform/doubles/memory_key_value_storage.h"
#include "platform/doubles/virtual_scheduler.h"
#include "platform/failure.h"
#include "platform/linux/memory_log.h"
#include "platform/linux/seeded_random_source.h"
#include "platform/linux/sequential_uuid_source.h"
#include "reminders/reminder_texts.h"
#include "support/fake_notification_center.h"

namespace hopster {
namespace {

using Authorization = NotificationAuthorizationStatus;
using Lines = std::vector<std::string>;

// A manager over a store in memory, with a virtual main thread and a centre
// that answers only when released.
struct World {
  [[nodiscard]] bool flag() const { return store.boolean("hasSeenOnboarding"); }
  // Releases every answer and runs what it posted, until nothing is left.
  void settle() {
    while (center.release() > 0) main.runPending();
  }
  std::size_t releaseOnOtherThread() {
    std::size_t released = 0;
    std::thread([&] { released = center.release(); }).join();
    return released;
  }

  MemoryLog storeLog, log;
  KeyValueStore store{std::make_unique<MemoryKeyValueStorage>(), storeLog};
  VirtualScheduler main;
  testing::FakeNotificationCenter center;
  SeededRandomSource random{7};
  SequentialUuidSource uuids;
  std::optional<NotificationManager> manager{std::in_place, store, center, main,
                                             random,        uuids, log};
};

// A month of daily one-shot reminders with distinct ids and texts drawn from the tables.
void expectStandardReminders(const std::vector<NotificationRequest>& requests) {
  ASSERT_EQ(requests.size(), 30u);
  const auto position = [](std::span<const std::string_view> table, const std::string& text) {
    const auto found = std::ranges::find(table, text) - table.begin();
    EXPECT_LT(found, 10) << text;
    return found;
  };
  std::set<std::string> ids;
  std::set<std::pair<long, long>> texts;  // positions in the title and subtitle tables
  for (std::size_t i = 0; i < requests.size(); ++i) {
    EXPECT_EQ(requests[i].delaySeconds, static_cast<double>(i + 1) * 86400.0) << i;
    EXPECT_TRUE(requests[i].defaultSound) << i;
    ids.insert(requests[i].identifier);
    texts.emplace(position(reminderTitles(), requests[i].title),
                  position(reminderSubtitles(), requests[i].subtitle));
  }
  EXPECT_EQ(ids.size(), 30u);
  // Independent uniform draws give many different pairs; a fixed title or
  // subtitle, or one position for both, gives ten at most.
  EXPECT_GT(texts.size(), 15u);
}

TEST(NotificationManager, SettlesThePermissionQuestionAndEndsTheOnboardingWhateverTheAnswer) {
  const Failure error{FailureKind::permission, "The operation couldn’t be completed."};
  const struct {
    const char* name;
    Authorization status;
    bool grant;
    Status error;
    int prompts;
    std::size_t requests;
    Lines log;
  } cases[] = {
      {"already authorized", Authorization::authorized, false, std::nullopt, 0, 30, {}},
      {"asked and granted", Authorization::notDetermined, true, std::nullopt, 1, 30, {}},
      {"provisional, granted", Authorization::provisional, true, std::nullopt, 1, 30, {}},
      {"denied", Authorization::denied, false, std::nullopt, 1, 0, {}},
      {"refused with an error", Authorization::notDetermined, false, error, 1, 0, {error.message}},
      {"granted despite an error", Authorization::notDetermined, true, error, 1, 30, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    World world;
    world.center.status = c.status;
    world.center.grant = c.grant;
    world.center.authorizationError = c.error;
    world.manager->checkNotificationSettings();
    world.settle();
    EXPECT_EQ(world.center.prompts(), c.prompts);
    EXPECT_EQ(world.center.requests().size(), c.requests);
    if (c.requests > 0) expectStandardReminders(world.center.requests());
    EXPECT_EQ(world.log.lines(), c.log);
    EXPECT_TRUE(world.flag());
  }
}

TEST(NotificationManager, AnswersFromOtherThreadsTakeEffectOnlyOnTheMainThread) {
  World world;
  world.center.addErrors = {{3, {FailureKind::other, "Too many pending requests"}},
                            {17, {FailureKind::other, "Notifications unavailable"}}};
  world.manager->checkNotificationSettings();
  ASSERT_EQ(world.releaseOnOtherThread(), 1u);  // the settings
  EXPECT_EQ(world.center.prompts(), 0);
  world.main.runPending();
  ASSERT_EQ(world.releaseOnOtherThread(), 1u);  // the grant
  EXPECT_FALSE(world.flag());
  EXPECT_TRUE(world.center.requests().empty());  // no draws, no UUIDs yet
  world.main.runPending();
  EXPECT_TRUE(world.flag());
  ASSERT_EQ(world.releaseOnOtherThread(), 30u);  // the adds
  EXPECT_TRUE(world.log.lines().empty());
  world.main.runPending();
  // Each failed add is logged; the others are added all the same.
  EXPECT_EQ(world.log.lines(), (Lines{"Too many pending requests", "Notifications unavailable"}));
}

TEST(NotificationManager, AnAnswerAfterTheManagerIsGoneStillEndsTheOnboardingAndSchedules) {
  World world;
  world.manager->checkNotificationSettings();
  world.manager.reset();
  world.settle();
  EXPECT_TRUE(world.flag());
  EXPECT_EQ(world.center.requests().size(), 30u);
}

}  // namespace
}  // namespace hopster
