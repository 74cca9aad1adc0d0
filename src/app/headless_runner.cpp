#include "app/headless_runner.h"

#include <algorithm>
#include <ostream>

#include "app/motion_setup.h"
#include "app/quit_signals.h"
#include "motion_sources/phone_motion_service.h"
#include "platform/doubles/virtual_scheduler.h"
#include "platform/linux/file_key_value_storage.h"
#include "platform/linux/headless_application.h"
#include "platform/linux/logind_sleep_inhibitor.h"
#include "platform/linux/loop_scheduler.h"
#include "platform/linux/random_uuid_source.h"
#include "platform/linux/system_clock.h"
#include "platform/linux/system_haptic_device.h"
#include "platform/linux/worker_thread.h"
#include "platform/linux/xdg_paths.h"
#include "recording/jump_screen_triggers.h"
#include "recording/recording_commit.h"
#include "recording/recording_controller.h"
#include "recording/recording_sleep_guard.h"

namespace hopster {
namespace {

// Prints log lines into the run's output.
class HeadlessLog final : public Log {
 public:
  explicit HeadlessLog(std::ostream& out) : out_(out) {}
  void line(std::string_view message) override { out_ << message << std::endl; }

 private:
  std::ostream& out_;
};

std::vector<std::string> unlockedTitles(const TrophyManager& manager) {
  std::vector<std::string> titles;
  for (const Trophy& trophy : manager.trophies()) {
    if (trophy.isUnlocked) titles.push_back(trophy.title);
  }
  return titles;
}

// With no sample for this long, a recording in virtual time skips ahead to
// the next thing due (a replay's next sample after a gap, the --seconds
// stop) instead of ticking its timers through the stretch.
constexpr double kIdleSkipSeconds = 10.0;

// The part of a run that does not depend on how time passes. `runLoop(done,
// idle)` runs the scheduler until `done()` is true; `idle()` says whether the
// recording has had no sample for a while.
template <typename RunLoop>
HeadlessOutcome record(const CommandLine& options, const DataLocations& locations,
                       Scheduler& scheduler, const Clock& clock, const QuitSignals& quit,
                       SleepInhibitor& sleep, std::ostream& out, RunLoop runLoop) {
  HeadlessLog log(out);
  HeadlessOutcome outcome;
  bool done = false;
  bool sourceEnded = false;
  MotionSetup motionSetup =
      setUpMotion(options, scheduler, clock, log, [&] { sourceEnded = true; });
  if (const auto& error = motionSetup.sources->error()) {
    out << *error << std::endl;
    outcome.exitCode = 1;
    return outcome;
  }
  auto motion = motionSetup.makeService();
  auto* simulated = dynamic_cast<SimulatedHeadphones*>(motion.get());
  if (!motion->isDeviceMotionAvailable()) {
    out << "The motion source is not available; nothing to record." << std::endl;
    outcome.exitCode = 1;
    return outcome;
  }

  KeyValueStore settings(std::make_unique<FileKeyValueStorage>(locations.settingsFile), log);
  TrophyManager trophies(settings);
  std::error_code ignored;
  std::filesystem::create_directories(locations.documents, ignored);
  RecordStore records(locations.documents, log);
  RandomUuidSource uuids;
  // Housekeeping first: what killed runs left behind is saved or removed.
  SystemClock wallClock;
  records.removeStaleTemporaryFiles(wallClock.now());
  for (const RecoveredRecording& recovered :
       recoverAbandonedRecordings(RecoveryServices{settings, locations.settingsFile.parent_path(),
                                                   trophies, records, wallClock, uuids, log})) {
    outcome.recoveredRecordUrls.push_back(fileUrl(recovered.file));
  }
  const std::vector<std::string> unlockedBeforeRun = unlockedTitles(trophies);
  const auto haptics = makeSystemHapticDevice(log);
  HeadlessApplication application;
  SilentAnnouncer announcer;

  // The record is encoded and written off the main loop, as in the window;
  // the stop at the end of the run waits for it.
  WorkerThread worker(scheduler);
  WorkerThread sleepWorker(scheduler);  // logind may be slow to answer: never ahead of a save
  RecordingController controller(
      trophies,
      RecordingServices{std::move(motion), *motionSetup.audio, *haptics, application, application,
                        settings, records, scheduler, clock, uuids, announcer, log, &worker});
  const RecordingSleepGuard awake(controller, sleep, sleepWorker, log);
  JumpScreenTriggers triggers(controller);

  std::int64_t lastCountdown = -1, lastCount = -1;
  bool wasRecording = false;
  const auto finish = [&] {
    if (done) return;
    done = true;
    outcome.jumpsCounted = controller.jumpCount();
    controller.stopForQuit();
  };
  auto watch = controller.observe([&] {
    if (controller.isStarting() && controller.countdown() != lastCountdown) {
      lastCountdown = controller.countdown();
      if (lastCountdown > 0) out << "Starting in " << lastCountdown << "..." << std::endl;
    }
    if (controller.isRecording() && !wasRecording) {
      out << "Recording. Press Ctrl-C to stop." << std::endl;
      if (options.seconds) scheduler.runAfter(*options.seconds, finish);
    }
    wasRecording = controller.isRecording();
    if (controller.isRecording() && controller.jumpCount() != lastCount) {
      lastCount = controller.jumpCount();
      out << "Jumps: " << lastCount << std::endl;
    }
  });
  // Ctrl-C and the end of the source are noticed within a tenth of a second.
  auto poll = scheduler.scheduleRepeating(0.1, [&](Timer&) {
    if (quit.received() || (sourceEnded && controller.isRecording())) finish();
  });

  if (const PhoneMotionService* phone = motionSetup.sources->phone()) {
    // Start is tapped once the phone streams: until then there is nothing
    // to count, and the headphone check would fail.
    for (const std::string& url : motionSetup.sources->pushUrls())
      out << "Send motion to: " << url << '\n';
    out << "Waiting for the phone to send motion (Sensor Logger, HTTP Push)..." << std::endl;
    runLoop(
        [&] {
          return quit.received() || phone->recentStream() != PhoneMotionService::StreamKind::none;
        },
        [] { return false; });
    if (quit.received()) {
      out << "Stopped before any motion arrived; nothing recorded." << std::endl;
      return outcome;
    }
    out << (phone->recentStream() == PhoneMotionService::StreamKind::headphones
                ? "Headphone motion arrives from the phone."
                : "Phone motion arrives (no headphone motion).")
        << std::endl;
  }
  triggers.screenAppeared();
  controller.toggleRecording();
  if (controller.showHeadphoneAlert() || controller.showAlertMotionAccess()) {
    out << (controller.showHeadphoneAlert()
                ? "No Headphones Connected: Please connect your headphones"
                : "Motion Access Required: Please enable motion access in Settings.")
        << std::endl;
    outcome.exitCode = 1;
    return outcome;
  }
  std::size_t samplesSeen = 0;
  double lastSampleAt = clock.now();
  auto samplesWatch = controller.observe([&] {
    if (controller.motionData().size() != samplesSeen) {
      samplesSeen = controller.motionData().size();
      lastSampleAt = clock.now();
    }
  });
  runLoop(
      [&] { return done; },
      [&] { return controller.isRecording() && clock.now() - lastSampleAt > kIdleSkipSeconds; });
  poll->invalidate();

  if (simulated != nullptr) outcome.jumpsSimulated = simulated->jumpsSimulated();
  // The run's own record only: records recovered at the start have theirs.
  if (const auto& saved = controller.lastSaved()) outcome.recordUrl = fileUrl(saved->file);
  outcome.totalJumps = controller.totalJumps();
  outcome.saveFailure = controller.saveFailure();
  const std::optional<KeptJumps>& kept = controller.keptJumps();
  for (const std::string& title : unlockedTitles(trophies)) {
    if (std::find(unlockedBeforeRun.begin(), unlockedBeforeRun.end(), title) ==
        unlockedBeforeRun.end()) {
      outcome.trophiesUnlocked.push_back(title);
    }
  }

  out << "\nJumps counted: " << outcome.jumpsCounted << '\n';
  if (outcome.jumpsSimulated) out << "Jumps simulated: " << *outcome.jumpsSimulated << '\n';
  for (const std::string& url : outcome.recoveredRecordUrls) {
    out << "Recovered an earlier recording: " << url << '\n';
  }
  if (outcome.saveFailure) {
    outcome.exitCode = kExitRecordNotSaved;
    out << "Record NOT saved: " << *outcome.saveFailure << '\n';
    if (kept) {
      out << keptJumpsText(*kept) << '\n';
      if (!kept->journal.empty()) out << "Kept in: " << kept->journal.string() << '\n';
    }
  } else {
    out << (outcome.recordUrl ? "Record saved: " + *outcome.recordUrl
                              : std::string("No record saved: no jumps were counted."))
        << '\n';
  }
  out << "Total jumps: " << outcome.totalJumps << '\n';
  out << "Trophies unlocked:";
  if (outcome.trophiesUnlocked.empty()) out << " none";
  for (std::size_t i = 0; i < outcome.trophiesUnlocked.size(); ++i) {
    out << (i == 0 ? " " : ", ") << outcome.trophiesUnlocked[i];
  }
  out << std::endl;
  return outcome;
}

}  // namespace

HeadlessOutcome runHeadless(const CommandLine& options, const DataLocations& locations,
                            std::ostream& out) {
  LogindSleepInhibitor logind;
  return runHeadless(options, locations, out, logind);
}

HeadlessOutcome runHeadless(const CommandLine& options, const DataLocations& locations,
                            std::ostream& out, SleepInhibitor& sleep) {
  const QuitSignals quit;
  HeadlessOutcome outcome;
  if (options.fast) {
    VirtualScheduler scheduler(SystemClock().now());
    outcome = record(options, locations, scheduler, scheduler, quit, sleep, out,
                     [&](auto finished, auto idle) {
                       while (!finished()) {
                         if (idle()) {
                           const auto next = scheduler.nextOneShotDue();
                           if (next && *next - scheduler.now() > kIdleSkipSeconds &&
                               scheduler.skipIdleTo(*next)) {
                             continue;
                           }
                         }
                         if (!scheduler.advanceToNext()) break;
                       }
                     });
  } else {
    LoopScheduler scheduler;
    SystemClock clock;
    outcome =
        record(options, locations, scheduler, clock, quit, sleep, out, [&](auto finished, auto) {
          auto check = scheduler.scheduleRepeating(0.02, [&](Timer&) {
            if (finished()) scheduler.quit();
          });
          scheduler.run();
          check->invalidate();
        });
  }
  return outcome;
}

}  // namespace hopster
