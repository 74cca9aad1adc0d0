#include "reminders/dbus_notification_sink.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdio.h>
#include <systemd/sd-bus.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <thread>

#include "reminders/reminder_delivery.h"
#include "support/temp_dir.h"

namespace hopster {
namespace {

// The value at `m` as text, each variant with its D-Bus type: <s "text">,
// <y 1>, [elements], (fields), {"key": value}; time stamps as just "time".
std::string describe(sd_bus_message* m) {
  char type = 0;
  const char* contents = nullptr;
  sd_bus_message_peek_type(m, &type, &contents);
  const auto read = [m, type](auto value) {
    sd_bus_message_read_basic(m, type, &value);
    return value;
  };
  if (type == 's') return '"' + std::string(read(static_cast<const char*>(nullptr))) + '"';
  if (type == 'y') return std::to_string(read(std::uint8_t{}));
  if (type == 'u') return std::to_string(read(std::uint32_t{}));
  if (type == 'i') return std::to_string(read(std::int32_t{}));
  if (type == 't') return sd_bus_message_skip(m, "t") >= 0 ? "time" : "?";
  if (sd_bus_message_enter_container(m, type, contents) <= 0) {  // not v, a, r nor e (dict entry)
    sd_bus_message_skip(m, nullptr);
    return std::string("unexpected type ") + type;
  }
  const std::string brackets = type == 'v' ? "<>" : type == 'a' ? "[]" : type == 'r' ? "()" : "{}";
  std::string text = brackets[0] + (type == 'v' ? std::string(contents) + " " : "");
  for (bool first = true; sd_bus_message_at_end(m, false) == 0; first = false)
    text += (first ? "" : type == 'e' ? ": " : ", ") + describe(m);
  sd_bus_message_exit_container(m);
  return text + brackets[1];
}

// A session bus of this test's own, made this process's session bus so that no
// real desktop is touched, on which dbusmock's stand-in for the desktop's
// notification service can run.
struct PrivateDesktop {
  FILE* daemon = ::popen(
      "exec dbus-daemon --session --nofork --print-address=1 --print-pid=1 2>/dev/null", "r");
  FILE* mock = nullptr;
  pid_t daemonPid = 0;
  pid_t mockPid = 0;

  PrivateDesktop() {
    char address[512] = "";
    if (daemon && std::fgets(address, sizeof address, daemon) &&
        std::fscanf(daemon, "%d", &daemonPid) == 1) {
      address[std::strcspn(address, "\n")] = '\0';
      ::setenv("DBUS_SESSION_BUS_ADDRESS", address, 1);
    }
  }
  ~PrivateDesktop() {
    for (const pid_t pid : {mockPid, daemonPid})
      if (pid > 0) ::kill(pid, SIGTERM);
    for (FILE* pipe : {mock, daemon})
      if (pipe != nullptr) ::pclose(pipe);
  }

  // Starts the mock notification daemon; `sink` tells when it answers.
  bool startNotificationService(NotificationSink& sink) {
    mock = ::popen(
        "echo $$; exec /usr/bin/python3 -m dbusmock --template notification_daemon >/dev/null",
        "r");
    if (mock == nullptr || std::fscanf(mock, "%d", &mockPid) != 1) return false;
    for (int attempt = 0; attempt < 500 && sink.checkService(); ++attempt)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return !sink.checkService();
  }
};

// Every Notify call the mock received, oldest first.
std::string notifyCalls() {
  sd_bus* bus = nullptr;
  sd_bus_message* reply = nullptr;
  std::string calls = "no answer";
  if (sd_bus_open_user(&bus) >= 0 &&
      sd_bus_call_method(bus, "org.freedesktop.Notifications", "/org/freedesktop/Notifications",
                         "org.freedesktop.DBus.Mock", "GetMethodCalls", nullptr, &reply, "s",
                         "Notify") >= 0)
    calls = describe(reply);
  sd_bus_message_unref(reply);
  sd_bus_flush_close_unref(bus);
  return calls;
}

// One call as notifyCalls shows it.
std::string notifyCall(const std::string& title, const std::string& body, bool sound) {
  return R"((time, [<s "Hopster">, <u 0>, <s "org.hopster.Hopster">, <s ")" + title +
         R"(">, <s ")" + body +
         R"(">, <as []>, <a{sv} [{"desktop-entry": <s "org.hopster.Hopster">}, )" +
         (sound ? R"({"sound-name": <s "message-new-instant">}, )" : "") +
         R"({"urgency": <y 1>}]>, <i -1>]))";
}

TEST(DbusNotificationSink, OverdueRemindersReachTheDesktopNotificationServiceOnce) {
  if (std::system("/usr/bin/python3 -c 'import dbusmock' 2>/dev/null") != 0)
    GTEST_SKIP() << "python3-dbusmock is not installed";
  PrivateDesktop desktop;
  if (desktop.daemonPid == 0) GTEST_SKIP() << "no dbus-daemon on this machine";
  DbusNotificationSink sink;  // on the session bus, now the private one
  const std::string missing =
      "The name org.freedesktop.Notifications was not provided by any .service files";
  EXPECT_EQ(sink.checkService(), missing);
  EXPECT_EQ(sink.show({"t", "s", true}), ShowFailure{missing});
  ASSERT_TRUE(desktop.startNotificationService(sink));

  // The autostarted run after the machine was off.
  const testing::TempDir dir;
  const auto file = dir.path() / "reminders.json";
  std::ofstream(file) << R"({"reminders": [
      {"identifier": "A", "title": "Let’s Leap!", "subtitle": "Go—you’ve got this!", "sound": true,
       "due": 1},
      {"identifier": "B", "title": "Feel the Rhythm!", "subtitle": "Hop!", "sound": false, "due": 2}
  ]})";
  MemoryLog log;
  const DeliveryTriggerPlaces places{dir.path() / "units", dir.path() / "autostart", "/bin/true",
                                     ""};
  EXPECT_EQ(deliverDueReminders(file, places, log), 0);
  EXPECT_EQ(deliverDueReminders(file, places, log), 0);  // shows nothing twice
  // Missed ones collapse into the latest.
  EXPECT_EQ(notifyCalls(), "[" + notifyCall("Feel the Rhythm!", "Hop!", false) + "]");
  EXPECT_EQ(log.lines(),
            std::vector<std::string>{"Dropped 1 missed reminder; showing only the latest"});
}

}  // namespace
}  // namespace hopster
