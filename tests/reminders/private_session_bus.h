#pragma once

#include <signal.h>
#include <stdio.h>
#include <systemd/sd-bus.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace hopster::testing {

constexpr const char* kMockInterface = "org.freedesktop.DBus.Mock";

// The value at `m` as text, each variant with its D-Bus type: <s "text">,
// <y 1>, [elements], (fields), {"key": value}.
inline std::string describe(sd_bus_message* m) {
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

// One Notify call of the app's notification sink, as PrivateSessionBus::calls
// shows it.
inline std::string notifyCall(const std::string& title, const std::string& body, bool sound) {
  return R"([<s "Hopster">, <u 0>, <s "org.hopster.Hopster">, <s ")" + title + R"(">, <s ")" +
         body +
         R"(">, <as ["default", "Open Hopster"]>, <a{sv} [{"desktop-entry": <s "org.hopster.Hopster">}, )" +
         (sound ? R"({"sound-name": <s "message-new-instant">}, )" : "") +
         R"({"urgency": <y 1>}]>, <i -1>])";
}

// A session bus of the test's own, made this process's session bus so that no
// real desktop is touched, with python3-dbusmock services started on it.
struct PrivateSessionBus {
  FILE* daemon = ::popen(
      "exec dbus-daemon --session --nofork --print-address=1 --print-pid=1 2>/dev/null", "r");
  std::vector<std::pair<FILE*, pid_t>> mocks;
  pid_t daemonPid = 0;

  PrivateSessionBus() {
    char line[512] = "";
    if (daemon && std::fgets(line, sizeof line, daemon) &&
        std::fscanf(daemon, "%d", &daemonPid) == 1) {
      line[std::strcspn(line, "\n")] = '\0';
      ::setenv("DBUS_SESSION_BUS_ADDRESS", line, 1);
    }
  }
  ~PrivateSessionBus() {
    for (const auto& [pipe, pid] : mocks) {
      ::kill(pid, SIGTERM);
      ::pclose(pipe);
    }
    if (daemonPid > 0) ::kill(daemonPid, SIGTERM);
    if (daemon != nullptr) ::pclose(daemon);
  }

  // Why tests on this bus cannot run here; nothing when they can.
  [[nodiscard]] const char* missing() const {
    if (std::system("/usr/bin/python3 -c 'import dbusmock' 2>/dev/null") != 0)
      return "python3-dbusmock is missing";
    return daemonPid == 0 ? "no dbus-daemon on this machine" : nullptr;
  }

  // Starts `python3 -m dbusmock <arguments>` and waits until `name` answers.
  bool startMock(const std::string& arguments, const std::string& name) {
    FILE* pipe = ::popen(
        ("echo $$; exec /usr/bin/python3 -m dbusmock " + arguments + " >/dev/null 2>&1").c_str(),
        "r");
    pid_t pid = 0;
    if (pipe == nullptr || std::fscanf(pipe, "%d", &pid) != 1) return false;
    mocks.emplace_back(pipe, pid);
    for (int attempt = 0; attempt < 500; ++attempt) {
      if (call(name, "/", "org.freedesktop.DBus.Peer", "Ping", "")) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }

  // Starts python3-dbusmock's logind on this bus, which becomes the system
  // bus of this process and the programs it starts; whether it answers.
  bool startLogind() {
    if (daemonPid == 0) return false;  // never the machine's own system bus
    ::setenv("DBUS_SYSTEM_BUS_ADDRESS", std::getenv("DBUS_SESSION_BUS_ADDRESS"), 1);
    return startMock("--template logind", "org.freedesktop.login1");
  }

  // The mock logind's inhibitors: [("sleep", "Hopster", "Why", "block", 1000, 123456)].
  static std::string inhibitors() {
    sd_bus* bus = nullptr;
    sd_bus_message* reply = nullptr;
    std::string text = "no answer";
    if (sd_bus_open_user(&bus) >= 0 &&
        sd_bus_call_method(bus, "org.freedesktop.login1", "/org/freedesktop/login1",
                           "org.freedesktop.login1.Manager", "ListInhibitors", nullptr, &reply,
                           "") >= 0)
      text = describe(reply);
    sd_bus_message_unref(reply);
    sd_bus_flush_close_unref(bus);
    return text;
  }

  // Waits up to ten seconds for inhibitors() to be `wanted`; whether they were.
  static bool waitForInhibitors(const std::string& wanted) {
    for (int attempt = 0; attempt < 500 && inhibitors() != wanted; ++attempt)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return inhibitors() == wanted;
  }

  // Calls `method` with `arguments` of D-Bus `types`; whether it succeeded.
  template <typename... Arguments>
  static bool call(const std::string& service, const char* path, const char* interface,
                   const char* method, const char* types, Arguments... arguments) {
    sd_bus* bus = nullptr;
    const bool ok = sd_bus_open_user(&bus) >= 0 &&
                    sd_bus_call_method(bus, service.c_str(), path, interface, method, nullptr,
                                       nullptr, types, arguments...) >= 0;
    sd_bus_flush_close_unref(bus);
    return ok;
  }

  // The calls of `method` a mock received, oldest first, each as its
  // arguments: [<s "hopster-reminders.timer">, <s "replace">].
  static std::vector<std::string> calls(const char* service, const char* path, const char* method) {
    std::vector<std::string> found;
    sd_bus* bus = nullptr;
    sd_bus_message* reply = nullptr;
    if (sd_bus_open_user(&bus) < 0) return {"no bus"};
    sd_bus_set_method_call_timeout(bus, 30'000'000);  // a mock answers after its slow methods
    if (sd_bus_call_method(bus, service, path, kMockInterface, "GetMethodCalls", nullptr, &reply,
                           "s", method) >= 0 &&
        sd_bus_message_enter_container(reply, 'a', "(tav)") > 0) {
      while (sd_bus_message_enter_container(reply, 'r', "tav") > 0) {
        sd_bus_message_skip(reply, "t");  // when it came
        found.push_back(describe(reply));
        sd_bus_message_exit_container(reply);
      }
    }
    sd_bus_message_unref(reply);
    sd_bus_flush_close_unref(bus);
    return found;
  }
};

}  // namespace hopster::testing
