#include "recording/recording_controller.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <limits>
#include <utility>

#include "trophies/trophy_rules.h"

namespace hopster {
namespace {

constexpr double kTickSeconds = 1.0;
constexpr double kTrophyAlertDismissal = 4.0;

// The start and countdown taps, and the stop tap.
constexpr float kStartIntensity = 0.8F, kStartSharpness = 0.7F;
constexpr float kStopIntensity = 1.0F, kStopSharpness = 0.5F;

bool isBluetoothHeadphones(const AudioPort& port) {
  return port.portType == kPortBluetoothHFP || port.portType == kPortBluetoothA2DP;
}

}  // namespace

RecordingController::RecordingController(TrophyManager& trophyManager, RecordingServices services)
    : trophyManager_(trophyManager),
      services_(std::move(services)),
      haptics_(services_.hapticDevice, services_.log),
      pipeline_(samples_, services_.clock, services_.uuids, services_.announcer),
      totalJumps_(services_.settings.integer(kTotalJumpsKey)),
      background_(services_.background != nullptr ? *services_.background : inlineWork_) {
  // Another process (a headless recording) may add to the total meanwhile.
  totalSubscription_ = services_.settings.observe(std::string(kTotalJumpsKey), [this] {
    totalJumps_ = services_.settings.integer(kTotalJumpsKey);
    changed();
  });
}

RecordingController::~RecordingController() {
  // Nothing may call into a controller that is gone.
  if (countdownTimer_) countdownTimer_->invalidate();
  if (timer_) timer_->invalidate();
  if (journalTimer_) journalTimer_->invalidate();
  services_.motionManager->stopDeviceMotionUpdates();
  // A save under way is seen through; work handed over ends before the
  // journal it uses is let go.
  waitForSave();
  background_.waitForIdle();
  // A journal still held here stays on disk, unlocked, for the next start.
  if (journal_) {
    if (auto error = journal_->flush()) noteJournalFailure(error->message);
  }
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
    services_.log.line("Failed to set audio session category: " + error->message);
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
  // Start waits until the last recording is saved, or its failed save settled.
  if (pendingSave_ || saving_) return;
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
    lastSaved_.reset();
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
  csv_.clear();
  startElapsedTimer();
  startJournal();
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
        if (sample) {
          csv_.append(samples_.motionData.back());
          if (journal_) journal_->append(samples_.motionData.back());
        }
        changed();
      });
}

void RecordingController::stopElapsedTimer() {
  if (timer_) timer_->invalidate();
  timer_.reset();
  timeElapsed_ = 0.0;
}

void RecordingController::stopForQuit() {
  if (isRecording_) {
    toggleRecording();
  } else if (isStarting_) {
    isStarting_ = false;
    countdown_ = 3;
    if (countdownTimer_) countdownTimer_->invalidate();
    changed();
  }
  // Nothing handed to the background may be lost by the quit.
  waitForSave();
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

std::string savedConfirmationText(std::int64_t jumps, double seconds) {
  constexpr double kLimit = 9.2e18;
  const double clamped = std::isnan(seconds) ? 0.0 : std::fmax(0.0, std::fmin(kLimit, seconds));
  const auto whole = static_cast<std::int64_t>(clamped);
  const std::int64_t hours = whole / 3600, minutes = whole / 60 % 60, rest = whole % 60;
  char duration[64];
  if (hours > 0) {
    std::snprintf(duration, sizeof duration, "%" PRId64 ":%02" PRId64 ":%02" PRId64, hours, minutes,
                  rest);
  } else {
    std::snprintf(duration, sizeof duration, "%" PRId64 ":%02" PRId64, minutes, rest);
  }
  return "Saved: " + std::to_string(jumps) + (jumps == 1 ? " jump in " : " jumps in ") + duration;
}

}  // namespace hopster
