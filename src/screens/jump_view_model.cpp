#include "screens/jump_view_model.h"

#include <QClipboard>
#include <QGuiApplication>

#include "screens/trophy_presentation.h"

namespace hopster {
JumpViewModel::JumpViewModel(RecordingController& controller, QObject* parent)
    : QObject(parent),
      controller_(controller),
      shown_(snapshot()),
      triggers_(controller),
      subscription_(controller.observe([this] { stateChanged(); })) {}

QString JumpViewModel::elapsedText() const {
  return QString::fromStdString(formatElapsedTime(controller_.timeElapsed()));
}

QVariantMap JumpViewModel::unlockedTrophy() const {
  const auto& trophy = controller_.unlockedTrophy();
  return trophy ? trophyProperties(*trophy) : QVariantMap{};
}

void JumpViewModel::setMotionSource(const QString& device, const QStringList& pushUrls,
                                    bool showPushSetup, const QString& error) {
  if (device == motionDevice_ && pushUrls == pushUrls_ && showPushSetup == showPushSetup_ &&
      error == motionSourceError_) {
    return;
  }
  motionDevice_ = device;
  pushUrls_ = pushUrls;
  showPushSetup_ = showPushSetup;
  motionSourceError_ = error;
  emit motionSourceChanged();
}

void JumpViewModel::copyPushUrl() const {
  QClipboard* clipboard = QGuiApplication::clipboard();
  if (clipboard != nullptr && !pushUrls_.isEmpty()) clipboard->setText(pushUrls_.constFirst());
}

JumpViewModel::Snapshot JumpViewModel::snapshot() const {
  const auto& chart = controller_.accelerationData();
  return Snapshot{controller_.jumpCount(),
                  controller_.totalJumps(),
                  controller_.countdown(),
                  controller_.isHeadphonesConnected(),
                  controller_.isStarting(),
                  controller_.isRecording(),
                  controller_.timeElapsed(),
                  controller_.showHeadphoneAlert(),
                  controller_.showAlertMotionAccess(),
                  controller_.showTrophyAlert(),
                  controller_.unlockedTrophy() ? controller_.unlockedTrophy()->id : std::string(),
                  chart.empty() ? 0.0 : chart.back().time,
                  chart.size(),
                  controller_.saveFailure(),
                  controller_.keptJumps(),
                  controller_.journalFailure()};
}

void JumpViewModel::stateChanged() {
  const Snapshot now = snapshot();
  const Snapshot before = std::exchange(shown_, now);
  // Each property tells of its own changes only, so a handler on one of
  // them runs exactly when that value changed.
  if (now.jumpCount != before.jumpCount) emit jumpCountChanged();
  if (now.totalJumps != before.totalJumps) emit totalJumpsChanged();
  if (now.headphones != before.headphones) emit isHeadphonesConnectedChanged();
  if (now.starting != before.starting) emit isStartingChanged();
  if (now.countdown != before.countdown) emit countdownChanged();
  if (now.recording != before.recording) emit isRecordingChanged();
  if (now.elapsed != before.elapsed) emit elapsedTextChanged();
  if (now.headphoneAlert != before.headphoneAlert) emit showHeadphoneAlertChanged();
  if (now.motionAlert != before.motionAlert) emit showAlertMotionAccessChanged();
  if (now.trophyId != before.trophyId) emit unlockedTrophyChanged();
  if (now.trophyAlert != before.trophyAlert) emit showTrophyAlertChanged();
  if (now.saveFailure != before.saveFailure || now.keptJumps != before.keptJumps) {
    emit saveFailureChanged();
  }
  if (now.journalFailure != before.journalFailure) emit journalFailureChanged();
  // The chart paces its own redraws.
  if (now.newestPoint != before.newestPoint || now.points != before.points) emit chartChanged();
}

QString JumpViewModel::keptJumps() const {
  const auto& kept = controller_.keptJumps();
  return kept ? QString::fromStdString(keptJumpsText(*kept)) : QString();
}

QString JumpViewModel::savedConfirmation() const {
  const auto& saved = controller_.lastSaved();
  if (!saved) return {};
  return QString::fromStdString(savedConfirmationText(saved->jumps, saved->timeSpent));
}

void JumpViewModel::saveStateChanged() {
  if (const bool saving = isSaving(); saving != savingShown_) {
    savingShown_ = saving;
    emit isSavingChanged();
  }
  if (QString text = savedConfirmation(); text != confirmationShown_) {
    confirmationShown_ = std::move(text);
    emit savedConfirmationChanged();
  }
}

}  // namespace hopster
