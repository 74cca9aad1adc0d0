#pragma once

#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "platform/linux/xdg_paths.h"
#include "platform/sleep_inhibitor.h"

namespace hopster {

// The exit status of a headless run whose recording could not be saved. As
// much of it as its journal holds is recovered at the next start (the run's
// output says how many jumps that is).
inline constexpr int kExitRecordNotSaved = 3;

struct HeadlessOutcome {
  int exitCode = 0;
  std::int64_t jumpsCounted = 0;
  std::optional<std::int64_t> jumpsSimulated;    // with the simulated headphones
  std::optional<std::string> recordUrl;          // the run's own record file written, if any
  std::vector<std::string> recoveredRecordUrls;  // records made at the start from earlier runs
  std::int64_t totalJumps = 0;
  std::vector<std::string> trophiesUnlocked;  // titles, in catalogue order
  std::optional<std::string> saveFailure;     // why the record could not be saved
};

// Runs one whole recording without a window, the way the jump screen would:
// Start, the countdown, the recording, and Stop after `options.seconds`, at
// the end of a replay or stream, or at SIGINT (Ctrl-C), SIGTERM or SIGHUP,
// each of which stops and saves the recording as Stop does. First saves the
// recordings that earlier runs left in their journals. Prints the countdown,
// the live count and the log to `out`, then a summary: the records recovered
// at the start and the run's own record each on their own line, or after a
// failed save how many of the jumps counted are kept for the next start.
HeadlessOutcome runHeadless(const CommandLine& options, const DataLocations& locations,
                            std::ostream& out);
// The same, with the system kept awake through `sleep` while the recording
// runs (the other holds off sleep through logind).
HeadlessOutcome runHeadless(const CommandLine& options, const DataLocations& locations,
                            std::ostream& out, SleepInhibitor& sleep);

}  // namespace hopster
