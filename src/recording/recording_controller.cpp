#include "recording/recording_controller.h"

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <limits>
#include <utility>

#include "records/motion_csv.h"
#include "records/number_form.h"
#include "trophies/trophy_rules.h"

namespace hopster {
namespace {

constexpr double kTickSeconds = 1.0;
constexpr double kReviewDelay = 3.0;
constexpr double kTrophyAlertDismissal = 4.0;

// The start and countdown taps, and the stop tap.
constexpr float kStartIntensity = 0.8F, kStartSharpness = 0.7F;
constexpr float kStopIntensity = 1.0F, kStopSharpness = 0.5F;

bool isBluetoothHeadphones(const AudioPort& port) {
  return port.portType == kPortBluetoothHFP || port.portType == kPortBluetoothA2DP;
}

// a + b, held at the limits instead of overflowing: a stored total is data
// from disk, and no value of it may crash the stop.
std::int64_t saturatingAdd(std::int64_t a, std::int64_t b) {
  std::int64_t sum = 0;
  if (__builtin_add_overflow(a, b, &sum)) {
    return b > 0 ? std::numeric_limits<std::int64_t>::max()
                 : std::numeric_limits<std::int64_t>::min();
  }
  return sum;
}

}  // namespace

RecordingController::RecordingController(TrophyManager& trophyManager, RecordingServices services)
    : trophyManager_(trophyManager),
      services_(std::move(services)),
      haptics_(services_.hapticDevice, services_.log),
      pipeline_(samples_, services_.clock, services_.uuids, services_.announcer),
      totalJumps_(services_.settings.integer(kTotalJumpsKey)) {}

RecordingController::~RecordingController() {
  // Nothing may call into a controller that is gone.
  if (countdownTimer_) countdownTimer_->invalidate();
  if (timer_) timer_->invalidate();
  services_.motionManager->stopDeviceMotionUpdates();
}

void RecordingController::later(double delay, std::function<void()> work) {
  services_.scheduler.runAfter(delay, [alive = std::weak_ptr<int>(alive_), work = std::move(work)] {
    if (!alive.expired()) work();
  });
}

void RecordingController::jumpScreenAppeared() {
  services_.application.setIdleTimerDisabled(true);
  haptics_.prepareHaptics();
  checkHeadphonesConnection();
}

void RecordingController::checkHeadphonesConnection() {
  if (auto error = services_.audioSession.setCategoryPlayAndRecord()) {
    services_.log.line("Failed to set audio session category: " + *error);
    return;
  }
  const auto inputs = services_.audioSession.availableInputs();
  bool connected = false;
  if (inputs) {
    for (const AudioPort& port : *inputs) {
      if (isBluetoothHeadphones(port)) {
        connected = true;
        break;
      }
    }
  }
  isHeadphonesConnected_ = connected;
  changed();
}

void RecordingController::toggleRecording() {
  if (isRecording_) {
    haptics_.playHaptic(kStopIntensity, kStopSharpness);
    isRecording_ = false;
    stopRecording();
    changed();
    return;
  }
  checkHeadphonesConnection();
  if (!isHeadphonesConnected_) {
    showHeadphoneAlert_ = true;
  } else if (services_.motionManager->authorizationStatus() !=
             MotionAuthorizationStatus::authorized) {
    showAlertMotionAccess_ = true;
    services_.log.line("no access");
  } else {
    haptics_.playHaptic(kStartIntensity, kStartSharpness);
    startCountdown();
  }
  changed();
}

void RecordingController::startCountdown() {
  isStarting_ = true;
  countdown_ = 3;
  // A Start within a second of a cancelled countdown finds the old timer
  // still scheduled; stop it, or the countdown would run at double speed.
  if (countdownTimer_) countdownTimer_->invalidate();
  countdownTimer_ = services_.scheduler.scheduleRepeating(
      kTickSeconds, [this](Timer& timer) { countdownTick(timer); });
}

void RecordingController::countdownTick(Timer& timer) {
  if (!isStarting_) {
    countdown_ = 3;
    timer.invalidate();
    isStarting_ = false;
  } else if (countdown_ >= 1) {
    services_.announcer.layoutChanged();
    services_.announcer.announce(std::to_string(countdown_));
    haptics_.playHaptic(kStartIntensity, kStartSharpness);
    --countdown_;
  } else {
    timer.invalidate();
    isStarting_ = false;
    isRecording_ = true;
    beginRecording();
  }
  changed();
}

void RecordingController::cancelCountdown() {
  isStarting_ = false;
  changed();
}

void RecordingController::beginRecording() {
  startTime_ = services_.clock.now();
  samples_.motionData.clear();
  startElapsedTimer();
  startMotionUpdates();
}

void RecordingController::startElapsedTimer() {
  timer_ = services_.scheduler.scheduleRepeating(kTickSeconds, [this](Timer&) {
    timeElapsed_ += 1.0;
    changed();
  });
}

void RecordingController::startMotionUpdates() {
  HeadphoneMotionService& motion = *services_.motionManager;
  if (!motion.isDeviceMotionAvailable()) {
    services_.log.line("Device motion is not available");
    return;
  }
  motion.startDeviceMotionUpdates(
      [this](const std::optional<DeviceMotion>& sample, const std::optional<MotionError>& error) {
        pipeline_.handleMotionUpdate(sample, error);
        changed();
      });
}

void RecordingController::stopElapsedTimer() {
  if (timer_) timer_->invalidate();
  timer_.reset();
  timeElapsed_ = 0.0;
}

void RecordingController::stopRecording() {
  services_.motionManager->stopDeviceMotionUpdates();
  stopElapsedTimer();
  samples_.accelerationData.clear();
  const std::int64_t jumps = samples_.jumpCount;
  if (jumps < 1) return;

  std::string csv = makeMotionCSV(samples_.motionData);
  const double end = services_.clock.now();
  UserRecordData record{services_.uuids.next().str(),
                        startTime_,
                        end,
                        end - startTime_,
                        jumps,
                        std::move(csv),
                        std::nullopt};
  services_.records.saveUserRecordData(record, formatNumber(services_.clock.now()));

  totalJumps_ = saturatingAdd(totalJumps_, jumps);
  services_.settings.setInteger(kTotalJumpsKey, totalJumps_);
  checkTrophies(jumps, end - startTime_);
  if (jumps > 10) later(kReviewDelay, [this] { requestReview(); });
  samples_.jumpCount = 0;
}

void RecordingController::checkTrophies(std::int64_t jumpCount, double elapsed) {
  auto last =
      hopster::checkTrophies(trophyManager_, RecordingOutcome{jumpCount, elapsed, totalJumps_});
  if (!last) return;
  unlockedTrophy_ = std::move(last);
  showTrophyAlert_ = true;
}

void RecordingController::requestReview() {
  for (const ConnectedScene& scene : services_.application.connectedScenes()) {
    if (scene.activationState != ConnectedScene::kForegroundActive) continue;
    if (scene.isWindowScene) services_.storeReview.requestReview(scene);
    return;  // only the first active scene is tried
  }
}

void RecordingController::openSettings() {
  const auto address = services_.application.settingsAddress();
  if (!address || !services_.application.canOpen(*address)) return;
  services_.application.open(*address, [&log = services_.log](bool opened) {
    log.line(std::string("Settings opened: ") + (opened ? "true" : "false"));
  });
}

void RecordingController::scheduleTrophyAlertDismissal(bool showTrophyAlert) {
  if (!showTrophyAlert) return;
  later(kTrophyAlertDismissal, [this] { setShowTrophyAlert(false); });
}

void RecordingController::setShowHeadphoneAlert(bool value) {
  showHeadphoneAlert_ = value;
  changed();
}

void RecordingController::setShowAlertMotionAccess(bool value) {
  showAlertMotionAccess_ = value;
  changed();
}

void RecordingController::setShowTrophyAlert(bool value) {
  showTrophyAlert_ = value;
  changed();
}

std::string formatElapsedTime(double seconds) {
  // Truncate toward zero; values no clock produces (not a number, beyond the
  // integer range) are held in range rather than left undefined.
  constexpr double kLimit = 9.2e18;
  const double clamped = std::isnan(seconds) ? 0.0 : std::fmax(-kLimit, std::fmin(kLimit, seconds));
  const auto whole = static_cast<std::int64_t>(clamped);
  const std::int64_t minutes = whole / 60;
  const std::int64_t rest = whole - 60 * minutes;
  char text[48];
  std::snprintf(text, sizeof text, "%02" PRId64 ":%02" PRId64, minutes, rest);
  return text;
}

}  // namespace hopster
