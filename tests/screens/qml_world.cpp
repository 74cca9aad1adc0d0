#include "qml_world.h"

#include <QDir>
#include <QImage>
#include <QSet>

namespace hopster::testing {

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
};

TestWorld::TestWorld(QObject* parent) : QObject(parent), core_(std::make_unique<Core>(true)) {}

TestWorld::~TestWorld() = default;

QObject* TestWorld::homeModel() const { return core_->home.get(); }
QObject* TestWorld::jumpModel() const { return core_->jump.get(); }
QObject* TestWorld::trophyModel() const { return core_->trophyList.get(); }
QObject* TestWorld::historyModel() const { return core_->history.get(); }

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
