#include <QtQml/qqmlextensionplugin.h>
#include <cstdlib>
#include <iostream>
#include <string>
#include <utility>
#include <vector>

#include "app/command_line.h"
#include "app/headless_runner.h"
#include "app/window_app.h"
#include "commands/data_commands.h"
#include "platform/linux/stdout_log.h"
#include "reminders/reminder_delivery.h"
#include "reminders/reminder_schedule.h"
#include "screens/qt_calendar.h"

Q_IMPORT_QML_PLUGIN(HopsterPlugin)

namespace {

// Whether a window can be shown: a display server, or a platform chosen
// explicitly (such as "offscreen").
bool hasDisplay() {
  const auto set = [](const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
  };
  return set("QT_QPA_PLATFORM") || set("WAYLAND_DISPLAY") || set("DISPLAY");
}

// How long the terminal recording lasts that stands in for the window on a
// machine without a display.
constexpr double kFallbackSeconds = 30.0;

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (!args.empty() && hopster::isDataCommand(args.front())) {
    const hopster::QtCalendar calendar = hopster::QtCalendar::forUser();
    return hopster::runDataCommand(args, hopster::DataCommandEnvironment::forUser(calendar));
  }
  auto parsed = hopster::parseCommandLine(args);
  if (!parsed) {
    std::cerr << "hopster: " << parsed.error().message << '\n';
    return 2;
  }
  hopster::CommandLine options = std::move(parsed).value();
  if (options.help) {
    std::cout << hopster::usageText();
    return 0;
  }
  if (options.version) {
    std::cout << "hopster " << HOPSTER_VERSION << '\n';
    return 0;
  }
  if (options.deliverDueReminders) {
    hopster::StdoutLog log;
    return hopster::deliverDueReminders(hopster::ReminderSchedule::defaultLocation(),
                                        hopster::DeliveryTriggerPlaces::forUser(), log);
  }
  if (options.cancelReminders) {
    hopster::StdoutLog log;
    return hopster::cancelReminders(hopster::ReminderSchedule::defaultLocation(),
                                    hopster::DeliveryTriggerPlaces::forUser(), log);
  }
  if (options.headless) {
    return hopster::runHeadless(options, hopster::DataLocations::forUser(), std::cout).exitCode;
  }
  if (!hasDisplay()) {
    if (options.smokeTest) {
      std::cerr << "hopster: no display to open a window on (neither WAYLAND_DISPLAY nor "
                   "DISPLAY is set)\n";
      return 1;
    }
    // The terminal does the window's main job instead: one recording, with
    // the simulated headphones for 30 seconds unless told otherwise.
    options.headless = true;
    const bool timed =
        options.motion.kind == hopster::MotionSourceKind::simulated && !options.seconds;
    if (timed) options.seconds = kFallbackSeconds;
    std::cerr << "hopster: no display to open a window on (neither WAYLAND_DISPLAY nor DISPLAY "
                 "is set); recording in the terminal instead"
              << (timed ? ", for 30 seconds" : "") << " (see hopster --help)\n";
    return hopster::runHeadless(options, hopster::DataLocations::forUser(), std::cout).exitCode;
  }
  // Qt reads its own options (such as -platform) from the arguments.
  return hopster::runWindow(options, argc, argv);
}
