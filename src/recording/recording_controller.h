#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/announcer.h"
#include "platform/application_services.h"
#include "platform/audio_session.h"
#include "platform/background_work.h"
#include "platform/clock.h"
#include "platform/haptic_device.h"
#include "platform/headphone_motion_service.h"
#include "platform/key_value_store.h"
#include "platform/linux/inline_background_work.h"
#include "platform/log.h"
#include "platform/observer_list.h"
#include "platform/scheduler.h"
#include "platform/uuid_source.h"
#include "recording/jump_haptics.h"
#include "recording/kept_jumps.h"
#include "recording/motion_pipeline.h"
#include "records/motion_csv.h"
#include "records/record_store.h"
#include "records/recording_journal.h"
#include "trophies/trophy.h"
#include "trophies/trophy_manager.h"

namespace hopster {

// Everything the recording controller works through.
struct RecordingServices {
  std::unique_ptr<HeadphoneMotionService> motionManager;
  AudioSession& audioSession;
  HapticDevice& hapticDevice;
  ApplicationServices& application;
  StoreReview& storeReview;
  KeyValueStore& settings;
  const RecordStore& records;
  Scheduler& scheduler;
  const Clock& clock;
  UuidSource& uuids;
  Announcer& announcer;
  Log& log;
  // Where a stopped recording is encoded and written, and the journal flushed,
  // so the main thread never waits for the disk. Without one, that work runs
  // on the main thread.
  BackgroundWork* background = nullptr;
};

// The logic of the jump screen: the headphone and motion-access checks, the
// three-second countdown, the recording with its live count and elapsed
// time, and the stop that saves the record, grows the total and awards
// trophies. All of it runs on the main thread, except the encoding and
// writing of a stopped recording and the journal's waits for the disk,
// which go to the background work; observers are told after every change of
// state.
class RecordingController {
 public:
  static constexpr std::string_view kTotalJumpsKey = "totalJumps";

  RecordingController(TrophyManager& trophyManager, RecordingServices services);
  ~RecordingController();
  RecordingController(const RecordingController&) = delete;
  RecordingController& operator=(const RecordingController&) = delete;

  // Triggers from the screen.
  void jumpScreenAppeared();
  void checkHeadphonesConnection();
  void toggleRecording();
  void cancelCountdown();
  void openSettings();
  void scheduleTrophyAlertDismissal(bool showTrophyAlert);

  // The program is quitting: a running recording is stopped and saved exactly
  // as by the Stop button; a countdown is cancelled and saves nothing. Returns
  // once a save under way has ended (see waitForSave).
  void stopForQuit();

  // Blocks until a save under way has ended and finishes it on this thread:
  // afterwards the record is saved and counted (or saveFailure() tells why
  // not). Does nothing when no save is under way.
  void waitForSave();

  // After a stop whose record could not be saved, saveFailure() holds the
  // reason until one of these is chosen; Start waits until then, and the
  // recording's jumps are neither added to the total nor judged for trophies.
  // A retry saves in the background like a stop (and first tries again to
  // complete the journal); discarding waits for it. Meanwhile the recording
  // is on disk only as far as its journal could be written (keptJumps()
  // says how far): what quitting now leaves for the next start.
  void retrySave();
  void discardRecording();

  // The screen dismisses its alerts and popup by setting these back.
  void setShowHeadphoneAlert(bool value);
  void setShowAlertMotionAccess(bool value);
  void setShowTrophyAlert(bool value);

  // State the screen draws.
  [[nodiscard]] std::int64_t jumpCount() const { return samples_.jumpCount; }
  [[nodiscard]] std::int64_t totalJumps() const { return totalJumps_; }
  [[nodiscard]] bool isHeadphonesConnected() const { return isHeadphonesConnected_; }
  [[nodiscard]] bool isStarting() const { return isStarting_; }
  [[nodiscard]] std::int64_t countdown() const { return countdown_; }
  [[nodiscard]] bool isRecording() const { return isRecording_; }
  [[nodiscard]] double timeElapsed() const { return timeElapsed_; }
  [[nodiscard]] double startTime() const { return startTime_; }
  [[nodiscard]] bool isAllowedToCount() const { return samples_.isAllowedToCount; }
  [[nodiscard]] const std::deque<AccelerationData>& accelerationData() const {
    return samples_.accelerationData;
  }
  [[nodiscard]] const std::vector<MotionDataPoint>& motionData() const {
    return samples_.motionData;
  }
  [[nodiscard]] bool showAlertMotionAccess() const { return showAlertMotionAccess_; }
  [[nodiscard]] bool showHeadphoneAlert() const { return showHeadphoneAlert_; }
  [[nodiscard]] bool showTrophyAlert() const { return showTrophyAlert_; }
  [[nodiscard]] const std::optional<Trophy>& unlockedTrophy() const { return unlockedTrophy_; }
  [[nodiscard]] const std::optional<std::string>& saveFailure() const { return saveFailure_; }
  // With a save failure: how many of the recording's jumps its journal holds.
  [[nodiscard]] const std::optional<KeptJumps>& keptJumps() const { return keptJumps_; }
  // Why the journal of the recording could not be made or stopped being
  // written, from the moment a write fails until one catches up again (or
  // the next Start); nothing while it keeps everything.
  [[nodiscard]] const std::optional<std::string>& journalFailure() const { return journalFailure_; }
  // A stopped recording is being saved: from the stop (or a retry) until its
  // record is written and counted, or its save failed. Start waits meanwhile.
  [[nodiscard]] bool isSaving() const { return saving_ != nullptr; }
  // What the last stop saved, for the screen's confirmation; none after a
  // stop that saved nothing, and from the next Start on.
  struct SavedRecording {
    std::int64_t jumps = 0;
    double timeSpent = 0.0;
    std::filesystem::path file;  // the record file written
  };
  [[nodiscard]] const std::optional<SavedRecording>& lastSaved() const { return lastSaved_; }
  // The journal of the running recording, or of a stopped one waiting to be saved.
  [[nodiscard]] const RecordingJournal* journal() const { return journal_.get(); }
  [[nodiscard]] TrophyManager& trophyManager() const { return trophyManager_; }
  [[nodiscard]] HeadphoneMotionService& motionManager() const { return *services_.motionManager; }

  // Called after every change of state.
  [[nodiscard]] Subscription observe(std::function<void()> onChange) {
    return changed_.add(std::move(onChange));
  }

 private:
  void startCountdown();
  void countdownTick(Timer& timer);
  void beginRecording();
  void startElapsedTimer();
  void startMotionUpdates();
  void stopElapsedTimer();
  void stopRecording();
  void startJournal();
  void flushJournal();
  void journalFlushed(const Status& error);
  void noteJournalFailure(const std::string& error);
  struct SaveJob;
  void startSave(const std::shared_ptr<SaveJob>& job);
  void saveEnded(const std::shared_ptr<SaveJob>& job);
  void finishSave(const SaveJob& job);
  [[nodiscard]] KeptJumps keptJumpsOf(const SaveJob& job) const;
  void releaseJournal(std::shared_ptr<RecordingJournal> journal);
  void checkTrophies(std::int64_t jumpCount, double elapsed);
  void requestReview();
  // Runs `work` after `delay` seconds, unless this controller is gone by then.
  void later(double delay, std::function<void()> work);
  void changed() { changed_.notify(); }

  TrophyManager& trophyManager_;
  RecordingServices services_;
  JumpHaptics haptics_;
  RecordingState samples_;
  // The running recording's CSV text, grown with every sample so the stop
  // need not write a hundred megabytes of it at once.
  MotionCsvText csv_;
  MotionPipeline pipeline_;

  std::int64_t totalJumps_ = 0;
  bool showAlertMotionAccess_ = false;
  double startTime_ = 0.0;
  bool isStarting_ = false;
  std::int64_t countdown_ = 3;
  bool isRecording_ = false;
  double timeElapsed_ = 0.0;
  std::shared_ptr<Timer> timer_;           // the elapsed-time timer
  std::shared_ptr<Timer> countdownTimer_;  // kept only to stop a stale one at a new Start
  bool isHeadphonesConnected_ = false;
  bool showHeadphoneAlert_ = false;
  bool showTrophyAlert_ = false;
  std::optional<Trophy> unlockedTrophy_;

  // The journal is shared with the background work that flushes and
  // finishes it; jobs run in order, so only one of them touches it at a time.
  std::shared_ptr<RecordingJournal> journal_;
  std::shared_ptr<Timer> journalTimer_;
  bool journalFailureLogged_ = false;
  std::optional<std::string> journalFailure_;
  InlineBackgroundWork inlineWork_;  // when the services bring no background work
  BackgroundWork& background_;
  std::shared_ptr<SaveJob> saving_;       // the save under way
  std::shared_ptr<SaveJob> pendingSave_;  // a failed save, kept until retried or discarded
  std::optional<std::string> saveFailure_;
  std::optional<KeptJumps> keptJumps_;
  std::optional<SavedRecording> lastSaved_;
  Subscription totalSubscription_;

  ObserverList<> changed_;
  std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

// The elapsed-time text: whole minutes and seconds as "%02d:%02d"
// (0 is "00:00", 65 is "01:05", 6000 is "100:00").
[[nodiscard]] std::string formatElapsedTime(double seconds);

// The short confirmation after a stop that saved a recording: "Saved: 30
// jumps in 0:15" (minutes and seconds, hours too from one hour on, as
// "1:02:03"; "1 jump" for one).
[[nodiscard]] std::string savedConfirmationText(std::int64_t jumps, double seconds);

}  // namespace hopster
