#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace hopster {

// What the command line asks for.
struct CommandLine {
  bool help = false;
  bool fast = false;         // run in virtual time, as fast as the machine allows
  double seconds = 10.0;     // how long the recording runs
  double cadence = 2.0;      // simulated jumps per second
  double sampleRate = 25.0;  // simulated samples per second
  std::uint64_t seed = 0;    // 0: a fresh seed
};

// Parses the arguments after the program name. On a mistake, returns nothing
// and puts a one-line explanation into `error`.
[[nodiscard]] std::optional<CommandLine> parseCommandLine(const std::vector<std::string>& args,
                                                          std::string& error);

// The text that --help prints.
[[nodiscard]] std::string usageText();

}  // namespace hopster
