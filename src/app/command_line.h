#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "motion_sources/motion_source_choice.h"
#include "motion_sources/simulated_headphones.h"
#include "platform/failure.h"

namespace hopster {

// The largest values of the numeric options.
inline constexpr double kMaxSeconds = 7 * 24 * 3600;  // --seconds: a week
inline constexpr double kMaxCadence = 10.0;           // --cadence, jumps per second
inline constexpr double kMaxSampleRate = 1000.0;      // --rate, samples per second
// Samples a simulated recording of --seconds may take at --rate: each costs
// over a kilobyte while it is recorded and saved, so a million stays near a
// gigabyte (eleven hours at the default rate).
inline constexpr double kMaxSimulatedSamples = 1'000'000;

// What the command line asks for.
struct CommandLine {
  bool help = false;
  bool version = false;              // print the version and exit
  bool headless = false;             // one recording in the terminal, no window
  bool smokeTest = false;            // open the window, wait for its first frame, exit
  bool start = false;                // tap Start as soon as the window shows
  bool deliverDueReminders = false;  // show the reminders that are due, then exit
  bool cancelReminders = false;      // remove the pending reminders and their timer, then exit
  bool fast = false;                 // run in virtual time, as fast as the machine allows
  std::optional<double> seconds;     // stop the recording after this long
  MotionSourceChoice motion;         // where the samples come from
  JumpSimulation simulation;         // cadence, rate and seed of "sim"
};

// Parses the arguments after the program name. A mistake fails with a
// one-line explanation.
[[nodiscard]] Outcome<CommandLine> parseCommandLine(const std::vector<std::string>& args);

// The text that --help prints.
[[nodiscard]] std::string usageText();

}  // namespace hopster
