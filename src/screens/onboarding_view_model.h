#pragma once

#include <QtQml/qqmlregistration.h>
#include <QObject>
#include <functional>
#include <memory>

#include "platform/headphone_motion_service.h"
#include "reminders/notification_manager.h"

namespace hopster {

// What the first-run pages do besides showing themselves: page 3 asks for
// headphone-motion access through its own motion service, page 4 settles the
// reminder question through its own NotificationManager. Each page gets a new
// service or manager whenever the page before it links to it, so going back
// and forward again starts afresh.
class OnboardingViewModel : public QObject {
  Q_OBJECT
  QML_ELEMENT
  QML_UNCREATABLE("made by the application")
  // Whether page 3's motion service can deliver at all (false, say, on a
  // machine without motion sensors), so the page can say so.
  Q_PROPERTY(bool motionAvailable READ motionAvailable NOTIFY motionAvailableChanged)

 public:
  using MotionServiceFactory = std::function<std::unique_ptr<HeadphoneMotionService>()>;
  using NotificationManagerFactory = std::function<std::unique_ptr<NotificationManager>()>;

  OnboardingViewModel(MotionServiceFactory makeMotionService,
                      NotificationManagerFactory makeNotificationManager,
                      QObject* parent = nullptr);
  ~OnboardingViewModel() override;

  [[nodiscard]] bool motionAvailable() const { return motionAvailable_; }

  // Page 2 links to page 3: a new motion service for it.
  Q_INVOKABLE void preparePage3();
  // Page 3's "Next": starting a motion stream is what makes the system ask
  // for motion access. Nothing when motion is not available; otherwise the
  // stream stops at its first sample.
  Q_INVOKABLE void requestMotionAccess();
  // Page 3 links to page 4: a new notification manager for it.
  Q_INVOKABLE void preparePage4();
  // Page 4's "No": the first run ends at once, nothing asked or scheduled.
  Q_INVOKABLE void declineReminders();
  // Page 4's "Allow Notifications": the manager's settings check, which
  // schedules the reminders if allowed and ends the first run either way.
  Q_INVOKABLE void allowNotifications();
  // The pages are gone (the first run ended): a motion stream still waiting
  // for its first sample stops, and the services are let go.
  Q_INVOKABLE void finish();

 signals:
  void motionAvailableChanged();

 private:
  void retireMotionService();

  MotionServiceFactory makeMotionService_;
  NotificationManagerFactory makeNotificationManager_;
  std::unique_ptr<HeadphoneMotionService> motion_;
  bool motionAvailable_ = true;
  // The manager of the page now built; one replaced while its settings check
  // waits for an answer still finishes that check.
  std::unique_ptr<NotificationManager> notifications_;
};

}  // namespace hopster
