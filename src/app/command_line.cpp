#include "app/command_line.h"

#include <charconv>
#include <cmath>
#include <functional>
#include <map>

namespace hopster {
namespace {

bool parseNumber(const std::string& text, double& out) {
  const auto result = std::from_chars(text.data(), text.data() + text.size(), out);
  return result.ec == std::errc() && result.ptr == text.data() + text.size() && std::isfinite(out);
}

bool parseNumber(const std::string& text, std::uint64_t& out) {
  const auto result = std::from_chars(text.data(), text.data() + text.size(), out);
  return result.ec == std::errc() && result.ptr == text.data() + text.size();
}

}  // namespace

std::string usageText() {
  return "Usage: hopster [options]\n"
         "\n"
         "Counts jumps from headphone motion. Without a window yet, it runs one\n"
         "recording in the terminal with simulated headphones.\n"
         "\n"
         "Options:\n"
         "  --seconds N   length of the recording in seconds (default 10)\n"
         "  --fast        run in virtual time, as fast as the machine allows\n"
         "  --cadence N   simulated jumps per second (default 2)\n"
         "  --rate N      simulated samples per second (default 25)\n"
         "  --seed N      seed of the simulation (default: a fresh one)\n"
         "  --help        show this text\n";
}

std::optional<CommandLine> parseCommandLine(const std::vector<std::string>& args,
                                            std::string& error) {
  CommandLine line;
  // Options that take a positive number, and where they go.
  const std::map<std::string, double*> positive = {
      {"--seconds", &line.seconds}, {"--cadence", &line.cadence}, {"--rate", &line.sampleRate}};

  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      line.help = true;
    } else if (arg == "--fast") {
      line.fast = true;
    } else if (auto found = positive.find(arg); found != positive.end() || arg == "--seed") {
      if (i + 1 == args.size()) {
        error = arg + " needs a value";
        return std::nullopt;
      }
      const std::string& value = args[++i];
      if (arg == "--seed") {
        if (!parseNumber(value, line.seed)) {
          error = "--seed takes a whole number, not \"" + value + "\"";
          return std::nullopt;
        }
      } else if (!parseNumber(value, *found->second) || *found->second <= 0.0) {
        error = arg + " takes a positive number, not \"" + value + "\"";
        return std::nullopt;
      }
    } else {
      error = "unknown option \"" + arg + "\" (see --help)";
      return std::nullopt;
    }
  }
  return line;
}

}  // namespace hopster
