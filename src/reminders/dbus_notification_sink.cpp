#include "reminders/dbus_notification_sink.h"
#include "platform/linux/session_bus.h"

#include <cerrno>
#include <memory>
#include <system_error>
#include <utility>

namespace hopster {

namespace {

constexpr const char* kService = "org.freedesktop.Notifications";
constexpr const char* kPath = "/org/freedesktop/Notifications";
constexpr const char* kInterface = "org.freedesktop.Notifications";
// Notify's fixed arguments: a new notification, its one action, and the
// server's own display time.
constexpr std::uint32_t kNewNotification = 0;
constexpr std::int32_t kServerDefaultTimeout = -1;
constexpr std::uint8_t kNormalUrgency = 1;

// Appends one a{sv} entry whose value is a string.
int appendStringHint(sd_bus_message* call, const char* key, const char* value) {
  return sd_bus_message_append(call, "{sv}", key, "s", value);
}

// Notify's arguments, each with its exact D-Bus type.
int appendNotifyArguments(sd_bus_message* call, const DesktopNotification& notification) {
  int result = sd_bus_message_append(call, "susss", DbusNotificationSink::appName, kNewNotification,
                                     DbusNotificationSink::appIcon, notification.title.c_str(),
                                     notification.subtitle.c_str());
  if (result >= 0) {
    result = sd_bus_message_append(call, "as", 2, "default", DbusNotificationSink::openLabel);
  }
  if (result >= 0) result = sd_bus_message_open_container(call, 'a', "{sv}");
  if (result >= 0) {
    result = appendStringHint(call, "desktop-entry", DbusNotificationSink::desktopEntry);
  }
  if (result >= 0 && notification.sound) {
    result = appendStringHint(call, "sound-name", DbusNotificationSink::soundName);
  }
  if (result >= 0) result = sd_bus_message_append(call, "{sv}", "urgency", "y", kNormalUrgency);
  if (result >= 0) result = sd_bus_message_close_container(call);
  if (result >= 0) result = sd_bus_message_append(call, "i", kServerDefaultTimeout);
  return result;
}

}  // namespace

DbusNotificationSink::DbusNotificationSink(std::string busAddress,
                                           std::uint64_t callTimeoutMicroseconds)
    : busAddress_(std::move(busAddress)), callTimeoutMicroseconds_(callTimeoutMicroseconds) {}

DbusNotificationSink::~DbusNotificationSink() { sd_bus_flush_close_unref(bus_); }

Status DbusNotificationSink::connect() {
  if (bus_ != nullptr && sd_bus_is_open(bus_) > 0) return std::nullopt;
  bus_ = sd_bus_flush_close_unref(bus_);
  const int result = openBus(busAddress_, &bus_);
  if (result < 0) {
    return Failure{FailureKind::other, "Could not connect to the session bus: " +
                                           std::system_category().message(-result)};
  }
  sd_bus_set_method_call_timeout(bus_, callTimeoutMicroseconds_);
  return std::nullopt;
}

void DbusNotificationSink::drainIncoming() {
  while (sd_bus_process(bus_, nullptr) > 0) {
  }
}

Status DbusNotificationSink::checkService() {
  if (auto failure = connect()) return failure;
  BusError error;
  sd_bus_message* reply = nullptr;
  const int result = sd_bus_call_method(bus_, kService, kPath, kInterface, "GetServerInformation",
                                        &error.error, &reply, "");
  const MessagePtr ownedReply(reply);
  drainIncoming();
  if (result >= 0) return std::nullopt;
  // No service owns the name, and none is installed for the bus to start.
  const bool absent = sd_bus_error_has_name(&error.error, SD_BUS_ERROR_SERVICE_UNKNOWN) > 0 ||
                      sd_bus_error_has_name(&error.error, SD_BUS_ERROR_NAME_HAS_NO_OWNER) > 0;
  return Failure{absent ? FailureKind::notFound : FailureKind::other, error.describe(result)};
}

std::optional<ShowFailure> DbusNotificationSink::show(const DesktopNotification& notification) {
  if (auto failure = connect()) return ShowFailure{std::move(failure->message)};
  BusError error;
  sd_bus_message* rawCall = nullptr;
  int result =
      sd_bus_message_new_method_call(bus_, &rawCall, kService, kPath, kInterface, "Notify");
  const MessagePtr call(rawCall);
  if (result >= 0) result = appendNotifyArguments(rawCall, notification);
  if (result < 0) {
    // Such as text that is not UTF-8, which D-Bus refuses to carry.
    return ShowFailure{"Could not build the notification: " +
                       std::system_category().message(-result)};
  }
  sd_bus_message* reply = nullptr;
  result = sd_bus_call(bus_, rawCall, 0, &error.error, &reply);
  const MessagePtr ownedReply(reply);
  drainIncoming();
  if (result >= 0) return std::nullopt;
  // The call was sent; without an answer nobody knows whether it showed.
  const bool unanswered =
      result == -ETIMEDOUT || sd_bus_error_has_name(&error.error, SD_BUS_ERROR_NO_REPLY) > 0;
  return ShowFailure{error.describe(result), unanswered};
}

}  // namespace hopster
