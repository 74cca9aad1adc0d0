#include "qml_world.h"

#include <QDir>
#include <QImage>
#include <QSet>

namespace hopster::testing {

namespace {

// Hands the onboarding a fake motion service that the world keeps too, so a
// test can still look at it after the onboarding let it go.
class SharedMotionService final : public HeadphoneMotionService {
 public:
  explicit SharedMotionService(std::shared_ptr<FakeMotionService> fake) : fake_(std::move(fake)) {}
  [[nodiscard]] MotionAuthorizationStatus authorizationStatus() const override {
    return fake_->authorizationStatus();
  }
  [[nodiscard]] bool isDeviceMotionAvailable() const override {
    return fake_->isDeviceMotionAvailable();
  }
  void startDeviceMotionUpdates(MotionHandler handler) override {
    fake_->startDeviceMotionUpdates(std::move(handler));
  }
  [[nodiscard]] bool isDeviceMotionActive() const override { return fake_->isDeviceMotionActive(); }
  void stopDeviceMotionUpdates() override { fake_->stopDeviceMotionUpdates(); }

 private:
  std::shared_ptr<FakeMotionService> fake_;
};

}  // namespace

struct TestWorld::Core {
  explicit Core(bool hasSeenOnboarding)
      : settings(std::make_unique<MemoryKeyValueStorage>(
                     hasSeenOnboarding ? R"({"hasSeenOnboarding": true})" : "{}"),
                 log) {
    auto motion = std::make_unique<FakeMotionService>();
    headphones = motion.get();
    controller = std::make_unique<RecordingController>(
        trophies,
        RecordingServices{std::move(motion), audio, haptics, application, review, settings, records,
                          scheduler, scheduler, uuids, announcer, log});
    home = std::make_unique<HomeViewModel>(settings);
    jump = std::make_unique<JumpViewModel>(*controller);
    trophyList = std::make_unique<TrophyListModel>(trophies, haptics, log, scheduler);
    history = std::make_unique<HistoryModel>(records);
    onboarding = std::make_unique<OnboardingViewModel>(
        [this] {
          onboardingMotion = std::make_shared<FakeMotionService>();
          onboardingMotion->available = onboardingMotionAvailable;
          ++onboardingMotionServices;
          return std::make_unique<SharedMotionService>(onboardingMotion);
        },
        [this] {
          return std::make_unique<NotificationManager>(settings, notifications, scheduler, random,
                                                       uuids, log);
        });
  }

  VirtualScheduler scheduler{1764942759.0};
  MemoryLog log;
  FixedAudioSession audio = FixedAudioSession::bluetoothHeadset();
  RecordingHapticDevice haptics;
  FakeApplication application;
  FakeStoreReview review{scheduler};
  KeyValueStore settings;
  TrophyManager trophies{settings};
  TempDir documents;
  FileManagerSingleton records{documents.path(), log};
  SequentialUuidSource uuids;
  RecordingAnnouncer announcer;
  FakeMotionService* headphones = nullptr;
  std::unique_ptr<RecordingController> controller;
  std::unique_ptr<HomeViewModel> home;
  std::unique_ptr<JumpViewModel> jump;
  std::unique_ptr<TrophyListModel> trophyList;
  std::unique_ptr<HistoryModel> history;
  FakeNotificationCenter notifications;
  SeededRandomSource random{7};
  bool onboardingMotionAvailable = true;
  int onboardingMotionServices = 0;
  // The newest service the onboarding was given.
  std::shared_ptr<FakeMotionService> onboardingMotion;
  std::unique_ptr<OnboardingViewModel> onboarding;
};

TestWorld::TestWorld(QObject* parent) : QObject(parent), core_(std::make_unique<Core>(true)) {}

TestWorld::~TestWorld() = default;

QObject* TestWorld::homeModel() const { return core_->home.get(); }
QObject* TestWorld::jumpModel() const { return core_->jump.get(); }
QObject* TestWorld::trophyModel() const { return core_->trophyList.get(); }
QObject* TestWorld::historyModel() const { return core_->history.get(); }
QObject* TestWorld::onboardingModel() const { return core_->onboarding.get(); }

void TestWorld::reset(bool hasSeenOnboarding) {
  // The old models stay alive until the world goes: QML may still hold them.
  retired_.push_back(std::exchange(core_, std::make_unique<Core>(hasSeenOnboarding)));
  emit modelsChanged();
}

void TestWorld::advance(double seconds) { core_->scheduler.advanceBy(seconds); }

void TestWorld::jump(int jumps) { core_->headphones->jump(jumps); }

void TestWorld::setHeadphones(bool connected) {
  core_->audio.setInputs(connected ? std::optional(std::vector<AudioPort>{
                                         {std::string(kPortBluetoothHFP), "Headphones"}})
                                   : std::nullopt);
}

void TestWorld::setMotionAuthorization(int status) {
  core_->headphones->status = static_cast<MotionAuthorizationStatus>(status);
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

QStringList TestWorld::announcements() const {
  QStringList list;
  for (const auto& text : core_->announcer.announcements()) list << QString::fromStdString(text);
  return list;
}

QStringList TestWorld::logLines() const {
  QStringList list;
  for (const auto& line : core_->log.lines()) list << QString::fromStdString(line);
  return list;
}

void TestWorld::setOnboardingMotionAvailable(bool available) {
  core_->onboardingMotionAvailable = available;
}

int TestWorld::onboardingMotionServices() const { return core_->onboardingMotionServices; }

int TestWorld::onboardingMotionStarts() const {
  return core_->onboardingMotion != nullptr ? core_->onboardingMotion->starts : 0;
}

bool TestWorld::onboardingMotionActive() const {
  return core_->onboardingMotion != nullptr && core_->onboardingMotion->isDeviceMotionActive();
}

bool TestWorld::deliverOnboardingMotion(bool withSample) {
  FakeMotionService* service = core_->onboardingMotion.get();
  if (service == nullptr || !service->handler) return false;
  if (withSample) return service->deliver(0.0);
  const MotionHandler handler = service->handler;
  handler(std::nullopt, MotionError{"Motion access was refused"});
  return true;
}

void TestWorld::setNotificationAuthorization(int status) {
  core_->notifications.status = static_cast<NotificationAuthorizationStatus>(status);
}

void TestWorld::setNotificationGrant(bool grant) { core_->notifications.grant = grant; }

void TestWorld::answerNotifications() {
  // An answer may post work that asks again (the prompt after the settings),
  // so release and run until nothing is left.
  do {
    core_->scheduler.runPending();
  } while (core_->notifications.release() > 0);
  core_->scheduler.runPending();
}

int TestWorld::notificationStatusQueries() const { return core_->notifications.statusQueries(); }

int TestWorld::notificationPrompts() const { return core_->notifications.prompts(); }

int TestWorld::scheduledReminders() const {
  return static_cast<int>(core_->notifications.requests().size());
}

QString TestWorld::screenshotPath(const QString& name) const {
  QDir dir(QStringLiteral(HOPSTER_SCREENSHOT_DIR));
  dir.mkpath(QStringLiteral("."));
  return dir.filePath(name + QStringLiteral(".png"));
}

bool TestWorld::isNotBlank(const QString& path) const {
  const QImage image(path);
  if (image.isNull()) return false;
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
