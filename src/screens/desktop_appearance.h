#pragma once

#include <QtQml/qqmlregistration.h>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QObject>
#include <QString>
#include <QVariant>
#include <memory>
#include <optional>

#include "platform/log.h"

namespace hopster {

// The style the screens draw in.
enum class ColorScheme { light, dark };

// The desktop's "color-scheme" setting (namespace org.freedesktop.appearance)
// as a style: 1 asks for dark; 0 (no preference), 2 (prefers light) and any
// other value give light.
[[nodiscard]] ColorScheme colorSchemeFromSetting(quint32 value);

// The setting in a portal message, however many variants wrap it: a Read
// reply wraps it twice, ReadOne and SettingChanged once. Nothing when what is
// inside the variants is not an unsigned 32-bit number.
[[nodiscard]] std::optional<ColorScheme> colorSchemeFromMessage(const QVariant& value);

// HOPSTER_COLOR_SCHEME's value: "dark" or "light"; nothing for anything else.
[[nodiscard]] std::optional<ColorScheme> colorSchemeFromOverride(const QString& text);

// Whether the screens draw dark, for QML. It is either fixed, or follows the
// desktop's preference through the XDG settings portal
// (org.freedesktop.portal.Settings): read once without waiting for the
// answer, then followed through SettingChanged. With no portal, or an answer
// it cannot use, the style is light; an error other than a missing bus or
// portal, or an answer in an unexpected form, gives one log line.
class DesktopAppearance : public QObject {
  Q_OBJECT
  QML_ELEMENT
  QML_UNCREATABLE("made by the application")
  Q_PROPERTY(bool dark READ dark NOTIFY darkChanged)

 public:
  DesktopAppearance(ColorScheme scheme, Log& log, QObject* parent = nullptr);
  DesktopAppearance(QDBusConnection bus, Log& log, QObject* parent = nullptr);

  [[nodiscard]] bool dark() const { return scheme_ == ColorScheme::dark; }
  void setScheme(ColorScheme scheme);

 signals:
  void darkChanged();

 private slots:
  // The portal's SettingChanged(s namespace, s key, v value), whole: an
  // answer of another form is refused here rather than by QtDBus.
  void settingChanged(const QDBusMessage& message);

 private:
  void take(const QVariant& value);
  void complainOnce(const QString& why);

  Log& log_;
  ColorScheme scheme_ = ColorScheme::light;
  bool changeSeen_ = false;
  bool complained_ = false;
};

// What the window follows: HOPSTER_COLOR_SCHEME when it says dark or light,
// else the desktop's preference on the session bus.
[[nodiscard]] std::unique_ptr<DesktopAppearance> followDesktopAppearance(Log& log);

}  // namespace hopster
