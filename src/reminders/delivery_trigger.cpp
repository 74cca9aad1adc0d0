#include "reminders/delivery_trigger.h"

#include <unistd.h>

#include <array>
#include <fstream>
#include <sstream>
#include <system_error>
#include <utility>

#include "platform/linux/atomic_file.h"
#include "platform/linux/session_bus.h"
#include "platform/linux/xdg_paths.h"
#include "reminders/autostart_entry.h"
#include "reminders/systemd_units.h"

namespace hopster {

namespace {

constexpr const char* kManagerService = "org.freedesktop.systemd1";
constexpr const char* kManagerPath = "/org/freedesktop/systemd1";
constexpr const char* kManagerInterface = "org.freedesktop.systemd1.Manager";

// The real path of the running program, links resolved, so that the trigger
// keeps working whichever link or relative path it was started through.
std::string runningProgram() {
  std::array<char, 4096> buffer{};
  const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  return length > 0 ? std::string(buffer.data(), static_cast<std::size_t>(length)) : std::string();
}

// The file's content, or nothing when it cannot be read.
std::optional<std::string> contentOf(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Writes `text` unless the file says so already. Returns whether it changed,
// or the error.
std::pair<bool, Status> writeIfChanged(const std::filesystem::path& file, const std::string& text) {
  if (contentOf(file) == text) return {false, std::nullopt};
  return {true, writeFileAtomically(file, text)};
}

// Removes `file`; returns whether it was there, or the error.
std::pair<bool, Status> removeFile(const std::filesystem::path& file) {
  std::error_code error;
  const bool removed = std::filesystem::remove(file, error);
  if (error) return {false, Failure::ofErrorCode(error, "Could not remove " + file.string())};
  return {removed, std::nullopt};
}

}  // namespace

DeliveryTriggerPlaces DeliveryTriggerPlaces::forUser() {
  return {configHome() / "systemd" / "user", defaultAutostartDir(), runningProgram(), ""};
}

DeliveryTrigger::DeliveryTrigger(DeliveryTriggerPlaces places, Log& log)
    : places_(std::move(places)), log_(log) {}

bool DeliveryTrigger::sync(const std::vector<double>& dueTimes) {
  const bool managerRuns = userManagerRuns();
  if (dueTimes.empty()) {
    const bool timerGone = removeTimer(managerRuns);
    const auto entryError = removeAutostartEntry(places_.autostartDir);
    return timerGone && (!entryError || problem(entryError->message));
  }
  if (managerRuns && reminderServiceUnit(places_.executable)) {
    // The timer replaces a login entry left by a session without one.
    const auto entryError = removeAutostartEntry(places_.autostartDir);
    return installTimer(dueTimes) && (!entryError || problem(entryError->message));
  }
  const bool timerGone = removeTimer(false);
  const auto entryError = installAutostartEntry(places_.autostartDir, places_.executable);
  return timerGone && (!entryError || problem(entryError->message));
}

bool DeliveryTrigger::installTimer(const std::vector<double>& dueTimes) {
  const auto service = reminderServiceUnit(places_.executable);
  if (!service) return problem("The program path cannot be run by a unit: " + places_.executable);
  std::error_code error;
  const auto wants = places_.unitDir / "timers.target.wants";
  std::filesystem::create_directories(wants, error);
  if (error) return problem("Could not create folder " + wants.string() + ": " + error.message());

  const auto [serviceChanged, serviceError] =
      writeIfChanged(places_.unitDir / kReminderServiceName, *service);
  if (serviceError) return problem(serviceError->message);
  const auto [timerChanged, timerError] =
      writeIfChanged(places_.unitDir / kReminderTimerName, reminderTimerUnit(dueTimes));
  if (timerError) return problem(timerError->message);
  // Enabled as "systemctl --user enable" would: the link makes every later
  // session's manager start the timer.
  const auto link = wants / kReminderTimerName;
  bool linked = false;
  if (!std::filesystem::is_symlink(link, error)) {
    std::filesystem::create_symlink(std::filesystem::path("..") / kReminderTimerName, link, error);
    if (error) return problem("Could not enable " + link.string() + ": " + error.message());
    linked = true;
  }
  if (!serviceChanged && !timerChanged && !linked) return true;
  // Reload first, so the manager reads the new due times before the start.
  return callManager("Reload", "") && callManager("StartUnit", kReminderTimerName);
}

bool DeliveryTrigger::removeTimer(bool managerRuns) {
  bool ok = true;
  bool removedAny = false;
  for (const auto& file :
       {places_.unitDir / "timers.target.wants" / kReminderTimerName,
        places_.unitDir / kReminderTimerName, places_.unitDir / kReminderServiceName}) {
    const auto [removed, error] = removeFile(file);
    removedAny = removedAny || removed;
    if (error) ok = problem(error->message);
  }
  if (!removedAny || !managerRuns) return ok;
  // A stop of a timer the manager no longer has is no error worth a line.
  callManager("StopUnit", kReminderTimerName);
  return callManager("Reload", "") && ok;
}

bool DeliveryTrigger::userManagerRuns() const {
  sd_bus* raw = nullptr;
  if (openBus(places_.busAddress, &raw) < 0) return false;
  const BusPtr bus(raw);
  sd_bus_set_method_call_timeout(raw, callTimeoutMicroseconds);
  BusError error;
  sd_bus_message* reply = nullptr;
  const int result = sd_bus_call_method(raw, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                        "org.freedesktop.DBus", "NameHasOwner", &error.error,
                                        &reply, "s", kManagerService);
  const MessagePtr ownedReply(reply);
  int owned = 0;
  return result >= 0 && sd_bus_message_read(reply, "b", &owned) >= 0 && owned != 0;
}

bool DeliveryTrigger::callManager(const char* method, const std::string& unit) const {
  sd_bus* raw = nullptr;
  const int opened = openBus(places_.busAddress, &raw);
  if (opened < 0) {
    return problem(std::string("Could not reach the user manager for ") + method + ": " +
                   std::system_category().message(-opened));
  }
  const BusPtr bus(raw);
  sd_bus_set_method_call_timeout(raw, callTimeoutMicroseconds);
  BusError error;
  sd_bus_message* reply = nullptr;
  const int result =
      unit.empty()
          ? sd_bus_call_method(raw, kManagerService, kManagerPath, kManagerInterface, method,
                               &error.error, &reply, "")
          : sd_bus_call_method(raw, kManagerService, kManagerPath, kManagerInterface, method,
                               &error.error, &reply, "ss", unit.c_str(), "replace");
  const MessagePtr ownedReply(reply);
  if (result >= 0) return true;
  if (std::string(method) == "StopUnit") return false;
  return problem(std::string("The user manager refused ") + method + ": " + error.describe(result));
}

bool DeliveryTrigger::problem(const std::string& what) const {
  log_.line("Reminder delivery while the app is closed: " + what);
  return false;
}

}  // namespace hopster
