#include "reminders/dbus_notification_sink.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdio.h>
#include <systemd/sd-bus.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/file_key_value_storage.h"
#include "reminders/reminder_delivery.h"
#include "support/temp_dir.h"

namespace hopster {
namespace {

// Debian's python, which has python3-dbusmock; not whatever python is on PATH.
constexpr const char* kPython = "/usr/bin/python3";

// The current value of `m` as text, each variant with its D-Bus type:
// <s "text">, <y 1>, [elements], "key": value.
std::string describe(sd_bus_message* m) {
  char type = 0;
  const char* contents = nullptr;
  if (sd_bus_message_peek_type(m, &type, &contents) <= 0) return "?";
  const auto read = [m, type](auto value) {
    sd_bus_message_read_basic(m, type, &value);
    return value;
  };
  switch (type) {
    case 's':
      return '"' + std::string(read(static_cast<const char*>(nullptr))) + '"';
    case 'y':
      return std::to_string(read(std::uint8_t{}));
    case 'u':
      return std::to_string(read(std::uint32_t{}));
    case 'i':
      return std::to_string(read(std::int32_t{}));
    case 'v':
    case 'a':
    case 'e': {
      sd_bus_message_enter_container(m, type, contents);
      std::string text = type == 'v' ? "<" + std::string(contents) + " " : type == 'a' ? "[" : "";
      for (bool first = true; sd_bus_message_at_end(m, false) == 0; first = false)
        text += (first ? "" : type == 'e' ? ": " : ", ") + describe(m);
      sd_bus_message_exit_container(m);
      return text + (type == 'v' ? ">" : type == 'a' ? "]" : "");
    }
    default:
      return std::string("unexpected type ") + type;
  }
}

// A session bus of this test's own, so no real desktop is touched, on which
// dbusmock's stand-in for the desktop's notification service can run.
struct PrivateDesktop {
  FILE* daemon = ::popen(
      "exec dbus-daemon --session --nofork --print-address=1 --print-pid=1 2>/dev/null", "r");
  pid_t daemonPid = 0;
  std::string address;
  FILE* mock = nullptr;
  pid_t mockPid = 0;

  PrivateDesktop() {
    char line[512] = "";
    if (daemon && std::fgets(line, sizeof line, daemon) &&
        std::fscanf(daemon, "%d", &daemonPid) == 1)
      address.assign(line, std::strcspn(line, "\n"));
  }
  ~PrivateDesktop() {
    stopNotificationService();
    if (daemonPid > 0) ::kill(daemonPid, SIGTERM);
    if (daemon != nullptr) ::pclose(daemon);
  }

  // Starts the mock notification daemon; `sink` tells when it answers.
  bool startNotificationService(NotificationSink& sink) {
    const std::string command = "echo $$; DBUS_SESSION_BUS_ADDRESS='" + address + "' exec " +
                                kPython + " -m dbusmock --template notification_daemon >/dev/null";
    mock = ::popen(command.c_str(), "r");
    if (mock == nullptr || std::fscanf(mock, "%d", &mockPid) != 1) return false;
    for (int attempt = 0; attempt < 500 && sink.checkService(); ++attempt)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return !sink.checkService();
  }
  void stopNotificationService() {
    if (mockPid > 0) ::kill(mockPid, SIGTERM);
    if (mock != nullptr) ::pclose(mock);
    mock = nullptr;
    mockPid = 0;
  }

  // The arguments of every Notify call the mock received, oldest first.
  std::vector<std::string> notifyCalls() const {
    sd_bus* bus = nullptr;
    sd_bus_message* reply = nullptr;
    std::vector<std::string> calls;
    if (sd_bus_new(&bus) >= 0 && sd_bus_set_address(bus, address.c_str()) >= 0 &&
        sd_bus_set_bus_client(bus, 1) >= 0 && sd_bus_start(bus) >= 0 &&
        sd_bus_call_method(bus, "org.freedesktop.Notifications", "/org/freedesktop/Notifications",
                           "org.freedesktop.DBus.Mock", "GetMethodCalls", nullptr, &reply, "s",
                           "Notify") >= 0) {
      sd_bus_message_enter_container(reply, 'a', "(tav)");
      while (sd_bus_message_enter_container(reply, 'r', "tav") > 0) {
        sd_bus_message_skip(reply, "t");
        calls.push_back(describe(reply));
        sd_bus_message_exit_container(reply);
      }
    }
    sd_bus_message_unref(reply);
    sd_bus_flush_close_unref(bus);
    return calls;
  }
};

std::string notifyArguments(const std::string& title, const std::string& body, bool sound) {
  return R"([<s "Hopster">, <u 0>, <s "hopster">, <s ")" + title + R"(">, <s ")" + body +
         R"(">, <as []>, <a{sv} ["desktop-entry": <s "hopster">, )" +
         (sound ? R"("sound-name": <s "message-new-instant">, )" : "") +
         R"("urgency": <y 1>]>, <i -1>])";
}

TEST(DbusNotificationSink, OverdueRemindersReachTheDesktopNotificationServiceOnce) {
  if (std::system((std::string(kPython) + " -c 'import dbusmock' 2>/dev/null").c_str()) != 0)
    GTEST_SKIP() << "python3-dbusmock is not installed";
  PrivateDesktop desktop;
  if (desktop.address.empty()) GTEST_SKIP() << "no dbus-daemon on this machine";
  DbusNotificationSink sink(desktop.address);
  const std::string missing =
      "The name org.freedesktop.Notifications was not provided by any .service files";
  EXPECT_EQ(sink.checkService(), missing);
  ASSERT_TRUE(desktop.startNotificationService(sink));

  // The autostarted run after the machine was off, on the real clock.
  const testing::TempDir dir;
  const auto file = dir.path() / "reminders.json";
  const SystemClock clock;
  MemoryLog log;
  ReminderSchedule schedule(std::make_unique<FileKeyValueStorage>(file, clock), log);
  EXPECT_EQ(schedule.update([&clock](ReminderScheduleState& state) {
    state.reminders = {{"A", "Let’s Leap into Progress!", "Keep going—you’ve got this!", true, 1.0},
                       {"B", "Feel the Rhythm!", "You've got this!", false, 2.0},
                       {"C", "Make It Count!", "Not yet.", true, clock.now() + 3600}};
  }),
            std::nullopt);
  EXPECT_EQ(deliverDueReminders(file, log, desktop.address), 0);
  EXPECT_EQ(deliverDueReminders(file, log, desktop.address), 0);
  EXPECT_EQ(desktop.notifyCalls(),
            (std::vector<std::string>{
                notifyArguments("Let’s Leap into Progress!", "Keep going—you’ve got this!", true),
                notifyArguments("Feel the Rhythm!", "You've got this!", false)}));
  EXPECT_EQ(schedule.read().reminders.size(), 1u);

  desktop.stopNotificationService();
  EXPECT_EQ(sink.show({"t", "s", true}), missing);
  EXPECT_TRUE(log.lines().empty());
}

}  // namespace
}  // namespace hopster
