#include "app/single_instance.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusMessage>
#include <QQuickWindow>
#include <iostream>

#include "screens/home_view_model.h"

namespace hopster {
namespace {

constexpr const char* kInterface = "org.freedesktop.Application";
// How long a second launch waits for the open window to answer: longer
// than a busy main thread takes to get to it, short enough that a hung
// Hopster is reported rather than waited on.
constexpr int kForwardTimeoutMs = 5000;

}  // namespace

ApplicationAdaptor::ApplicationAdaptor(QObject* host, WindowActivation& activation)
    : QDBusAbstractAdaptor(host), activation_(activation) {}

void ApplicationAdaptor::Activate(const QVariantMap& /*platformData*/) { activation_.activate(); }

void ApplicationAdaptor::Open(const QStringList& /*uris*/, const QVariantMap& /*platformData*/) {
  activation_.activate();
}

void ApplicationAdaptor::ActivateAction(const QString& actionName,
                                        const QVariantList& /*parameter*/,
                                        const QVariantMap& /*platformData*/) {
  activation_.activateAction(actionName.toStdString());
}

SingleInstance::SingleInstance(Log& log) : log_(log), activation_(log) {
  new ApplicationAdaptor(&host_, activation_);  // host_ owns it
}

SingleInstance::~SingleInstance() {
  if (!registered_) return;
  QDBusConnection bus = QDBusConnection::sessionBus();
  bus.unregisterService(QString::fromLatin1(kBusName));
  bus.unregisterObject(QString::fromLatin1(kObjectPath));
}

std::optional<int> SingleInstance::claimOrForward(bool optionsGiven) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) {
    log_.line("No session bus (" + bus.lastError().message().toStdString() +
              "): this window cannot be activated from outside");
    return std::nullopt;
  }
  const QString name = QString::fromLatin1(kBusName);
  const QString path = QString::fromLatin1(kObjectPath);
  // The object first, so that whoever sees the name owned finds it served.
  // The name is asked for without queueing: the bus gives it to exactly one
  // of two launches at once, and the other learns so from the answer.
  if (!bus.registerObject(path, &host_, QDBusConnection::ExportAdaptors)) {
    log_.line("Could not serve " + path.toStdString() + " on the session bus");
    return std::nullopt;
  }
  if (bus.registerService(name)) {
    registered_ = true;
    return std::nullopt;
  }
  if (!bus.interface()->isServiceRegistered(name)) {
    // Refused for another reason (the bus's policy), or its owner has just
    // quit: this window opens, as without a bus.
    log_.line("Could not take the name " + name.toStdString() +
              " on the session bus: " + bus.lastError().message().toStdString());
    return std::nullopt;
  }
  bus.unregisterObject(path);
  QDBusMessage call = QDBusMessage::createMethodCall(name, path, QString::fromLatin1(kInterface),
                                                     QStringLiteral("Activate"));
  // Should the owner quit meanwhile, the bus must not start another Hopster
  // through the service file for this call: that one would forward too.
  call.setAutoStartService(false);
  call << QVariantMap();
  const QDBusMessage reply = bus.call(call, QDBus::Block, kForwardTimeoutMs);
  if (reply.type() == QDBusMessage::ErrorMessage) {
    std::cerr << "hopster: Hopster is already open but did not answer ("
              << reply.errorMessage().toStdString() << "); not opening a second window\n";
    return 1;
  }
  std::cout << "Hopster is already open: its window was brought to the front"
            << (optionsGiven ? " (the options given here were ignored)" : "") << std::endl;
  return 0;
}

void SingleInstance::attach(QQuickWindow* window, HomeViewModel& home) {
  activation_.attach({[window] {
                        if (window == nullptr) return;
                        window->setWindowStates(window->windowStates() & ~Qt::WindowMinimized);
                        window->show();
                        window->raise();
                        window->requestActivate();
                      },
                      [&home] { home.showJumpTab(); }});
}

}  // namespace hopster
