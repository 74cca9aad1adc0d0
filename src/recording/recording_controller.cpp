#include "recording/recording_controller.h"

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <limits>
#include <utility>

#include "recording/recording_commit.h"
#include "records/motion_csv.h"
#include "records/number_form.h"
#include "trophies/trophy_rules.h"

namespace hopster {
namespace {

constexpr double kTickSeconds = 1.0;
constexpr double kReviewDelay = 3.0;
constexpr double kTrophyAlertDismissal = 4.0;
// How often the journal of a running recording goes to disk: a crash or
// power loss loses at most this much of the recording.
constexpr double kJournalFlushSeconds = 2.0;

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
      totalJumps_(services_.settings.integer(kTotalJumpsKey)) {
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
  // A journal still held here stays on disk, unlocked, for the next start.
  if (journal_) flushJournal();
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
  if (pendingSave_) return;  // Start waits until the failed save is settled
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
  startJournal();
  startMotionUpdates();
}

void RecordingController::startJournal() {
  std::string error;
  journal_ = RecordingJournal::create(services_.records.documentsDirectory(),
                                      JournalHeader{startTime_, samples_.isAllowedToCount}, error);
  journalFailureLogged_ = false;
  if (!journal_) {
    services_.log.line("Failed to start the recording journal: " + error);
    return;
  }
  journalTimer_ = services_.scheduler.scheduleRepeating(kJournalFlushSeconds,
                                                        [this](Timer&) { flushJournal(); });
}

void RecordingController::flushJournal() {
  if (!journal_) return;
  const auto error = journal_->flush();
  // One line per recording: a full disk would otherwise repeat it every flush.
  if (error && !journalFailureLogged_) {
    services_.log.line("Failed to write the recording journal: " + *error);
    journalFailureLogged_ = true;
  }
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
        if (sample && journal_) journal_->append(samples_.motionData.back());
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
  if (journalTimer_) journalTimer_->invalidate();
  journalTimer_.reset();
  samples_.accelerationData.clear();
  const std::int64_t jumps = samples_.jumpCount;
  if (jumps < 1) {
    if (journal_) {
      if (auto error = journal_->remove()) services_.log.line(*error);
    }
    journal_.reset();
    return;
  }

  std::string csv = makeMotionCSV(samples_.motionData);
  const double end = services_.clock.now();
  UserRecordData record{services_.uuids.next().str(),
                        startTime_,
                        end,
                        end - startTime_,
                        jumps,
                        std::move(csv),
                        std::nullopt};
  std::string stem = formatNumber(services_.clock.now());
  if (journal_) {
    // The record's id and file name are fixed in the journal before the first
    // attempt, so a retry or a recovery after a crash writes the same file.
    if (auto error = journal_->finish(JournalEnding{end, record.id, stem})) {
      services_.log.line("Failed to write the recording journal: " + *error);
    }
  }
  pendingSave_ = PendingSave{std::move(record), std::move(stem)};
  finishSave();
}

void RecordingController::finishSave() {
  const UserRecordData& record = pendingSave_->record;
  if (auto error = services_.records.saveUserRecordData(record, pendingSave_->stem)) {
    saveFailure_ = std::move(error);
    return;
  }
  const std::int64_t jumps = record.jumps;
  const double elapsed = record.timeSpent;
  const CommitResult commit = commitRecordedJumps(services_.settings, {}, journal_.get(), jumps);
  journal_.reset();
  if (commit.error) {
    services_.log.line("Failed to add the recording's jumps to the total: " + *commit.error);
  }
  totalJumps_ = commit.total ? *commit.total : saturatingAdd(totalJumps_, jumps);
  pendingSave_.reset();
  saveFailure_.reset();
  checkTrophies(jumps, elapsed);
  if (jumps > 10) later(kReviewDelay, [this] { requestReview(); });
  samples_.jumpCount = 0;
}

void RecordingController::retrySave() {
  if (!pendingSave_) return;
  saveFailure_.reset();
  finishSave();
  changed();
}

void RecordingController::discardRecording() {
  if (!pendingSave_) return;
  if (journal_) {
    if (auto error = journal_->remove()) services_.log.line(*error);
  }
  journal_.reset();
  pendingSave_.reset();
  saveFailure_.reset();
  samples_.jumpCount = 0;
  changed();
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
