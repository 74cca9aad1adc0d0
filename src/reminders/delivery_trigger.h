#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/log.h"

namespace hopster {

// Where the trigger puts its files and which program it runs.
struct DeliveryTriggerPlaces {
  std::filesystem::path unitDir;       // the user manager's units: configHome()/systemd/user
  std::filesystem::path autostartDir;  // the session's login entries: configHome()/autostart
  std::string executable;              // absolute path of the program to run
  std::string busAddress;              // the session bus; empty: the user's own

  // The user's own folders and the running program's real path (/proc/self/exe).
  [[nodiscard]] static DeliveryTriggerPlaces forUser();
};

// What starts "hopster --deliver-due-reminders" while the app is closed. Where
// a systemd user manager answers on the session bus (org.freedesktop.systemd1),
// a user timer fires at each pending due time (units from systemd_units.h,
// enabled by their timers.target.wants link, the manager reloaded and the
// timer started over D-Bus). Elsewhere, or for a program path systemd cannot
// run, a login entry runs the delivery at each login. Only one of them is in place at a time; with
// nothing pending, neither.
//
// Its D-Bus calls block for at most `callTimeoutMicroseconds`: use it off the
// main thread, from one thread at a time.
class DeliveryTrigger {
 public:
  static constexpr std::uint64_t callTimeoutMicroseconds = 10'000'000;

  DeliveryTrigger(DeliveryTriggerPlaces places, Log& log);

  // Brings the timer or the login entry in line with `dueTimes`, the pending
  // reminders' due times: installs, rewrites or removes it. Files that already
  // say the same are left alone and the manager is not bothered. Problems are
  // logged; returns whether everything went through.
  bool sync(const std::vector<double>& dueTimes);

  // Removes the timer and the login entry, whichever is there.
  bool removeAll() { return sync({}); }

 private:
  // Whether org.freedesktop.systemd1 has an owner on the session bus.
  [[nodiscard]] bool userManagerRuns() const;
  // Calls `method` on the user manager's Manager interface; `unit` empty: no
  // arguments, else (unit, "replace").
  bool callManager(const char* method, const std::string& unit) const;
  bool installTimer(const std::vector<double>& dueTimes);
  bool removeTimer(bool managerRuns);
  bool problem(const std::string& what) const;

  DeliveryTriggerPlaces places_;
  Log& log_;
};

}  // namespace hopster
