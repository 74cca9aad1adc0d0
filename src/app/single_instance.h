#pragma once

#include <QDBusAbstractAdaptor>
#include <QObject>
#include <QStringList>
#include <QVariantList>
#include <QVariantMap>
#include <optional>

#include "app/window_activation.h"

class QQuickWindow;

namespace hopster {

class HomeViewModel;

// org.freedesktop.Application on the session bus: how the desktop (a second
// launch, a notification's click, a launcher) activates the open window.
// Opening a record file brings the window forward as Activate does.
class ApplicationAdaptor : public QDBusAbstractAdaptor {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")

 public:
  ApplicationAdaptor(QObject* host, WindowActivation& activation);

 public slots:  // NOLINT: the method names are the interface's own
  void Activate(const QVariantMap& platformData);
  void Open(const QStringList& uris, const QVariantMap& platformData);
  void ActivateAction(const QString& actionName, const QVariantList& parameter,
                      const QVariantMap& platformData);

 private:
  WindowActivation& activation_;
};

// Keeps one Hopster window per session: the window owns the bus name
// org.hopster.Hopster and serves org.freedesktop.Application at
// /org/hopster/Hopster; a later plain launch finds the name taken, asks the
// owner to come forward and ends.
class SingleInstance {
 public:
  static constexpr const char* kBusName = "org.hopster.Hopster";
  static constexpr const char* kObjectPath = "/org/hopster/Hopster";

  explicit SingleInstance(Log& log);
  ~SingleInstance();
  SingleInstance(const SingleInstance&) = delete;
  SingleInstance& operator=(const SingleInstance&) = delete;

  // Takes the name for this window, or, when another Hopster holds it, asks
  // that one to activate: then the exit status this launch ends with (0 once
  // it answered, 1 when it did not). `optionsGiven`: this launch had options
  // of its own, which a forwarded launch ignores and says so. Without a
  // session bus the window opens regardless, after one log line.
  [[nodiscard]] std::optional<int> claimOrForward(bool optionsGiven);

  // Requests go to `window` and the home view's Jump tab from now on.
  void attach(QQuickWindow* window, HomeViewModel& home);

 private:
  Log& log_;
  WindowActivation activation_;
  QObject host_;
  bool registered_ = false;
};

}  // namespace hopster
