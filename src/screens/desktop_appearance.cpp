#include "screens/desktop_appearance.h"

#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>

namespace hopster {
namespace {

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kInterface = QStringLiteral("org.freedesktop.portal.Settings");
const QString kNamespace = QStringLiteral("org.freedesktop.appearance");
const QString kKey = QStringLiteral("color-scheme");
// A portal that has not answered by then is taken to be stuck. The window
// does not wait for it: it shows light and turns dark when the answer comes.
constexpr int kReadTimeoutMs = 10'000;

// Errors that only say the desktop has no portal, or no such setting:
// light, without a word.
bool meansNoPreference(const QDBusError& error) {
  switch (error.type()) {
    case QDBusError::ServiceUnknown:
    case QDBusError::Disconnected:
      return true;
    default:
      return error.name() == QStringLiteral("org.freedesktop.DBus.Error.NameHasNoOwner") ||
             error.name() == QStringLiteral("org.freedesktop.portal.Error.NotFound");
  }
}

}  // namespace

ColorScheme colorSchemeFromSetting(quint32 value) {
  return value == 1 ? ColorScheme::dark : ColorScheme::light;
}

std::optional<ColorScheme> colorSchemeFromMessage(const QVariant& value) {
  QVariant inner = value;
  // A variant holds at most a few variants; a cap keeps a hostile message short.
  for (int depth = 0; depth < 8 && inner.metaType() == QMetaType::fromType<QDBusVariant>();
       ++depth) {
    inner = inner.value<QDBusVariant>().variant();
  }
  if (inner.metaType() != QMetaType::fromType<quint32>()) return std::nullopt;
  return colorSchemeFromSetting(inner.value<quint32>());
}

std::optional<ColorScheme> colorSchemeFromOverride(const QString& text) {
  if (text.compare(QStringLiteral("dark"), Qt::CaseInsensitive) == 0) return ColorScheme::dark;
  if (text.compare(QStringLiteral("light"), Qt::CaseInsensitive) == 0) return ColorScheme::light;
  return std::nullopt;
}

DesktopAppearance::DesktopAppearance(ColorScheme scheme, Log& log, QObject* parent)
    : QObject(parent), log_(log), scheme_(scheme) {}

DesktopAppearance::DesktopAppearance(QDBusConnection bus, Log& log, QObject* parent)
    : QObject(parent), log_(log) {
  if (!bus.isConnected()) return;  // no session bus: light
  // Listening first, so a change between the question and its answer counts.
  bus.connect(kService, kPath, kInterface, QStringLiteral("SettingChanged"), this,
              SLOT(settingChanged(QDBusMessage)));
  // Read, which every portal version has; its answer is the value in two variants.
  auto question =
      QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Read"));
  question << kNamespace << kKey;
  auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(question, kReadTimeoutMs), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* call) {
    call->deleteLater();
    if (changeSeen_) return;  // a newer value came meanwhile
    if (call->isError()) {
      if (!meansNoPreference(call->error())) {
        complainOnce(QStringLiteral("could not be read: ") + call->error().message());
      }
      return;
    }
    take(call->reply().arguments().value(0));
  });
}

void DesktopAppearance::setScheme(ColorScheme scheme) {
  if (scheme == scheme_) return;
  scheme_ = scheme;
  emit darkChanged();
}

void DesktopAppearance::settingChanged(const QDBusMessage& message) {
  const QVariantList arguments = message.arguments();
  if (arguments.size() != 3 || arguments[0].toString() != kNamespace ||
      arguments[1].toString() != kKey) {
    return;
  }
  changeSeen_ = true;
  take(arguments[2]);
}

void DesktopAppearance::take(const QVariant& value) {
  const auto scheme = colorSchemeFromMessage(value);
  if (!scheme) complainOnce(QStringLiteral("came in an unexpected form"));
  setScheme(scheme.value_or(ColorScheme::light));
}

void DesktopAppearance::complainOnce(const QString& why) {
  if (complained_) return;
  complained_ = true;
  log_.line(("The desktop's colour scheme " + why + "; the light style is used.").toStdString());
}

std::unique_ptr<DesktopAppearance> followDesktopAppearance(Log& log) {
  if (const auto forced = colorSchemeFromOverride(qEnvironmentVariable("HOPSTER_COLOR_SCHEME"))) {
    return std::make_unique<DesktopAppearance>(*forced, log);
  }
  return std::make_unique<DesktopAppearance>(QDBusConnection::sessionBus(), log);
}

}  // namespace hopster
