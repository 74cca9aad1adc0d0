#pragma once

#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "commands/data_command_help.h"
#include "platform/calendar.h"
#include "platform/linux/xdg_paths.h"

namespace hopster {

// The exit statuses of the data commands.
inline constexpr int kExitFailure = 1;  // the data could not be read or written
inline constexpr int kExitUsage = 2;    // a mistake on the command line

// What a data command works with: where the data lives, where the output
// goes and how the user's calendar and language look.
struct DataCommandEnvironment {
  DataLocations locations;
  std::ostream& out;
  std::ostream& err;
  bool outIsTerminal = false;  // aligned tables instead of tab-separated lines
  bool errIsTerminal = false;  // progress bars
  double now = 0.0;            // the wall clock, seconds since 1970
  const Calendar& calendar;    // days, weeks and dates as the user reads them

  // The real environment: the user's folders, standard output and error,
  // and the wall clock, with `calendar`.
  [[nodiscard]] static DataCommandEnvironment forUser(const Calendar& calendar);
};

// Runs the data command named by args[0] with the arguments after it and
// returns the exit status: 0, kExitFailure or kExitUsage.
[[nodiscard]] int runDataCommand(const std::vector<std::string>& args,
                                 const DataCommandEnvironment& environment);

}  // namespace hopster
