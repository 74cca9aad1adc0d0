#include "bench/stop_save_measure.h"

#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "platform/linux/file_key_value_storage.h"
#include "platform/linux/fixed_audio_session.h"
#include "platform/linux/headless_application.h"
#include "platform/linux/no_haptics_device.h"
#include "platform/linux/random_uuid_source.h"
#include "platform/linux/system_clock.h"
#include "platform/linux/worker_thread.h"
#include "recording/recording_controller.h"
#include "records/record_store.h"
#include "screens/qt_scheduler.h"
#include "trophies/trophy_catalogue.h"

namespace hopster {
namespace {

// Discards the lines; the save logs from the worker, so it takes a lock.
class QuietLog final : public Log {
 public:
  void line(std::string_view) override { std::lock_guard lock(mutex_); }

 private:
  std::mutex mutex_;
};

// Headphones whose samples the measurement hands over itself, on the main thread.
class DirectMotionService final : public HeadphoneMotionService {
 public:
  [[nodiscard]] MotionAuthorizationStatus authorizationStatus() const override {
    return MotionAuthorizationStatus::authorized;
  }
  [[nodiscard]] bool isDeviceMotionAvailable() const override { return true; }
  void startDeviceMotionUpdates(MotionHandler handler) override { handler_ = std::move(handler); }
  [[nodiscard]] bool isDeviceMotionActive() const override { return handler_ != nullptr; }
  void stopDeviceMotionUpdates() override { handler_ = nullptr; }

  void deliver(const DeviceMotion& sample) {
    if (handler_) handler_(sample, std::nullopt);
  }

 private:
  MotionHandler handler_;
};

// Sensor readings with full double noise, a jump every half second.
DeviceMotion sampleAt(std::size_t index, std::mt19937_64& random) {
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  DeviceMotion sample;
  sample.userAcceleration = {0.3 * unit(random), 0.3 * unit(random), 0.3 * unit(random)};
  if (index % 50 == 10) sample.userAcceleration.z = 1.5;
  if (index % 50 == 30) sample.userAcceleration.z = -1.0;
  sample.rotationRate = {unit(random), unit(random), unit(random)};
  sample.attitude.pitch = 1.5 * unit(random);
  sample.attitude.roll = 3.1 * unit(random);
  sample.attitude.yaw = 3.1 * unit(random);
  sample.gravity = {unit(random), unit(random), unit(random)};
  return sample;
}

// Runs the main loop until `done()` holds, checking every millisecond.
template <typename Done>
void runUntil(Done done) {
  while (!done()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 1);
}

void runFor(int milliseconds) {
  QElapsedTimer clock;
  clock.start();
  runUntil([&] { return clock.elapsed() >= milliseconds; });
}

double plainWriteMilliseconds(const std::filesystem::path& file, std::size_t bytes) {
  const std::string data(bytes, 'x');
  QElapsedTimer clock;
  clock.start();
  const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return -1.0;
  std::size_t written = 0;
  while (written < data.size()) {
    const ssize_t count = ::write(fd, data.data() + written, data.size() - written);
    if (count <= 0) break;
    written += static_cast<std::size_t>(count);
  }
  ::fdatasync(fd);
  ::close(fd);
  const double elapsed = static_cast<double>(clock.nsecsElapsed()) / 1e6;
  ::unlink(file.c_str());
  return elapsed;
}

}  // namespace

StopSaveMeasurement measureStopSave(const std::filesystem::path& scratch, std::size_t samples,
                                    bool trophiesUnlockedBefore) {
  StopSaveMeasurement result;
  result.samples = samples;
  const auto documents = scratch / "Documents";
  std::filesystem::create_directories(documents);

  QuietLog log;
  QtScheduler scheduler;
  SystemClock clock;
  KeyValueStore settings(std::make_unique<FileKeyValueStorage>(scratch / "settings.json"), log);
  TrophyManager trophies(settings);
  if (trophiesUnlockedBefore) {
    for (const Trophy& trophy : trophyCatalogue()) trophies.unlockTrophy(trophy.id);
  }
  const RecordStore records(documents, log);
  RandomUuidSource uuids;
  FixedAudioSession audio = FixedAudioSession::bluetoothHeadset();
  NoHapticsDevice haptics;
  HeadlessApplication application;
  SilentAnnouncer announcer;
  WorkerThread worker(scheduler);
  auto motion = std::make_unique<DirectMotionService>();
  DirectMotionService& headphones = *motion;
  RecordingController controller(
      trophies,
      RecordingServices{std::move(motion), audio, haptics, application, application, settings,
                        records, scheduler, clock, uuids, announcer, log, &worker});

  controller.jumpScreenAppeared();
  controller.toggleRecording();
  runUntil([&] { return controller.isRecording(); });  // the countdown, in real time

  std::mt19937_64 random(7);
  for (std::size_t i = 0; i < samples; ++i) {
    headphones.deliver(sampleAt(i, random));
    if (i % 2000 == 1999) QCoreApplication::processEvents();
  }
  // A real recording reaches Stop with at most two seconds of samples not yet
  // in its journal; let the journal's flush catch up likewise.
  runFor(2500);
  worker.waitForIdle();
  runFor(50);

  // A 1 ms timer whose lateness shows how long the main thread was held.
  QElapsedTimer sinceStop;
  qint64 lastTick = 0, longestGap = 0;
  QTimer ticker;
  ticker.setTimerType(Qt::PreciseTimer);
  ticker.setInterval(1);
  QObject::connect(&ticker, &QTimer::timeout, [&] {
    const qint64 now = sinceStop.nsecsElapsed();
    longestGap = std::max(longestGap, now - lastTick);
    lastTick = now;
  });
  bool savedSeen = false;
  double savedAt = 0.0;
  auto watch = controller.observe([&] {
    if (!savedSeen && !controller.isSaving() && !controller.isRecording()) {
      savedSeen = true;
      savedAt = static_cast<double>(sinceStop.nsecsElapsed()) / 1e6;
    }
  });
  sinceStop.start();
  ticker.start();
  runFor(2000);
  result.longestIdleBlockMs = std::max(0.0, static_cast<double>(longestGap) / 1e6 - 1.0);
  sinceStop.start();
  lastTick = 0;
  longestGap = 0;
  controller.toggleRecording();  // Stop
  {
    // The return from the tap itself counts as held time.
    const qint64 now = sinceStop.nsecsElapsed();
    longestGap = std::max(longestGap, now);
    lastTick = now;
  }
  runUntil([&] { return savedSeen; });
  const qint64 end = sinceStop.nsecsElapsed();
  longestGap = std::max(longestGap, end - lastTick);
  ticker.stop();

  result.saved = !controller.saveFailure().has_value() && controller.lastSaved().has_value();
  result.stopToSavedMs = savedAt;
  result.longestMainThreadBlockMs = std::max(0.0, static_cast<double>(longestGap) / 1e6 - 1.0);
  for (const auto& entry : std::filesystem::directory_iterator(documents)) {
    if (entry.path().extension() == ".json") result.recordBytes = entry.file_size();
  }
  result.plainWriteMs = plainWriteMilliseconds(scratch / "plain-write.bin", result.recordBytes);
  return result;
}

}  // namespace hopster
