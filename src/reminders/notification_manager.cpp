#include "reminders/notification_manager.h"

#include <optional>
#include <string>
#include <utility>

#include "platform/failure.h"
#include "reminders/reminder_texts.h"

namespace hopster {

namespace {

std::string_view draw(std::span<const std::string_view> table, std::string_view fallback,
                      RandomSource& random) {
  return table.empty() ? fallback : table[random.nextIndex(table.size())];
}

}  // namespace

std::vector<NotificationRequest> makeReminderRequests(std::size_t count,
                                                      std::span<const std::string_view> titles,
                                                      std::span<const std::string_view> subtitles,
                                                      double intervalSeconds, RandomSource& random,
                                                      UuidSource& uuids) {
  std::vector<NotificationRequest> requests;
  requests.reserve(count);
  for (std::size_t i = 1; i <= count; ++i) {
    NotificationRequest request;
    request.title = draw(titles, kFallbackReminderTitle, random);
    request.subtitle = draw(subtitles, kFallbackReminderSubtitle, random);
    request.defaultSound = true;
    request.delaySeconds = static_cast<double>(i) * intervalSeconds;
    request.identifier = uuids.next().str();
    requests.push_back(std::move(request));
  }
  return requests;
}

// Every callback holds a reference to this, so that an answer arriving after
// the manager is gone still finds what it needs. Its members are used on the
// main thread only, except `mainThread.post`, which any thread may call.
struct NotificationManager::Shared : std::enable_shared_from_this<Shared> {
  Shared(KeyValueStore& store, NotificationCenter& notifications, Scheduler& scheduler,
         RandomSource& randomSource, UuidSource& uuidSource, Log& lines)
      : hasSeenOnboarding(store, std::string(kOnboardingKey)),
        center(notifications),
        mainThread(scheduler),
        random(randomSource),
        uuids(uuidSource),
        log(lines) {}

  void decide(NotificationAuthorizationStatus status);
  void onAnswer(bool granted, Status error);
  void addReminders(std::size_t count, std::span<const std::string_view> titles,
                    std::span<const std::string_view> subtitles, double intervalSeconds,
                    NotificationCenter& target);
  void addStandardReminders() {
    addReminders(kReminderCount, reminderTitles(), reminderSubtitles(), kReminderIntervalSeconds,
                 center);
  }
  // Logs `line` on the main thread; called from any thread.
  void logOnMainThread(std::string line) {
    mainThread.post([self = shared_from_this(), line = std::move(line)] { self->log.line(line); });
  }

  BoolBinding hasSeenOnboarding;
  NotificationCenter& center;
  Scheduler& mainThread;
  RandomSource& random;
  UuidSource& uuids;
  Log& log;
};

void NotificationManager::Shared::decide(NotificationAuthorizationStatus status) {
  if (status == NotificationAuthorizationStatus::authorized) {
    addStandardReminders();
    hasSeenOnboarding.set(true);
    return;
  }
  center.requestAuthorization([self = shared_from_this()](bool granted, Status error) {
    self->onAnswer(granted, std::move(error));
  });
}

// Runs on whichever thread the centre answers on, so it only posts.
void NotificationManager::Shared::onAnswer(bool granted, Status error) {
  mainThread.post([self = shared_from_this()] { self->hasSeenOnboarding.set(true); });
  if (granted) {
    // Scheduling draws from the random source and the UUID source, neither of
    // which is safe to use off the main thread, so it is posted too. It then
    // runs after the flag write; nothing depends on the order of the two.
    mainThread.post([self = shared_from_this()] { self->addStandardReminders(); });
  } else if (error) {
    logOnMainThread(std::move(error->message));
  }
}

void NotificationManager::Shared::addReminders(std::size_t count,
                                               std::span<const std::string_view> titles,
                                               std::span<const std::string_view> subtitles,
                                               double intervalSeconds, NotificationCenter& target) {
  for (NotificationRequest& request :
       makeReminderRequests(count, titles, subtitles, intervalSeconds, random, uuids)) {
    target.add(std::move(request), [self = shared_from_this()](Status addError) {
      if (addError) self->logOnMainThread(std::move(addError->message));
    });
  }
}

NotificationManager::NotificationManager(KeyValueStore& store, NotificationCenter& center,
                                         Scheduler& mainThread, RandomSource& random,
                                         UuidSource& uuids, Log& log)
    : shared_(std::make_shared<Shared>(store, center, mainThread, random, uuids, log)) {}

NotificationManager::~NotificationManager() = default;

bool NotificationManager::hasSeenOnboarding() const { return shared_->hasSeenOnboarding.value(); }

void NotificationManager::setHasSeenOnboarding(bool value) {
  shared_->hasSeenOnboarding.set(value);
}

Subscription NotificationManager::observeHasSeenOnboarding(std::function<void(bool)> onChange) {
  return shared_->hasSeenOnboarding.onChange(std::move(onChange));
}

void NotificationManager::checkNotificationSettings() {
  shared_->center.getAuthorizationStatus([self = shared_](NotificationAuthorizationStatus status) {
    // The settings may arrive on any thread; the decision is taken on the main one.
    self->mainThread.post([self, status] { self->decide(status); });
  });
}

void NotificationManager::scheduleReminders(std::size_t count,
                                            std::span<const std::string_view> titles,
                                            std::span<const std::string_view> subtitles,
                                            double intervalSeconds, NotificationCenter& center) {
  shared_->addReminders(count, titles, subtitles, intervalSeconds, center);
}

}  // namespace hopster
