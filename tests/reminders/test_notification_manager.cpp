#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/key_value_store.h"
#include "platform/log.h"
#include "platform/memory_key_value_storage.h"
#include "platform/random_source.h"
#include "platform/uuid_source.h"
#include "platform/virtual_scheduler.h"
#include "reminders/notification_manager.h"
#include "reminders/reminder_texts.h"
#include "support/fake_notification_center.h"

namespace hopster {
namespace {

using Status = NotificationAuthorizationStatus;
using Lines = std::vector<std::string>;

// Notes the thread of every use of the store, the random source, the UUIDs
// and the log, all of which must stay on the main thread.
struct Threads {
  void note() { seen.insert(std::this_thread::get_id()); }
  std::set<std::thread::id> seen;
};

class NotedRandom final : public RandomSource {
 public:
  explicit NotedRandom(Threads& threads) : threads_(threads) {}
  std::uint64_t nextBits() override {
    threads_.note();
    ++draws;
    return inner_.nextBits();
  }
  int draws = 0;

 private:
  Threads& threads_;
  SeededRandomSource inner_{7};
};

class NotedUuids final : public UuidSource {
 public:
  explicit NotedUuids(Threads& threads) : threads_(threads) {}
  UuidText next() override {
    threads_.note();
    return inner_.next();
  }

 private:
  Threads& threads_;
  SequentialUuidSource inner_;
};

class NotedLog final : public Log {
 public:
  explicit NotedLog(Threads& threads) : threads_(threads) {}
  void line(std::string_view message) override {
    threads_.note();
    lines.emplace_back(message);
  }
  Lines lines;

 private:
  Threads& threads_;
};

// A manager over a store in memory, with a virtual main thread and a centre
// that answers only when released.
struct World {
  World() {
    flagWrite = store.observe("hasSeenOnboarding", [this] { threads.note(); });
  }
  bool flag() const { return store.boolean("hasSeenOnboarding"); }
  std::size_t saves() const { return storage->saves.size(); }
  // Releases every answer and runs what it posted, until nothing is left.
  void settle() {
    while (center.release() > 0) main.runPending();
  }

  Threads threads;
  std::shared_ptr<MemoryKeyValueStorage::State> storage =
      std::make_shared<MemoryKeyValueStorage::State>();
  MemoryLog storeLog;
  KeyValueStore store{std::make_unique<MemoryKeyValueStorage>(storage), storeLog};
  Subscription flagWrite;
  VirtualScheduler main;
  testing::FakeNotificationCenter center;
  NotedRandom random{threads};
  NotedUuids uuids{threads};
  NotedLog log{threads};
  std::optional<NotificationManager> manager{std::in_place, store, center, main,
                                             random,        uuids, log};
};

TEST(NotificationManager, SettlesThePermissionQuestionAndEndsTheOnboardingWhateverTheAnswer) {
  struct Case {
    const char* name;
    Status status;
    bool grant;
    std::optional<std::string> error;
    int prompts;
    std::size_t requests;
    Lines log;
  };
  const std::string error = "The operation couldn’t be completed.";
  const Case cases[] = {
      {"already authorized", Status::authorized, false, std::nullopt, 0, 30, {}},
      {"asked and granted", Status::notDetermined, true, std::nullopt, 1, 30, {}},
      {"provisional, granted", Status::provisional, true, std::nullopt, 1, 30, {}},
      {"denied", Status::denied, false, std::nullopt, 1, 0, {}},
      {"refused with an error", Status::notDetermined, false, error, 1, 0, {error}},
      {"granted despite an error", Status::notDetermined, true, error, 1, 30, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    World world;
    world.center.status = c.status;
    world.center.grant = c.grant;
    world.center.authorizationError = c.error;
    world.manager->checkNotificationSettings();
    world.settle();
    EXPECT_EQ(world.center.statusQueries(), 1);
    EXPECT_EQ(world.center.prompts(), c.prompts);
    EXPECT_EQ(world.center.requests().size(), c.requests);
    EXPECT_EQ(world.log.lines, c.log);
    EXPECT_TRUE(world.flag());
    EXPECT_TRUE(world.manager->hasSeenOnboarding());
  }
}

TEST(NotificationManager, TheThirtyRemindersAreDailyOneShotsWithDrawnTextsAndDistinctIds) {
  World world;
  world.center.status = Status::authorized;
  world.manager->checkNotificationSettings();
  world.settle();
  const auto requests = world.center.requests();
  ASSERT_EQ(requests.size(), 30u);
  const auto titles = reminderTitles();
  const auto subtitles = reminderSubtitles();
  std::set<std::string> ids, drawnTitles, drawnSubtitles;
  std::size_t samePositions = 0;
  for (std::size_t i = 0; i < requests.size(); ++i) {
    const NotificationRequest& request = requests[i];
    SCOPED_TRACE(i);
    EXPECT_EQ(request.delaySeconds, static_cast<double>(i + 1) * 86400.0);
    EXPECT_TRUE(request.defaultSound);
    EXPECT_EQ(request.identifier.size(), 36u);
    const auto title = std::find(titles.begin(), titles.end(), request.title);
    const auto subtitle = std::find(subtitles.begin(), subtitles.end(), request.subtitle);
    ASSERT_NE(title, titles.end());
    ASSERT_NE(subtitle, subtitles.end());
    if (title - titles.begin() == subtitle - subtitles.begin()) ++samePositions;
    ids.insert(request.identifier);
    drawnTitles.insert(request.title);
    drawnSubtitles.insert(request.subtitle);
  }
  EXPECT_EQ(ids.size(), 30u);
  // Thirty uniform draws from ten cover several texts, and independent title
  // and subtitle draws rarely land on the same position.
  EXPECT_GT(drawnTitles.size(), 3u);
  EXPECT_GT(drawnSubtitles.size(), 3u);
  EXPECT_LT(samePositions, 15u);
  EXPECT_EQ(world.random.draws, 60);
}

TEST(NotificationManager, FailedAddsAreLoggedInOrderAndTheOthersStillAdded) {
  World world;
  world.center.status = Status::authorized;
  world.center.addErrors = {{3, "Too many pending requests"}, {17, "Notifications unavailable"}};
  world.manager->checkNotificationSettings();
  world.settle();
  EXPECT_EQ(world.center.requests().size(), 30u);
  EXPECT_EQ(world.log.lines, (Lines{"Too many pending requests", "Notifications unavailable"}));
  EXPECT_TRUE(world.flag());
}

TEST(NotificationManager, AnswersFromOtherThreadsTakeEffectOnlyOnTheMainThread) {
  World world;
  world.center.addErrors = {{0, "failed"}};
  world.manager->checkNotificationSettings();
  ASSERT_EQ(world.center.releaseOnOtherThread(), 1u);  // the settings
  EXPECT_EQ(world.center.prompts(), 0);
  world.main.runPending();
  EXPECT_EQ(world.center.prompts(), 1);

  ASSERT_EQ(world.center.releaseOnOtherThread(), 1u);  // the grant
  EXPECT_FALSE(world.flag());
  EXPECT_EQ(world.saves(), 0u);
  EXPECT_TRUE(world.center.requests().empty());
  EXPECT_EQ(world.random.draws, 0);
  world.main.runPending();
  EXPECT_TRUE(world.flag());
  EXPECT_EQ(world.center.requests().size(), 30u);

  ASSERT_EQ(world.center.releaseOnOtherThread(), 30u);  // the adds
  EXPECT_TRUE(world.log.lines.empty());
  world.main.runPending();
  EXPECT_EQ(world.log.lines, Lines{"failed"});
  EXPECT_EQ(world.threads.seen, std::set{std::this_thread::get_id()});
}

TEST(NotificationManager, AnAnswerAfterTheManagerIsGoneStillEndsTheOnboardingAndSchedules) {
  World world;
  world.manager->checkNotificationSettings();
  world.manager.reset();
  world.settle();
  EXPECT_TRUE(world.flag());
  EXPECT_EQ(world.center.requests().size(), 30u);
}

TEST(NotificationManager, TheNoChoiceWritesTheFlagAtOnceWithoutAskingAnything) {
  World world;
  std::vector<bool> seen;
  const Subscription watch =
      world.manager->observeHasSeenOnboarding([&](bool value) { seen.push_back(value); });
  world.manager->setHasSeenOnboarding(true);
  EXPECT_EQ(seen, std::vector{true});
  EXPECT_EQ(world.saves(), 1u);
  EXPECT_EQ(world.center.statusQueries() + world.center.prompts(), 0);
}

TEST(ReminderRequests, EmptyTablesFallBackWithoutDrawingAndTheIntervalScalesTheDelays) {
  Threads threads;
  NotedRandom random(threads);
  SequentialUuidSource uuids;
  const std::string_view only[] = {"Only"};
  const auto requests = makeReminderRequests(3, {}, only, 60.0, random, uuids);
  ASSERT_EQ(requests.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(requests[i].title, "Stay on track!");
    EXPECT_EQ(requests[i].subtitle, "Only");
    EXPECT_EQ(requests[i].delaySeconds, 60.0 * static_cast<double>(i + 1));
  }
  EXPECT_EQ(random.draws, 3);  // the one-text table still draws; the empty one does not
  EXPECT_EQ(makeReminderRequests(1, only, {}, 1.0, random, uuids)[0].subtitle,
            "Keep pushing forward!");
}

TEST(ReminderTexts, TablesHoldTenTextsKeepingTheirTypographicCharacters) {
  ASSERT_EQ(reminderTitles().size(), 10u);
  ASSERT_EQ(reminderSubtitles().size(), 10u);
  EXPECT_EQ(reminderTitles()[1], "Let\u2019s Leap into Progress!");
  EXPECT_EQ(reminderSubtitles()[5],
            "Remember, progress isn\u2019t about being perfect\u2014it\u2019s all about showing "
            "up! Keep pushing forward, and you've got this!");
}

}  // namespace
}  // namespace hopster
