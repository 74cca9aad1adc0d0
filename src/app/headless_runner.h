#pragma once

#include <cstdint>
#include <iosfwd>

#include "app/command_line.h"

namespace hopster {

struct HeadlessResult {
  std::int64_t jumpsCounted = 0;
  std::int64_t jumpsSimulated = 0;
  std::size_t samples = 0;
};

// Runs one recording with simulated headphones, without a window, printing
// the live count to `out` as it grows. Stops after the requested seconds, or
// earlier on Ctrl-C.
HeadlessResult runHeadless(const CommandLine& options, std::ostream& out);

}  // namespace hopster
