#pragma once

#include <QtQml/qqmlregistration.h>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QVariantMap>

#include "platform/subscription.h"
#include "recording/jump_screen_triggers.h"
#include "recording/recording_controller.h"

namespace hopster {

// The jump screen's view of the recording controller: its state as
// properties with change signals, its operations as invokable methods.
class JumpViewModel : public QObject {
  Q_OBJECT
  QML_ELEMENT
  QML_UNCREATABLE("made by the application")

  // Counts as plain decimal integers, exact at any size.
  Q_PROPERTY(QString jumpCount READ jumpCountText NOTIFY jumpCountChanged)
  Q_PROPERTY(QString totalJumps READ totalJumpsText NOTIFY totalJumpsChanged)
  Q_PROPERTY(
      bool isHeadphonesConnected READ isHeadphonesConnected NOTIFY isHeadphonesConnectedChanged)
  Q_PROPERTY(bool isStarting READ isStarting NOTIFY isStartingChanged)
  Q_PROPERTY(int countdown READ countdown NOTIFY countdownChanged)
  Q_PROPERTY(bool isRecording READ isRecording NOTIFY isRecordingChanged)
  Q_PROPERTY(QString elapsedText READ elapsedText NOTIFY elapsedTextChanged)
  Q_PROPERTY(bool showHeadphoneAlert READ showHeadphoneAlert WRITE setShowHeadphoneAlert NOTIFY
                 showHeadphoneAlertChanged)
  Q_PROPERTY(bool showAlertMotionAccess READ showAlertMotionAccess WRITE setShowAlertMotionAccess
                 NOTIFY showAlertMotionAccessChanged)
  Q_PROPERTY(bool showTrophyAlert READ showTrophyAlert WRITE setShowTrophyAlert NOTIFY
                 showTrophyAlertChanged)
  // The trophy the popup shows: id, title, subtitle, imageName; empty when none.
  Q_PROPERTY(QVariantMap unlockedTrophy READ unlockedTrophy NOTIFY unlockedTrophyChanged)
  Q_PROPERTY(bool hasUnlockedTrophy READ hasUnlockedTrophy NOTIFY unlockedTrophyChanged)
  Q_PROPERTY(int chartPointCount READ chartPointCount NOTIFY chartChanged)
  // Why the last stopped recording could not be saved; empty when nothing waits.
  Q_PROPERTY(QString saveFailure READ saveFailure NOTIFY saveFailureChanged)
  Q_PROPERTY(bool hasSaveFailure READ hasSaveFailure NOTIFY saveFailureChanged)
  // With a save failure: how many of its jumps are kept on disk and what the
  // next start recovers ("Only 246 of the 1198 jumps counted are kept on
  // disk: ..."); empty otherwise.
  Q_PROPERTY(QString keptJumps READ keptJumps NOTIFY saveFailureChanged)
  // Why the recording's journal, its copy on disk against a crash, is not
  // being written; empty while it is.
  Q_PROPERTY(QString journalFailure READ journalFailure NOTIFY journalFailureChanged)
  // A stopped recording is being written; Start waits until it is done.
  Q_PROPERTY(bool isSaving READ isSaving NOTIFY isSavingChanged)
  // What the last stop saved ("Saved: 30 jumps in 0:15"); empty when it saved
  // nothing, and from the next Start on.
  Q_PROPERTY(QString savedConfirmation READ savedConfirmation NOTIFY savedConfirmationChanged)
  // What the motion comes from, for the header's symbol: "headphones" or "phone".
  Q_PROPERTY(QString motionDevice READ motionDevice NOTIFY motionSourceChanged)
  // With the phone source: where the phone app sends to, shown until a stream arrives.
  Q_PROPERTY(QStringList pushUrls READ pushUrls NOTIFY motionSourceChanged)
  // The same, one a line, for a selectable text.
  Q_PROPERTY(QString pushUrlText READ pushUrlText NOTIFY motionSourceChanged)
  Q_PROPERTY(bool showPushSetup READ showPushSetup NOTIFY motionSourceChanged)
  // Why the motion source cannot be used (its port is taken, say); empty when it can.
  Q_PROPERTY(QString motionSourceError READ motionSourceError NOTIFY motionSourceChanged)

 public:
  explicit JumpViewModel(RecordingController& controller, QObject* parent = nullptr);

  [[nodiscard]] QString jumpCountText() const { return QString::number(controller_.jumpCount()); }
  [[nodiscard]] QString totalJumpsText() const { return QString::number(controller_.totalJumps()); }
  [[nodiscard]] bool hasUnlockedTrophy() const { return controller_.unlockedTrophy().has_value(); }
  [[nodiscard]] bool isHeadphonesConnected() const { return controller_.isHeadphonesConnected(); }
  [[nodiscard]] bool isStarting() const { return controller_.isStarting(); }
  [[nodiscard]] int countdown() const { return static_cast<int>(controller_.countdown()); }
  [[nodiscard]] bool isRecording() const { return controller_.isRecording(); }
  [[nodiscard]] QString elapsedText() const;
  [[nodiscard]] bool showHeadphoneAlert() const { return controller_.showHeadphoneAlert(); }
  [[nodiscard]] bool showAlertMotionAccess() const { return controller_.showAlertMotionAccess(); }
  [[nodiscard]] bool showTrophyAlert() const { return controller_.showTrophyAlert(); }
  [[nodiscard]] QVariantMap unlockedTrophy() const;
  [[nodiscard]] int chartPointCount() const {
    return static_cast<int>(controller_.accelerationData().size());
  }
  // What the chart draws: its points, oldest first, and the start of the
  // recording they belong to (seconds since 1970), from which its time axis
  // counts. chartChanged tells of every added or dropped point.
  [[nodiscard]] const std::deque<AccelerationData>& chartPoints() const {
    return controller_.accelerationData();
  }
  [[nodiscard]] double recordingStart() const { return controller_.startTime(); }

  [[nodiscard]] QString saveFailure() const {
    return QString::fromStdString(controller_.saveFailure().value_or(std::string()));
  }
  [[nodiscard]] bool hasSaveFailure() const { return controller_.saveFailure().has_value(); }
  [[nodiscard]] QString keptJumps() const;
  [[nodiscard]] QString journalFailure() const {
    return QString::fromStdString(controller_.journalFailure().value_or(std::string()));
  }
  [[nodiscard]] bool isSaving() const { return controller_.isSaving(); }
  [[nodiscard]] QString savedConfirmation() const;

  [[nodiscard]] QString motionDevice() const { return motionDevice_; }
  [[nodiscard]] QStringList pushUrls() const { return pushUrls_; }
  [[nodiscard]] QString pushUrlText() const { return pushUrls_.join(QLatin1Char('\n')); }
  [[nodiscard]] bool showPushSetup() const { return showPushSetup_; }
  [[nodiscard]] QString motionSourceError() const { return motionSourceError_; }
  // Set by the application from its motion source.
  void setMotionSource(const QString& device, const QStringList& pushUrls, bool showPushSetup,
                       const QString& error);

  void setShowHeadphoneAlert(bool value) { controller_.setShowHeadphoneAlert(value); }
  void setShowAlertMotionAccess(bool value) { controller_.setShowAlertMotionAccess(value); }
  void setShowTrophyAlert(bool value) { controller_.setShowTrophyAlert(value); }

  // The screen came into view (the Jump tab was opened).
  Q_INVOKABLE void screenAppeared() { triggers_.screenAppeared(); }
  Q_INVOKABLE void toggleRecording() { controller_.toggleRecording(); }
  Q_INVOKABLE void cancelCountdown() { controller_.cancelCountdown(); }
  Q_INVOKABLE void checkHeadphonesConnection() { controller_.checkHeadphonesConnection(); }
  Q_INVOKABLE void openSettings() { controller_.openSettings(); }
  Q_INVOKABLE void retrySave() { controller_.retrySave(); }
  // Puts the first push URL (the local network's) on the clipboard.
  Q_INVOKABLE void copyPushUrl() const;
  Q_INVOKABLE void discardRecording() { controller_.discardRecording(); }

 signals:
  void jumpCountChanged();
  void totalJumpsChanged();
  void isHeadphonesConnectedChanged();
  void isStartingChanged();
  void countdownChanged();
  void isRecordingChanged();
  void elapsedTextChanged();
  void showHeadphoneAlertChanged();
  void showAlertMotionAccessChanged();
  void showTrophyAlertChanged();
  void unlockedTrophyChanged();
  void chartChanged();
  void saveFailureChanged();
  void journalFailureChanged();
  void isSavingChanged();
  void savedConfirmationChanged();
  void motionSourceChanged();

 private:
  struct Snapshot {
    std::int64_t jumpCount = 0, totalJumps = 0, countdown = 0;
    bool headphones = false, starting = false, recording = false;
    double elapsed = 0.0;
    bool headphoneAlert = false, motionAlert = false, trophyAlert = false;
    std::string trophyId;
    double newestPoint = 0.0;
    std::size_t points = 0;
    std::optional<std::string> saveFailure;
    std::optional<KeptJumps> keptJumps;
    std::optional<std::string> journalFailure;
  };
  [[nodiscard]] Snapshot snapshot() const;
  void stateChanged();

  RecordingController& controller_;
  Snapshot shown_;
  QString motionDevice_ = QStringLiteral("headphones");
  QStringList pushUrls_;
  bool showPushSetup_ = false;
  QString motionSourceError_;
  JumpScreenTriggers triggers_;
  Subscription subscription_;
  // The save's own properties, followed apart from the snapshot above.
  void saveStateChanged();
  bool savingShown_ = controller_.isSaving();
  QString confirmationShown_ = savedConfirmation();
  Subscription saveSubscription_ = controller_.observe([this] { saveStateChanged(); });
};

}  // namespace hopster
