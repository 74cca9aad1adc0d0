// Runs the QML tests under tests/screens/qml against the real screens, with
// the core behind them on test doubles in virtual time (`world` in QML).
#include <QtQml/qqmlextensionplugin.h>
#include <QtQuickTest/quicktest.h>
#include <QAnimationDriver>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QQmlContext>
#include <QQmlEngine>
#include <QTimer>

#include "qml_world.h"

Q_IMPORT_QML_PLUGIN(HopsterPlugin)

// Runs every QML animation and Timer faster than the wall clock, so a test
// that waits for a transition or a fade waits a fraction of its real time.
// What a test checks after an animation does not depend on how long it took.
// It is also the animations' clock for tests that let a screen's transitions
// play out: `animations.elapsed()` in QML is the time animations and Timers
// have seen, in milliseconds, which runs faster than the wall clock.
class FastAnimationDriver final : public QAnimationDriver {
  Q_OBJECT

 public:
  explicit FastAnimationDriver(double speed) : speed_(speed) {
    clock_.start();
    ticker_.setInterval(16);
    QObject::connect(&ticker_, &QTimer::timeout, this, [this] { advance(); });
  }
  Q_INVOKABLE [[nodiscard]] qint64 elapsed() const override {
    return static_cast<qint64>(static_cast<double>(clock_.elapsed()) * speed_);
  }

 protected:
  void start() override {
    QAnimationDriver::start();
    ticker_.start();
  }
  void stop() override {
    ticker_.stop();
    QAnimationDriver::stop();
  }

 private:
  double speed_;
  QElapsedTimer clock_;
  QTimer ticker_;
};

class Setup : public QObject {
  Q_OBJECT

 public slots:
  void qmlEngineAvailable(QQmlEngine* engine) {
    // The Hopster module's qmldir and QML files live in the resources.
    engine->addImportPath(QStringLiteral("qrc:/"));
    engine->rootContext()->setContextProperty(QStringLiteral("world"), &world_);
    engine->rootContext()->setContextProperty(QStringLiteral("animations"), &animations_);
  }

 public:
  explicit Setup(FastAnimationDriver& animations) : animations_(animations) {}

 private:
  hopster::testing::TestWorld world_;
  FastAnimationDriver& animations_;
};

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  FastAnimationDriver fast(qEnvironmentVariableIntValue("HOPSTER_QML_TEST_SPEED") > 0
                               ? qEnvironmentVariableIntValue("HOPSTER_QML_TEST_SPEED")
                               : 1);
  fast.install();
  Setup setup(fast);
  return quick_test_main_with_setup(argc, argv, "hopster_qml", HOPSTER_QML_TEST_DIR, &setup);
}

#include "qml_test_main.moc"
