#include <QtQml/qqmlextensionplugin.h>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/headless_runner.h"
#include "app/window_app.h"
#include "reminders/reminder_delivery.h"
#include "reminders/reminder_schedule.h"

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

}  // namespace

int main(int argc, char** argv) {
  std::string error;
  const auto options =
      hopster::parseCommandLine(std::vector<std::string>(argv + 1, argv + argc), error);
  if (!options) {
    std::cerr << "hopster: " << error << '\n';
    return 2;
  }
  if (options->help) {
    std::cout << hopster::usageText();
    return 0;
  }
  if (options->deliverDueReminders) {
    hopster::StdoutLog log;
    return hopster::deliverDueReminders(hopster::ReminderSchedule::defaultLocation(),
                                        hopster::DeliveryTriggerPlaces::forUser(), log);
  }
  if (options->cancelReminders) {
    hopster::StdoutLog log;
    return hopster::cancelReminders(hopster::ReminderSchedule::defaultLocation(),
                                    hopster::DeliveryTriggerPlaces::forUser(), log);
  }
  if (options->headless) {
    return hopster::runHeadless(*options, hopster::DataLocations::forUser(), std::cout).exitCode;
  }
  if (!hasDisplay()) {
    std::cerr << "hopster: no display to open a window on (neither WAYLAND_DISPLAY nor DISPLAY "
                 "is set); run \"hopster --headless\" to record in the terminal\n";
    return 1;
  }
  // Qt reads its own options (such as -platform) from the arguments.
  return hopster::runWindow(*options, argc, argv);
}
