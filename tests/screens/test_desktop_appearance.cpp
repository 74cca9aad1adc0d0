#include "screens/desktop_appearance.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QSignalSpy>
#include <cstdlib>
#include <optional>
#include <string>

#include "platform/linux/memory_log.h"
#include "reminders/private_session_bus.h"

namespace hopster::appearance_tests {
namespace {

// The reader's answers and signals arrive through the event loop.
QCoreApplication& application() {
  static int argc = 1;
  static char name[] = "test_desktop_appearance";
  static char* argv[] = {name, nullptr};
  static QCoreApplication app(argc, argv);
  return app;
}

QVariant wrapped(const QVariant& value, int variants) {
  QVariant result = value;
  for (int i = 0; i < variants; ++i) result = QVariant::fromValue(QDBusVariant(result));
  return result;
}

struct MessageCase {
  const char* name;
  QVariant value;
  std::optional<ColorScheme> expected;
};

// Catches: any number but 1 taken as dark (2 is "prefers light"); a Read
// reply's second variant left unopened, so a dark desktop reads as light;
// an int32, a string or a bottomless nest of variants taken as a preference.
TEST(ColorSchemeMessage, MapsTheSettingAndRefusesOtherForms) {
  const auto dark = ColorScheme::dark;
  const auto light = ColorScheme::light;
  const MessageCase cases[] = {
      {"0, no preference", QVariant::fromValue(quint32{0}), light},
      {"1, prefers dark", QVariant::fromValue(quint32{1}), dark},
      {"2, prefers light", QVariant::fromValue(quint32{2}), light},
      {"an unknown value", QVariant::fromValue(quint32{7}), light},
      {"SettingChanged's one variant", wrapped(QVariant::fromValue(quint32{1}), 1), dark},
      {"Read's two variants", wrapped(QVariant::fromValue(quint32{1}), 2), dark},
      {"Read's two variants, light", wrapped(QVariant::fromValue(quint32{2}), 2), light},
      {"an int32", wrapped(QVariant::fromValue(qint32{1}), 2), std::nullopt},
      {"a string", wrapped(QVariant(QStringLiteral("dark")), 1), std::nullopt},
      {"an empty reply", QVariant(), std::nullopt},
      {"an empty variant", wrapped(QVariant(), 1), std::nullopt},
      {"variants without end", wrapped(QVariant::fromValue(quint32{1}), 20), std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(colorSchemeFromMessage(c.value), c.expected) << c.name;
}

// Catches an override that takes any text (a typo) as dark, or minds case.
TEST(ColorSchemeOverride, TakesDarkAndLightOnly) {
  EXPECT_EQ(colorSchemeFromOverride(QStringLiteral("Dark")), ColorScheme::dark);
  EXPECT_EQ(colorSchemeFromOverride(QStringLiteral("LIGHT")), ColorScheme::light);
  for (const char* other : {"", "auto", "darker"})
    EXPECT_EQ(colorSchemeFromOverride(QString::fromUtf8(other)), std::nullopt) << other;
}

void announce(DesktopAppearance& appearance, const char* nameSpace, const char* key,
              const QVariant& value) {
  auto message = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/portal/desktop"),
                                            QStringLiteral("org.freedesktop.portal.Settings"),
                                            QStringLiteral("SettingChanged"));
  message << QString::fromUtf8(nameSpace) << QString::fromUtf8(key)
          << QVariant::fromValue(QDBusVariant(value));
  ASSERT_TRUE(
      QMetaObject::invokeMethod(&appearance, "settingChanged", Q_ARG(QDBusMessage, message)));
}

// Catches: a change of another setting taken as the colour scheme; a
// malformed change kept dark, or logged at every change rather than once.
TEST(DesktopAppearanceChanges, FollowOnlyTheColourSchemeAndComplainOnce) {
  MemoryLog log;
  DesktopAppearance appearance(ColorScheme::dark, log);
  announce(appearance, "org.freedesktop.appearance", "contrast", QVariant::fromValue(quint32{0}));
  announce(appearance, "org.gnome.desktop.interface", "color-scheme", QVariant::fromValue(0u));
  EXPECT_TRUE(appearance.dark());
  announce(appearance, "org.freedesktop.appearance", "color-scheme", QStringLiteral("dark"));
  EXPECT_FALSE(appearance.dark());
  announce(appearance, "org.freedesktop.appearance", "color-scheme", QVariant::fromValue(1u));
  EXPECT_TRUE(appearance.dark());
  announce(appearance, "org.freedesktop.appearance", "color-scheme", QVariant(3.5));
  EXPECT_FALSE(appearance.dark());
  ASSERT_EQ(log.lines().size(), 1u);
  EXPECT_EQ(log.lines()[0],
            "The desktop's colour scheme came in an unexpected form; the light style is used.");
}

// Catches a reader that logs, or is not light, on a machine with no session bus.
TEST(DesktopAppearanceChanges, WithoutABusIsLightAndQuiet) {
  application();
  MemoryLog log;
  const DesktopAppearance appearance(QDBusConnection(QStringLiteral("no such bus")), log);
  EXPECT_FALSE(appearance.dark());
  EXPECT_TRUE(log.lines().empty());
}

constexpr const char* kPortal = "org.freedesktop.portal.Desktop";
constexpr const char* kPortalPath = "/org/freedesktop/portal/desktop";
constexpr const char* kSettings = "org.freedesktop.portal.Settings";

// A stand-in portal on a private session bus that says "prefers dark".
// Catches: the start not read (or read and not waited for); SettingChanged
// not subscribed; another key's change taken as this one.
TEST(DesktopAppearancePortal, DarkAtStartThenFollowsAChangeToLight) {
  hopster::testing::PrivateSessionBus bus;
  if (const char* why = bus.missing()) GTEST_SKIP() << why;
  ASSERT_TRUE(bus.startMock(
      std::string("--session ") + kPortal + " " + kPortalPath + " " + kSettings, kPortal));
  ASSERT_TRUE(hopster::testing::PrivateSessionBus::call(
      kPortal, kPortalPath, hopster::testing::kMockInterface, "AddMethod", "sssss", kSettings,
      "Read", "ss", "v", "ret = dbus.UInt32(1, variant_level=2)"));
  application();
  const QDBusConnection connection = QDBusConnection::connectToBus(
      QString::fromLocal8Bit(std::getenv("DBUS_SESSION_BUS_ADDRESS")), QStringLiteral("portal"));
  MemoryLog log;
  DesktopAppearance appearance(connection, log);
  QSignalSpy changed(&appearance, &DesktopAppearance::darkChanged);
  ASSERT_TRUE(changed.wait(10'000));
  EXPECT_TRUE(appearance.dark());

  // Another setting of the namespace, in a form the reader would refuse,
  // then the colour scheme: only the second counts, and nothing is logged.
  const auto emitSetting = [](const char* key, const char* type, auto value) {
    return hopster::testing::PrivateSessionBus::call(
        kPortal, kPortalPath, hopster::testing::kMockInterface, "EmitSignal", "sssav", kSettings,
        "SettingChanged", "ssv", 3, "s", "org.freedesktop.appearance", "s", key, "v", type, value);
  };
  ASSERT_TRUE(emitSetting("contrast", "s", "high"));
  ASSERT_TRUE(emitSetting("color-scheme", "u", 2u));
  ASSERT_TRUE(changed.wait(10'000));
  EXPECT_FALSE(appearance.dark());
  EXPECT_EQ(changed.count(), 2);
  EXPECT_TRUE(log.lines().empty());
  QDBusConnection::disconnectFromBus(QStringLiteral("portal"));
}

}  // namespace
}  // namespace hopster::appearance_tests
