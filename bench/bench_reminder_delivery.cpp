// The main thread's longest stall while the notification service takes three
// seconds to answer Notify: a private session bus with a python3-dbusmock
// service whose Notify sleeps 3 s, one overdue reminder, and a main loop whose
// 10 ms ticks measure how late they run. "worker" is the window's path (the
// check on BackgroundReminders' thread); "on main thread" calls the centre
// directly, as the window did before, for comparison.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "platform/linux/file_key_value_storage.h"
#include "platform/linux/loop_scheduler.h"
#include "platform/linux/memory_log.h"
#include "platform/linux/system_clock.h"
#include "reminders/background_reminders.h"
#include "reminders/desktop_notification_center.h"

namespace hopster {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// A private session bus with a slow notification service; torn down at the end.
struct SlowDesktop {
  FILE* daemon = ::popen(
      "exec dbus-daemon --session --nofork --print-address=1 --print-pid=1 2>/dev/null", "r");
  FILE* mock = nullptr;
  pid_t daemonPid = 0;
  pid_t mockPid = 0;
  bool ready = false;

  SlowDesktop() {
    char address[512] = "";
    if (daemon == nullptr || !std::fgets(address, sizeof address, daemon) ||
        std::fscanf(daemon, "%d", &daemonPid) != 1)
      return;
    address[std::strcspn(address, "\n")] = '\0';
    ::setenv("DBUS_SESSION_BUS_ADDRESS", address, 1);
    mock = ::popen(
        "echo $$; exec /usr/bin/python3 -m dbusmock org.freedesktop.Notifications "
        "/org/freedesktop/Notifications org.freedesktop.Notifications >/dev/null 2>&1",
        "r");
    if (mock == nullptr || std::fscanf(mock, "%d", &mockPid) != 1) return;
    const std::string add =
        "busctl --user call org.freedesktop.Notifications /org/freedesktop/Notifications "
        "org.freedesktop.DBus.Mock AddMethod sssss org.freedesktop.Notifications ";
    for (int attempt = 0; attempt < 250 && !ready; ++attempt) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      ready = std::system((add + "GetServerInformation '' ssss \"ret = ('m', 't', '1', '1.2')\" "
                                 ">/dev/null 2>&1")
                              .c_str()) == 0;
    }
    ready = ready && std::system((add + "Notify susssasa{sv}i u "
                                        "'import time\ntime.sleep(3)\nret = 1' >/dev/null 2>&1")
                                     .c_str()) == 0;
  }
  ~SlowDesktop() {
    for (const pid_t pid : {mockPid, daemonPid})
      if (pid > 0) ::kill(pid, SIGTERM);
    for (FILE* pipe : {mock, daemon})
      if (pipe != nullptr) ::pclose(pipe);
  }
};

// Writes a schedule with one overdue reminder into a fresh folder.
fs::path overdueSchedule(const fs::path& dir) {
  fs::create_directories(dir);
  std::ofstream(dir / "reminders.json") << R"({"reminders": [{"identifier": "A", "title": "t",
      "subtitle": "s", "sound": true, "due": 1}]})";
  return dir / "reminders.json";
}

// Runs `start` on a main loop ticking every 10 ms until `start`'s work calls
// quit; returns the longest gap between ticks beyond the 10 ms, in ms.
double longestStall(const std::function<void(LoopScheduler&)>& start) {
  LoopScheduler loop;
  auto last = Clock::now();
  double worst = 0.0;
  const auto tick = loop.scheduleRepeating(0.010, [&](Timer&) {
    const auto now = Clock::now();
    worst = std::max(worst, std::chrono::duration<double, std::milli>(now - last).count() - 10.0);
    last = now;
  });
  loop.post([&] { start(loop); });
  loop.run();
  tick->invalidate();
  return std::max(worst, std::chrono::duration<double, std::milli>(Clock::now() - last).count());
}

void BM_MainThreadStallDuringSlowNotify(benchmark::State& state) {
  const bool onWorker = state.range(0) == 1;
  SlowDesktop desktop;
  if (!desktop.ready) return state.SkipWithError("no dbus-daemon, python3-dbusmock or busctl");
  char pattern[] = "/tmp/hopster-bench-XXXXXX";
  const fs::path dir = ::mkdtemp(pattern);
  const SystemClock clock;
  MemoryLog log;
  double stall = 0.0;
  for (auto _ : state) {
    const fs::path file = overdueSchedule(dir / "data");
    std::unique_ptr<BackgroundReminders> reminders;  // gone before its loop
    stall = longestStall([&](LoopScheduler& loop) {
      if (onWorker) {
        reminders = std::make_unique<BackgroundReminders>(
            ReminderSetup{file, {dir / "units", dir / "autostart", "/bin/true", ""}}, clock, loop,
            log);
        reminders->deliverDue([&loop, &reminders](int) {
          loop.post([&loop, &reminders] {
            reminders.reset();
            loop.quit();
          });
        });
      } else {
        ReminderSchedule schedule(std::make_unique<FileKeyValueStorage>(file, clock), log);
        DbusNotificationSink sink;
        DesktopNotificationCenter center(schedule, sink, clock, log);
        center.deliverDue();
        loop.quit();
      }
    });
    state.SetIterationTime(stall / 1000.0);
  }
  state.counters["longest_stall_ms"] = stall;
  state.SetLabel(onWorker ? "worker" : "on main thread");
  fs::remove_all(dir);
}
BENCHMARK(BM_MainThreadStallDuringSlowNotify)
    ->Arg(1)
    ->Arg(0)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace hopster
