#pragma once

#include <QObject>
#include <QString>
#include <memory>
#include <vector>

#include "platform/audio_session.h"
#include "platform/memory_key_value_storage.h"
#include "platform/random_source.h"
#include "platform/recording_haptic_device.h"
#include "platform/virtual_scheduler.h"
#include "recording/recording_controller.h"
#include "screens/history_model.h"
#include "screens/home_view_model.h"
#include "screens/jump_view_model.h"
#include "screens/onboarding_view_model.h"
#include "screens/trophy_list_model.h"
#include "support/fake_application.h"
#include "support/fake_motion_service.h"
#include "support/fake_notification_center.h"
#include "support/temp_dir.h"

namespace hopster::testing {

// The whole core behind the real QML, on test doubles, in virtual time. QML
// tests drive it through this object: `reset` in each test's init, then
// `advance` moves time, `jump` plays jumps on the fake headphones, and so on.
class TestWorld : public QObject {
  Q_OBJECT
  Q_PROPERTY(QObject* homeModel READ homeModel NOTIFY modelsChanged)
  Q_PROPERTY(QObject* jumpModel READ jumpModel NOTIFY modelsChanged)
  Q_PROPERTY(QObject* trophyModel READ trophyModel NOTIFY modelsChanged)
  Q_PROPERTY(QObject* historyModel READ historyModel NOTIFY modelsChanged)
  Q_PROPERTY(QObject* onboardingModel READ onboardingModel NOTIFY modelsChanged)

 public:
  explicit TestWorld(QObject* parent = nullptr);
  ~TestWorld() override;

  [[nodiscard]] QObject* homeModel() const;
  [[nodiscard]] QObject* jumpModel() const;
  [[nodiscard]] QObject* trophyModel() const;
  [[nodiscard]] QObject* historyModel() const;
  [[nodiscard]] QObject* onboardingModel() const;

  // A fresh world: empty settings (or with the onboarding seen), no records.
  Q_INVOKABLE void reset(bool hasSeenOnboarding = true);
  Q_INVOKABLE void advance(double seconds);
  Q_INVOKABLE void jump(int jumps);
  Q_INVOKABLE void setHeadphones(bool connected);
  // 0 not determined, 1 restricted, 2 denied, 3 authorized.
  Q_INVOKABLE void setMotionAuthorization(int status);
  Q_INVOKABLE void unlockTrophy(const QString& id);
  Q_INVOKABLE void saveRecord(double dateStart, double timeSpent, int jumps);
  Q_INVOKABLE [[nodiscard]] int hapticTaps() const;
  Q_INVOKABLE [[nodiscard]] QStringList announcements() const;
  Q_INVOKABLE [[nodiscard]] QStringList logLines() const;

  // The first run's motion services (one per page 3 built): whether the ones
  // made from now on report motion available, how many were made, and the
  // newest one's starts and state. `deliverOnboardingMotion` hands the newest
  // one's handler a sample, or only an error; false when nobody listened.
  Q_INVOKABLE void setOnboardingMotionAvailable(bool available);
  Q_INVOKABLE [[nodiscard]] int onboardingMotionServices() const;
  Q_INVOKABLE [[nodiscard]] int onboardingMotionStarts() const;
  Q_INVOKABLE [[nodiscard]] bool onboardingMotionActive() const;
  Q_INVOKABLE bool deliverOnboardingMotion(bool withSample);
  // The fake notification centre: 0 not determined, 1 denied, 2 authorized,
  // 3 provisional; the user's answer to the prompt; `answerNotifications`
  // delivers every waiting answer and what follows from it on the main thread.
  Q_INVOKABLE void setNotificationAuthorization(int status);
  Q_INVOKABLE void setNotificationGrant(bool grant);
  Q_INVOKABLE void answerNotifications();
  Q_INVOKABLE [[nodiscard]] int notificationStatusQueries() const;
  Q_INVOKABLE [[nodiscard]] int notificationPrompts() const;
  Q_INVOKABLE [[nodiscard]] int scheduledReminders() const;
  // Where screenshots go: <build folder>/screenshots/<name>.png.
  Q_INVOKABLE [[nodiscard]] QString screenshotPath(const QString& name) const;
  // Whether the picture holds more than one colour (something was drawn).
  Q_INVOKABLE [[nodiscard]] bool isNotBlank(const QString& path) const;

 signals:
  void modelsChanged();

 private:
  struct Core;
  std::unique_ptr<Core> core_;
  std::vector<std::unique_ptr<Core>> retired_;
};

}  // namespace hopster::testing
