#include "app/command_line.h"

#include <charconv>
#include <cmath>
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
         "Counts jumps from headphone motion. Without --headless it opens its\n"
         "window (a display is needed: X11 or Wayland).\n"
         "\n"
         "Options:\n"
         "  --headless        run one recording in the terminal, without a window:\n"
         "                    Start, the countdown, the recording, and Stop after\n"
         "                    --seconds, at the end of a replay or stream, or at Ctrl-C\n"
         "  --motion SOURCE   where motion comes from (default sim):\n"
         "                      sim          simulated headphones, jumping\n"
         "                      replay:FILE  a saved record (.json) or motion CSV,\n"
         "                                   at its recorded timing\n"
         "                      stdin        CSV lines of 21 numbers on standard input:\n"
         "                                   user acceleration x y z, rotation rate x y z,\n"
         "                                   pitch, roll, yaw, rotation matrix m11..m33\n"
         "                                   row by row, gravity x y z\n"
         "                      fifo:PATH    the same lines from a named pipe or file\n"
         "  --seconds N       stop the recording after N seconds\n"
         "  --fast            run in virtual time, as fast as the machine allows\n"
         "                    (sim and replay)\n"
         "  --cadence N       simulated jumps per second (default 2)\n"
         "  --rate N          simulated samples per second (default 25)\n"
         "  --seed N          seed of the simulation (default: a fresh one)\n"
         "  --start           tap Start as soon as the window shows (hands-free\n"
         "                    recording, scripts)\n"
         "  --smoke-test      open the window, wait for its first frame and exit;\n"
         "                    fails on any QML warning\n"
         "  --deliver-due-reminders\n"
         "                    show the daily reminders that are due and exit (run\n"
         "                    at login by an autostart entry while the app is closed)\n"
         "  --help            show this text\n"
         "\n"
         "Daily reminders: the desktop's notification service cannot schedule, so\n"
         "Hopster keeps pending reminders in $XDG_DATA_HOME/hopster/reminders.json\n"
         "and shows them when due: the running app checks every five minutes and\n"
         "at start, and ~/.config/autostart/hopster-reminders.desktop runs\n"
         "\"hopster --deliver-due-reminders\" at login. A reminder missed while the\n"
         "machine was off is shown once, at the next check.\n"
         "\n"
         "Records are kept in $XDG_DATA_HOME/hopster/Documents (default\n"
         "~/.local/share/hopster/Documents), settings in\n"
         "$XDG_CONFIG_HOME/hopster/settings.json (default ~/.config/hopster).\n";
}

std::optional<CommandLine> parseCommandLine(const std::vector<std::string>& args,
                                            std::string& error) {
  CommandLine line;
  double seconds = 0.0;
  // Options that take a positive number, and where they go.
  const std::map<std::string, double*> positive = {{"--seconds", &seconds},
                                                   {"--cadence", &line.simulation.cadence},
                                                   {"--rate", &line.simulation.sampleRate}};

  // Switches that take no value, and the flag each one sets.
  const std::map<std::string, bool*> switches = {
      {"--help", &line.help},
      {"-h", &line.help},
      {"--fast", &line.fast},
      {"--headless", &line.headless},
      {"--smoke-test", &line.smokeTest},
      {"--start", &line.start},
      {"--deliver-due-reminders", &line.deliverDueReminders}};

  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (const auto flag = switches.find(arg); flag != switches.end()) {
      *flag->second = true;
      continue;
    }
    const auto found = positive.find(arg);
    if (found == positive.end() && arg != "--seed" && arg != "--motion") {
      error = "unknown option \"" + arg + "\" (see --help)";
      return std::nullopt;
    }
    if (i + 1 == args.size()) {
      error = arg + " needs a value";
      return std::nullopt;
    }
    const std::string& value = args[++i];
    if (arg == "--motion") {
      auto source = parseMotionSource(value, error);
      if (!source) return std::nullopt;
      line.motion = *source;
    } else if (arg == "--seed") {
      if (!parseNumber(value, line.simulation.seed)) {
        error = "--seed takes a whole number, not \"" + value + "\"";
        return std::nullopt;
      }
    } else if (!parseNumber(value, *found->second) || *found->second <= 0.0) {
      error = arg + " takes a positive number, not \"" + value + "\"";
      return std::nullopt;
    } else if (arg == "--seconds") {
      line.seconds = seconds;
    }
  }

  const bool live = line.motion.kind == MotionSourceKind::standardInput ||
                    line.motion.kind == MotionSourceKind::namedPipe;
  if (line.fast && live) {
    error = "--fast cannot hurry a live stream; use it with sim or replay";
    return std::nullopt;
  }
  if (line.fast && line.motion.kind == MotionSourceKind::simulated && !line.seconds) {
    error = "--fast with simulated headphones needs --seconds, or it would never stop";
    return std::nullopt;
  }
  return line;
}

}  // namespace hopster
