#include "qml_world.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QSet>
#include <filesystem>
#include <system_error>

#include "platform/audio_session.h"
#include "platform/doubles/memory_key_value_storage.h"
#include "platform/doubles/recording_haptic_device.h"
#include "platform/doubles/virtual_scheduler.h"
#include "platform/linux/fixed_audio_session.h"
#include "platform/linux/memory_log.h"
#include "platform/linux/seeded_random_source.h"
#include "platform/linux/sequential_uuid_source.h"
#include "recording/recording_controller.h"
#include "screens/desktop_appearance.h"
#include "screens/history_model.h"
#include "screens/home_view_model.h"
#include "screens/jump_view_model.h"
#include "screens/onboarding_view_model.h"
#include "screens/trophy_list_model.h"
#include "support/fake_application.h"
#include "support/fake_motion_service.h"
#include "support/fake_notification_center.h"
#include "support/temp_dir.h"

namespace hopster::testing {

namespace {

// Lends the onboarding a fake motion service that the world keeps too, so a
// test can still look at it after the onboarding let it go.
class SharedMotionService final : public HeadphoneMotionService {
 public:
  explicit SharedMotionService(std::shared_ptr<FakeMotionService> fake) : fake_(std::move(fake)) {}
  MotionAuthorizationStatus authorizationStatus() const override {
    return fake_->authorizationStatus();
  }
  bool isDeviceMotionAvailable() const override { return fake_->isDeviceMotionAvailable(); }
  void startDeviceMotionUpdates(MotionHandler h) override { fake_->startDeviceMotionUpdates(h); }
  bool isDeviceMotionActive() const override { return fake_->isDeviceMotionActive(); }
  void stopDeviceMotionUpdates() override { fake_->stopDeviceMotionUpdates(); }

 private:
  std::shared_ptr<FakeMotionService> fake_;
};

}  // namespace

struct TestWorld::Core {
  explicit Core(bool hasSeenOnboarding)
      : settings(std::make_unique<MemoryKeyValueStorage>(
                     hasSeenOnboarding ? R"({"hasSeenOnboarding": true})" : "{}"),
                 log) {}

  VirtualScheduler scheduler{1764942759.0};
  MemoryLog log;
  FixedAudioSession audio = FixedAudioSession::bluetoothHeadset();
  RecordingHapticDevice haptics;
  FakeApplication application;
  FakeStoreReview review{scheduler};
  KeyValueStore settings;
  TrophyManager trophies{settings};
  TempDir documents;
  RecordStore records{documents.path(), log};
  SequentialUuidSource uuids;
  RecordingAnnouncer announcer;
  FakeNotificationCenter notifications;
  SeededRandomSource random{7};
  std::unique_ptr<FakeMotionService> motion = std::make_unique<FakeMotionService>();
  FakeMotionService& headphones = *motion;
  RecordingController controller{
      trophies, RecordingServices{std::move(motion), audio, haptics, application, review, settings,
                                  records, scheduler, scheduler, uuids, announcer, log}};
  HomeViewModel home{settings};
  JumpViewModel jump{controller};
  TrophyListModel trophyList{trophies, haptics, log, scheduler};
  HistoryModel history{records};
  DesktopAppearance appearance{ColorScheme::light, log};
  bool onboardingMotionAvailable = true;
  std::shared_ptr<FakeMotionService> onboardingMotion;  // the newest one
  OnboardingViewModel onboarding{[this] {
                                   onboardingMotion = std::make_shared<FakeMotionService>();
                                   onboardingMotion->available = onboardingMotionAvailable;
                                   return std::make_unique<SharedMotionService>(onboardingMotion);
                                 },
                                 [this] {
                                   return std::make_unique<NotificationManager>(
                                       settings, notifications, scheduler, random, uuids, log);
                                 }};
};

TestWorld::TestWorld(QObject* parent) : QObject(parent), core_(std::make_unique<Core>(true)) {}

TestWorld::~TestWorld() = default;

QObject* TestWorld::homeModel() const { return &core_->home; }
QObject* TestWorld::jumpModel() const { return &core_->jump; }
QObject* TestWorld::trophyModel() const { return &core_->trophyList; }
QObject* TestWorld::historyModel() const { return &core_->history; }
QObject* TestWorld::onboardingModel() const { return &core_->onboarding; }
QObject* TestWorld::appearance() const { return &core_->appearance; }

void TestWorld::setDesktopDark(bool dark) {
  core_->appearance.setScheme(dark ? ColorScheme::dark : ColorScheme::light);
}

void TestWorld::reset(bool hasSeenOnboarding) {
  // The old models stay alive until the world goes: QML may still hold them.
  retired_.push_back(std::exchange(core_, std::make_unique<Core>(hasSeenOnboarding)));
  emit modelsChanged();
}

void TestWorld::advance(double seconds) { core_->scheduler.advanceBy(seconds); }

void TestWorld::loseRecordsFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(core_->documents.path(), ignored);
}

void TestWorld::jump(int jumps) { core_->headphones.jump(jumps); }

void TestWorld::setHeadphones(bool connected) {
  core_->audio.setInputs(connected ? std::optional(std::vector<AudioPort>{
                                         {std::string(kPortBluetoothHFP), "Headphones"}})
                                   : std::nullopt);
}

void TestWorld::setMotionAuthorization(int status) {
  core_->headphones.status = static_cast<MotionAuthorizationStatus>(status);
}

void TestWorld::unlockTrophy(const QString& id) { core_->trophies.unlockTrophy(id.toStdString()); }

void TestWorld::saveRecord(double dateStart, double timeSpent, int jumps) {
  core_->records.saveUserRecordData(
      UserRecordData{core_->uuids.next().str(), dateStart, dateStart + timeSpent, timeSpent, jumps,
                     "", std::nullopt},
      std::to_string(static_cast<long long>(dateStart * 1000)));
}

int TestWorld::hapticTaps() const {
  return static_cast<int>(core_->haptics.playersStarted().size());
}

int TestWorld::hapticEnginesMade() const {
  return static_cast<int>(core_->haptics.enginesMade().size());
}

void TestWorld::setOnboardingMotionAvailable(bool available) {
  core_->onboardingMotionAvailable = available;
}

int TestWorld::onboardingMotionStarts() const {
  return core_->onboardingMotion ? core_->onboardingMotion->starts : 0;
}

bool TestWorld::onboardingMotionActive() const {
  return core_->onboardingMotion && core_->onboardingMotion->isDeviceMotionActive();
}

void TestWorld::deliverOnboardingMotion(bool withSample) {
  if (!onboardingMotionActive()) return;
  // A copy: the handler may stop the updates, and so drop the original.
  MotionHandler handler = core_->onboardingMotion->handler;
  if (withSample) {
    handler(DeviceMotion{}, std::nullopt);
  } else {
    handler(std::nullopt, MotionError{"Motion access was refused"});
  }
}

void TestWorld::setNotificationGrant(bool grant) { core_->notifications.grant = grant; }

void TestWorld::answerNotifications() {
  // An answer may post work that asks again (the prompt after the settings),
  // so release and run until nothing is left.
  do {
    core_->scheduler.runPending();
  } while (core_->notifications.release() > 0);
}

int TestWorld::notificationPrompts() const { return core_->notifications.prompts(); }

int TestWorld::scheduledReminders() const {
  return static_cast<int>(core_->notifications.requests().size());
}

QString TestWorld::screenshotPath(const QString& name) const {
  const QString path =
      QDir(QStringLiteral(HOPSTER_SCREENSHOT_DIR)).filePath(name + QStringLiteral(".png"));
  QFileInfo(path).dir().mkpath(QStringLiteral("."));  // the name may hold folders
  return path;
}

bool TestWorld::isNotBlank(const QString& path) const {
  const QImage image(path);
  QSet<QRgb> colours;
  for (int y = 0; y < image.height(); y += 4) {
    for (int x = 0; x < image.width(); x += 4) {
      colours.insert(image.pixel(x, y));
      if (colours.size() > 4) return true;
    }
  }
  return false;
}

}  // namespace hopster::testing
