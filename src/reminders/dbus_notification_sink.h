#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/failure.h"
#include "reminders/notification_sink.h"

struct sd_bus;

namespace hopster {

// Shows notifications through org.freedesktop.Notifications, the desktop's
// notification service on the session bus. Each call blocks for at most
// `callTimeoutMicroseconds` (by default 10 s: a busy desktop may take seconds
// to answer, and the caller is a worker thread, never the window's). Use it
// from one thread at a time.
class DbusNotificationSink final : public NotificationSink {
 public:
  static constexpr const char* appName = "Hopster";
  // The installed icon and desktop entry ("org.hopster.Hopster.desktop"):
  // both are named by the application id.
  static constexpr const char* appIcon = "org.hopster.Hopster";
  static constexpr const char* desktopEntry = "org.hopster.Hopster";
  // The label of the default action (a click on the notification itself):
  // the desktop opens Hopster through its desktop entry, which is activatable
  // over D-Bus, whether the sender still runs or not.
  static constexpr const char* openLabel = "Open Hopster";
  // The sound theme's sound for a new message, played when a reminder has sound.
  static constexpr const char* soundName = "message-new-instant";
  static constexpr std::uint64_t defaultCallTimeoutMicroseconds = 10'000'000;

  // `busAddress` empty: the user's session bus. The bus is reached on first
  // use, and again after the connection was lost.
  explicit DbusNotificationSink(std::string busAddress = "", std::uint64_t callTimeoutMicroseconds =
                                                                 defaultCallTimeoutMicroseconds);
  ~DbusNotificationSink() override;
  DbusNotificationSink(const DbusNotificationSink&) = delete;
  DbusNotificationSink& operator=(const DbusNotificationSink&) = delete;

  // Asks the service for its server information, which also starts a service
  // that the bus starts on demand. A name that no one owns and the bus cannot
  // start is notFound.
  [[nodiscard]] Status checkService() override;
  // One Notify call: summary = title, body = subtitle, the system's default
  // timeout, normal urgency, and the message sound when asked for. A call
  // that timed out may have been shown: its failure says so.
  [[nodiscard]] std::optional<ShowFailure> show(const DesktopNotification& notification) override;

 private:
  // Connects when not connected: nothing, or why not.
  Status connect();
  // Drops whatever arrived meanwhile (nothing here listens to the bus), so
  // the bus's own messages to us cannot pile up.
  void drainIncoming();

  std::string busAddress_;
  std::uint64_t callTimeoutMicroseconds_;
  sd_bus* bus_ = nullptr;
};

}  // namespace hopster
