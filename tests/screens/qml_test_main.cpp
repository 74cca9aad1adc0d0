// Runs the QML tests under tests/screens/qml against the real screens, with
// the core behind them on test doubles in virtual time (`world` in QML).
#include <QtQml/qqmlextensionplugin.h>
#include <QtQuickTest/quicktest.h>
#include <QGuiApplication>
#include <QQmlContext>
#include <QQmlEngine>

#include "qml_world.h"

Q_IMPORT_QML_PLUGIN(HopsterPlugin)

class Setup : public QObject {
  Q_OBJECT

 public slots:
  void qmlEngineAvailable(QQmlEngine* engine) {
    // The Hopster module's qmldir and QML files live in the resources.
    engine->addImportPath(QStringLiteral("qrc:/"));
    engine->rootContext()->setContextProperty(QStringLiteral("world"), &world_);
  }

 private:
  hopster::testing::TestWorld world_;
};

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  Setup setup;
  return quick_test_main_with_setup(argc, argv, "hopster_qml", HOPSTER_QML_TEST_DIR, &setup);
}

#include "qml_test_main.moc"
