#include "screens/onboarding_view_model.h"

#include <utility>

namespace hopster {

OnboardingViewModel::OnboardingViewModel(MotionServiceFactory makeMotionService,
                                         NotificationManagerFactory makeNotificationManager,
                                         QObject* parent)
    : QObject(parent),
      makeMotionService_(std::move(makeMotionService)),
      makeNotificationManager_(std::move(makeNotificationManager)) {}

OnboardingViewModel::~OnboardingViewModel() { finish(); }

void OnboardingViewModel::retireMotionService() {
  // A stream still waiting for its first sample ends with the page it
  // belonged to.
  if (motion_ && motion_->isDeviceMotionActive()) motion_->stopDeviceMotionUpdates();
  motion_.reset();
}

void OnboardingViewModel::preparePage3() {
  retireMotionService();
  motion_ = makeMotionService_();
  const bool available = motion_ && motion_->isDeviceMotionAvailable();
  if (available != motionAvailable_) {
    motionAvailable_ = available;
    emit motionAvailableChanged();
  }
}

void OnboardingViewModel::requestMotionAccess() {
  if (!motion_ || !motion_->isDeviceMotionAvailable()) return;
  HeadphoneMotionService* service = motion_.get();
  // Deliveries without a sample (an error or a refusal) leave the stream
  // running; the first sample ends it.
  service->startDeviceMotionUpdates(
      [service](const std::optional<DeviceMotion>& sample, const std::optional<MotionError>&) {
        if (sample && service->isDeviceMotionActive()) service->stopDeviceMotionUpdates();
      });
}

void OnboardingViewModel::preparePage4() { notifications_ = makeNotificationManager_(); }

void OnboardingViewModel::declineReminders() {
  if (notifications_) notifications_->setHasSeenOnboarding(true);
}

void OnboardingViewModel::allowNotifications() {
  if (notifications_) notifications_->checkNotificationSettings();
}

void OnboardingViewModel::finish() {
  retireMotionService();
  // A settings check under way finishes without the manager.
  notifications_.reset();
}

}  // namespace hopster
