#include "app/window_app.h"

#include <QElapsedTimer>
#include <QFileSystemWatcher>
#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQuickWindow>
#include <QSessionManager>
#include <QSocketNotifier>
#include <QTimer>
#include <QUrl>
#include <atomic>
#include <iostream>

#include "app/desktop_application.h"
#include "app/headless_runner.h"
#include "app/motion_setup.h"
#include "app/quit_signals.h"
#include "app/single_instance.h"
#include "motion_sources/phone_motion_service.h"
#include "platform/linux/file_key_value_storage.h"
#include "platform/linux/logind_sleep_inhibitor.h"
#include "platform/linux/random_uuid_source.h"
#include "platform/linux/seeded_random_source.h"
#include "platform/linux/speech_announcer.h"
#include "platform/linux/stdout_log.h"
#include "platform/linux/system_clock.h"
#include "platform/linux/system_haptic_device.h"
#include "platform/linux/worker_thread.h"
#include "platform/linux/xdg_paths.h"
#include "platform/random_source.h"
#include "recording/recording_commit.h"
#include "recording/recording_controller.h"
#include "recording/recording_sleep_guard.h"
#include "records/record_store.h"
#include "reminders/background_reminders.h"
#include "reminders/delivery_trigger.h"
#include "reminders/notification_center.h"
#include "reminders/notification_manager.h"
#include "reminders/reminder_delivery.h"
#include "reminders/reminder_schedule.h"
#include "screens/desktop_appearance.h"
#include "screens/history_model.h"
#include "screens/home_view_model.h"
#include "screens/jump_view_model.h"
#include "screens/onboarding_view_model.h"
#include "screens/qr_image_provider.h"
#include "screens/qt_scheduler.h"
#include "screens/trophy_list_model.h"

namespace hopster {
namespace {

std::atomic<int> qmlWarnings{0};
QtMessageHandler previousHandler = nullptr;

// Whether a message comes from QML: the engine's own categories, or a
// location in a QML file.
bool fromQml(const QMessageLogContext& context) {
  const QLatin1StringView category(context.category != nullptr ? context.category : "");
  const QLatin1StringView file(context.file != nullptr ? context.file : "");
  return category == QLatin1StringView("qml") || category == QLatin1StringView("js") ||
         category.startsWith(QLatin1StringView("qt.qml")) ||
         file.endsWith(QLatin1StringView(".qml"));
}

// Counts QML warnings (a smoke run fails on any) and passes every message on.
void countingHandler(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (type != QtDebugMsg && type != QtInfoMsg &&
      (fromQml(context) || text.contains(QStringLiteral(".qml:")))) {
    ++qmlWarnings;
  }
  if (previousHandler != nullptr) previousHandler(type, context, text);
}

// The first-run pages' model: page 3's motion services come from the same
// source as the recording's, page 4's notification managers use `center`.
std::unique_ptr<OnboardingViewModel> makeOnboardingModel(const MotionSetup& motion,
                                                         Scheduler& scheduler, Log& log,
                                                         KeyValueStore& settings,
                                                         NotificationCenter& center,
                                                         RandomSource& random, UuidSource& uuids) {
  return std::make_unique<OnboardingViewModel>(
      [&motion] { return motion.makeService(); },
      [&settings, &center, &scheduler, &random, &uuids, &log] {
        return std::make_unique<NotificationManager>(settings, center, scheduler, random, uuids,
                                                     log);
      });
}

}  // namespace

int runWindow(const CommandLine& options, int& argc, char** argv) {
  QElapsedTimer sinceStart;
  sinceStart.start();
  previousHandler = qInstallMessageHandler(countingHandler);

  QGuiApplication app(argc, argv);
  QGuiApplication::setApplicationName(QStringLiteral("Hopster"));
  QGuiApplication::setDesktopFileName(QStringLiteral("org.hopster.Hopster"));

  // SIGTERM, SIGHUP and Ctrl-C quit through Qt's own path, like closing the
  // window or the session ending, so a running recording is saved first.
  const QuitSignals quitSignals;
  QSocketNotifier quitNotifier(quitSignals.descriptor(), QSocketNotifier::Read);
  QObject::connect(&quitNotifier, &QSocketNotifier::activated, &app,
                   [] { QGuiApplication::quit(); });

  StdoutLog log;
  // One window per session: a plain launch while one is open brings that one
  // forward and ends here (Qt has taken its own options out of argv).
  SingleInstance single(log);
  if (!options.smokeTest) {
    if (const auto status = single.claimOrForward(argc > 1)) return *status;
  }
  // Asked first, so the desktop's answer is likely in before the first frame.
  const auto appearance = followDesktopAppearance(log);
  QtScheduler scheduler;
  SystemClock clock;
  const auto settingsFile = FileKeyValueStorage::defaultLocation();
  KeyValueStore settings(std::make_unique<FileKeyValueStorage>(settingsFile), log);
  TrophyManager trophies(settings);
  const DataLocations places = DataLocations::forUser();
  std::error_code folderError;
  std::filesystem::create_directories(places.documents, folderError);
  if (folderError) log.line("Failed to create the documents folder: " + folderError.message());
  const RecordStore records(places.documents, log, places.summaryCache);
  RandomUuidSource uuids;
  // What killed runs left behind is saved or removed before anything shows.
  records.removeStaleTemporaryFiles(clock.now());
  recoverAbandonedRecordings(
      RecoveryServices{settings, settingsFile.parent_path(), trophies, records, clock, uuids, log});
  // Other Hopster processes (a headless recording, the reminder delivery)
  // change the settings too: the total and the trophies follow them. The
  // folder is watched, as each save replaces the file with a new one.
  std::error_code ignored;
  std::filesystem::create_directories(settingsFile.parent_path(), ignored);
  QFileSystemWatcher settingsWatcher({QString::fromStdString(settingsFile.parent_path().string())});
  QObject::connect(&settingsWatcher, &QFileSystemWatcher::directoryChanged, &app,
                   [&settings] { settings.reload(); });
  MotionSetup motion = setUpMotion(options, scheduler, clock, log);
  const auto haptics = makeSystemHapticDevice(log);
  DesktopApplication application(log);
  const auto announcer = makeSystemAnnouncer(log);

  // A stopped recording is encoded and written here, off the main thread, so
  // the window keeps drawing meanwhile. Made after the scheduler it reports
  // back through, and before the controller that waits for it.
  WorkerThread worker(scheduler);
  // The system is kept awake while a recording runs, through logind on a
  // worker of its own: a slow answer holds up neither the window nor a save.
  LogindSleepInhibitor logind;
  WorkerThread sleepWorker(scheduler);
  RecordingController controller(
      trophies,
      RecordingServices{motion.makeService(), *motion.audio, *haptics, application, application,
                        settings, records, scheduler, clock, uuids, *announcer, log, &worker});
  const RecordingSleepGuard awake(controller, logind, sleepWorker, log);

  HomeViewModel homeModel(settings);
  JumpViewModel jumpModel(controller);
  TrophyListModel trophyModel(trophies, *haptics, log, scheduler);
  HistoryModel historyModel(records);
  // Reminders: kept in a schedule file, shown through the desktop's
  // notification service when due, checked now and every few minutes on a
  // worker thread; the user timer (or login entry) for when the app is closed
  // follows every change of the schedule.
  BackgroundReminders notifications(
      {ReminderSchedule::defaultLocation(), DeliveryTriggerPlaces::forUser()}, clock, scheduler,
      log);
  notifications.syncTrigger();
  const auto delivery = startReminderDelivery(notifications, scheduler);
  SeededRandomSource random;
  const auto onboardingModel =
      makeOnboardingModel(motion, scheduler, log, settings, notifications, random, uuids);
  // The phone source: the header shows what streams, the dot follows it, and
  // the URL to send to shows until a stream has arrived.
  bool streamSeen = false;
  const auto showMotionSource = [&] {
    const PhoneMotionService* phone = motion.sources->phone();
    const auto kind = phone ? phone->recentStream() : PhoneMotionService::StreamKind::none;
    streamSeen = streamSeen || kind != PhoneMotionService::StreamKind::none;
    QStringList urls;
    for (const auto& url : motion.sources->pushUrls()) urls << QString::fromStdString(url);
    jumpModel.setMotionSource(
        kind == PhoneMotionService::StreamKind::phone ? QStringLiteral("phone")
                                                      : QStringLiteral("headphones"),
        urls, phone != nullptr && !streamSeen && !motion.sources->error(),
        QString::fromStdString(motion.sources->error().value_or(std::string())));
  };
  showMotionSource();
  if (PhoneMotionService* phone = motion.sources->phone()) {
    phone->setStreamChangedHandler([&] {
      showMotionSource();
      controller.checkHeadphonesConnection();
    });
  }

  QQmlApplicationEngine engine;
  engine.addImageProvider(QStringLiteral("qr"), new QrImageProvider);  // the engine owns it
  engine.addImportPath(QStringLiteral("qrc:/"));  // where the Hopster module lives
  engine.setInitialProperties(
      {{QStringLiteral("homeModel"), QVariant::fromValue(&homeModel)},
       {QStringLiteral("jumpModel"), QVariant::fromValue(&jumpModel)},
       {QStringLiteral("trophyModel"), QVariant::fromValue(&trophyModel)},
       {QStringLiteral("historyModel"), QVariant::fromValue(&historyModel)},
       {QStringLiteral("onboardingModel"), QVariant::fromValue(onboardingModel.get())},
       {QStringLiteral("appearance"), QVariant::fromValue(appearance.get())}});
  engine.load(QUrl(QStringLiteral("qrc:/Hopster/Main.qml")));
  if (engine.rootObjects().isEmpty()) {
    std::cerr << "hopster: the main screen failed to load" << std::endl;
    return 1;
  }
  single.attach(qobject_cast<QQuickWindow*>(engine.rootObjects().constFirst()), homeModel);

  if (options.start && homeModel.hasSeenOnboarding()) {
    QTimer::singleShot(0, &app, [&jumpModel] { jumpModel.toggleRecording(); });
  }
  if (options.smokeTest) {
    auto* window = qobject_cast<QQuickWindow*>(engine.rootObjects().constFirst());
    if (window == nullptr) return 1;
    QObject::connect(
        window, &QQuickWindow::frameSwapped, &app,
        [&] {
          std::cout << "First frame after " << sinceStart.elapsed() << " ms" << std::endl;
          // Let pending bindings and timers settle, then judge.
          QTimer::singleShot(200, &app, [] { QGuiApplication::exit(qmlWarnings == 0 ? 0 : 3); });
        },
        Qt::SingleShotConnection);
  }
  // Quitting by any path (the window closed, a signal, the session ending)
  // stops and saves a running recording as the Stop button would, and waits
  // for a save under way to end.
  QObject::connect(&app, &QGuiApplication::aboutToQuit, &app,
                   [&controller] { controller.stopForQuit(); });
  QObject::connect(&app, &QGuiApplication::commitDataRequest, &app,
                   [&controller](QSessionManager&) { controller.stopForQuit(); });
  const int status = QGuiApplication::exec();
  delivery->invalidate();
  return status;
}

}  // namespace hopster
