#pragma once

#include <signal.h>
#include <stdio.h>
#include <systemd/sd-bus.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace hopster::testing {

// A session bus of the test's own, made this process's session bus so that no
// real desktop is touched, with python3-dbusmock services started on it.
struct PrivateSessionBus {
  FILE* daemon = ::popen(
      "exec dbus-daemon --session --nofork --print-address=1 --print-pid=1 2>/dev/null", "r");
  std::vector<std::pair<FILE*, pid_t>> mocks;
  pid_t daemonPid = 0;
  std::string address;

  PrivateSessionBus() {
    char line[512] = "";
    if (daemon && std::fgets(line, sizeof line, daemon) &&
        std::fscanf(daemon, "%d", &daemonPid) == 1) {
      line[std::strcspn(line, "\n")] = '\0';
      address = line;
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

  static bool dbusmockInstalled() {
    return std::system("/usr/bin/python3 -c 'import dbusmock' 2>/dev/null") == 0;
  }

  // Starts `python3 -m dbusmock <arguments>` and waits until `name` is owned.
  bool startMock(const std::string& arguments, const std::string& name) {
    FILE* pipe = ::popen(
        ("echo $$; exec /usr/bin/python3 -m dbusmock " + arguments + " >/dev/null 2>&1").c_str(),
        "r");
    pid_t pid = 0;
    if (pipe == nullptr || std::fscanf(pipe, "%d", &pid) != 1) return false;
    mocks.emplace_back(pipe, pid);
    for (int attempt = 0; attempt < 500; ++attempt) {
      if (owned(name)) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }

  // Whether `name` has an owner on the bus.
  static bool owned(const std::string& name) {
    sd_bus* bus = nullptr;
    sd_bus_message* reply = nullptr;
    int has = 0;
    if (sd_bus_open_user(&bus) >= 0 &&
        sd_bus_call_method(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                           "org.freedesktop.DBus", "NameHasOwner", nullptr, &reply, "s",
                           name.c_str()) >= 0)
      sd_bus_message_read(reply, "b", &has);
    sd_bus_message_unref(reply);
    sd_bus_flush_close_unref(bus);
    return has != 0;
  }

  // Adds (or replaces) a method of a mock: dbusmock's AddMethod.
  static bool addMethod(const std::string& service, const std::string& path,
                        const std::string& interface, const std::string& method,
                        const std::string& in, const std::string& out, const std::string& code) {
    sd_bus* bus = nullptr;
    const bool ok =
        sd_bus_open_user(&bus) >= 0 &&
        sd_bus_call_method(bus, service.c_str(), path.c_str(), "org.freedesktop.DBus.Mock",
                           "AddMethod", nullptr, nullptr, "sssss", interface.c_str(),
                           method.c_str(), in.c_str(), out.c_str(), code.c_str()) >= 0;
    sd_bus_flush_close_unref(bus);
    return ok;
  }

  // The calls of `method` a mock received, oldest first, each as its string
  // arguments joined by "|" (others left out).
  static std::vector<std::string> calls(const std::string& service, const std::string& path,
                                        const std::string& method) {
    std::vector<std::string> found;
    sd_bus* bus = nullptr;
    sd_bus_message* reply = nullptr;
    if (sd_bus_open_user(&bus) < 0) return {"no bus"};
    sd_bus_set_method_call_timeout(bus, 30'000'000);
    if (sd_bus_call_method(bus, service.c_str(), path.c_str(), "org.freedesktop.DBus.Mock",
                           "GetMethodCalls", nullptr, &reply, "s", method.c_str()) >= 0 &&
        sd_bus_message_enter_container(reply, 'a', "(tav)") > 0) {
      while (sd_bus_message_enter_container(reply, 'r', "tav") > 0) {
        std::uint64_t time = 0;
        sd_bus_message_read(reply, "t", &time);
        std::string first;
        if (sd_bus_message_enter_container(reply, 'a', "v") > 0) {
          while (sd_bus_message_at_end(reply, false) == 0) {
            const char* contents = nullptr;
            char type = 0;
            const char* text = nullptr;
            if (sd_bus_message_peek_type(reply, &type, &contents) > 0 && contents != nullptr &&
                std::string(contents) == "s" && sd_bus_message_read(reply, "v", "s", &text) > 0) {
              first += (first.empty() ? "" : "|") + std::string(text);
            } else {
              sd_bus_message_skip(reply, "v");
            }
          }
          sd_bus_message_exit_container(reply);
        }
        sd_bus_message_exit_container(reply);
        found.push_back(first);
      }
    }
    sd_bus_message_unref(reply);
    sd_bus_flush_close_unref(bus);
    return found;
  }
};

}  // namespace hopster::testing
