#include "app/command_line.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <map>
#include <string>
#include <utility>

#include "commands/data_commands.h"

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

// A mistake on the command line, and why.
Failure mistake(std::string why) { return {FailureKind::other, std::move(why)}; }

// A bound or a count as it is typed: whole numbers, without exponent.
std::string formatBound(double bound) { return std::to_string(static_cast<std::int64_t>(bound)); }

// An option's value, in its shortest form ("25", "0.5").
std::string formatValue(double value) {
  std::array<char, 32> text{};
  const auto result = std::to_chars(text.data(), text.data() + text.size(), value);
  return std::string(text.data(), result.ptr);
}

}  // namespace

std::string usageText() {
  return "Usage: hopster [options]\n"
         "       hopster COMMAND [options]\n"
         "\n"
         "Counts jumps from headphone motion. Without --headless it opens its\n"
         "window; on a machine without a display (neither X11 nor Wayland) it\n"
         "says so and records 30 seconds in the terminal instead.\n"
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
         "                      phone        HTTP pushes from the Sensor Logger phone app\n"
         "                                   (AirPods or the phone's own sensors), on\n"
         "                                   port 8000 of every interface; phone:PORT,\n"
         "                                   phone:ADDRESS:PORT and phone:[IPv6]:PORT\n"
         "                                   choose others; the URL to enter is printed\n"
         "                      iio          this phone's or tablet's own accelerometer\n"
         "                                   (and gyroscope) through Linux IIO, at 50\n"
         "                                   samples a second; iio:DEVICE picks one by\n"
         "                                   name or id (iio:iio:device2), @HZ a rate\n"
         "                                   (iio@100, iio:mpu6050@100): the nearest\n"
         "                                   the sensor offers is used\n"
         "  --seconds N       stop the recording after N seconds (at most 604800,\n"
         "                    a week; with sim, at most a million samples at --rate)\n"
         "  --fast            run in virtual time, as fast as the machine allows\n"
         "                    (sim and replay)\n"
         "  --cadence N       simulated jumps per second (default 2, at most 10)\n"
         "  --rate N          simulated samples per second (default 25, at most 1000)\n"
         "  --seed N          seed of the simulation (default: a fresh one)\n"
         "  --start           tap Start as soon as the window shows (hands-free\n"
         "                    recording, scripts)\n"
         "  --smoke-test      open the window, wait for its first frame and exit;\n"
         "                    fails on any QML warning\n"
         "  --deliver-due-reminders\n"
         "                    show the daily reminders that are due and exit (run\n"
         "                    by a user timer or a login entry while the app is closed)\n"
         "  --cancel-reminders\n"
         "                    remove the pending reminders and their timer or login\n"
         "                    entry, and exit\n"
         "  --version         print the version\n"
         "  --help            show this text\n"
         "\n" +
         dataCommandsUsage() +
         "\n"
         "Daily reminders: the desktop's notification service cannot schedule, so\n"
         "Hopster keeps pending reminders in $XDG_DATA_HOME/hopster/reminders.json\n"
         "and shows them when due: the running app checks every five minutes and\n"
         "at start, and while it is closed a systemd user timer\n"
         "(~/.config/systemd/user/hopster-reminders.timer; without a user manager,\n"
         "~/.config/autostart/hopster-reminders.desktop at login) runs\n"
         "\"hopster --deliver-due-reminders\". Of reminders missed meanwhile, only\n"
         "the latest is shown, once.\n"
         "\n"
         "Records are kept in $XDG_DATA_HOME/hopster/Documents (default\n"
         "~/.local/share/hopster/Documents), settings in\n"
         "$XDG_CONFIG_HOME/hopster/settings.json (default ~/.config/hopster).\n"
         "While a recording runs, its samples are journaled beside the records\n"
         "every two seconds; SIGINT, SIGTERM and SIGHUP stop and save it, and a\n"
         "recording cut short by a crash is saved at the next start.\n"
         "\n"
         "Exit status: 0 done; 1 the motion source or a check before the start\n"
         "failed, or the window could not open; 2 a mistake on the command line;\n"
         "3 the recording could not be saved (as much of it as its journal\n"
         "holds, which the output counts in jumps, is recovered at the next\n"
         "start).\n";
}

Outcome<CommandLine> parseCommandLine(const std::vector<std::string>& args) {
  CommandLine line;
  double seconds = 0.0;
  // Options that take a positive number, where they go and their largest
  // value: beyond these a run would fill the memory with samples (a rate)
  // or never end in any sense that matters (a cadence no one jumps at, a
  // recording of years).
  struct Bounded {
    double* value;
    double most;
    const char* unit;
  };
  const std::map<std::string, Bounded> positive = {
      {"--seconds", {&seconds, kMaxSeconds, "seconds (a week)"}},
      {"--cadence", {&line.simulation.cadence, kMaxCadence, "jumps per second"}},
      {"--rate", {&line.simulation.sampleRate, kMaxSampleRate, "samples per second"}}};

  // Switches that take no value, and the flag each one sets.
  const std::map<std::string, bool*> switches = {
      {"--help", &line.help},
      {"-h", &line.help},
      {"--version", &line.version},
      {"--fast", &line.fast},
      {"--headless", &line.headless},
      {"--smoke-test", &line.smokeTest},
      {"--start", &line.start},
      {"--deliver-due-reminders", &line.deliverDueReminders},
      {"--cancel-reminders", &line.cancelReminders}};

  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (const auto flag = switches.find(arg); flag != switches.end()) {
      *flag->second = true;
      continue;
    }
    const auto found = positive.find(arg);
    if (found == positive.end() && arg != "--seed" && arg != "--motion") {
      return mistake("unknown option \"" + arg + "\" (see --help)");
    }
    if (i + 1 == args.size()) {
      return mistake(arg + " needs a value");
    }
    const std::string& value = args[++i];
    if (arg == "--motion") {
      Outcome<MotionSourceChoice> source = parseMotionSource(value);
      if (!source) return std::move(source).error();
      line.motion = std::move(source).value();
    } else if (arg == "--seed") {
      if (!parseNumber(value, line.simulation.seed)) {
        return mistake("--seed takes a whole number, not \"" + value + "\"");
      }
    } else if (const Bounded& option = found->second;
               !parseNumber(value, *option.value) || *option.value <= 0.0) {
      return mistake(arg + " takes a positive number, not \"" + value + "\"");
    } else if (*option.value > option.most) {
      return mistake(arg + " takes at most " + formatBound(option.most) + " " + option.unit +
                     ", not \"" + value + "\"");
    } else if (arg == "--seconds") {
      line.seconds = seconds;
    }
  }

  if (const double samples = line.simulation.sampleRate * seconds;
      line.motion.kind == MotionSourceKind::simulated && line.seconds &&
      samples > kMaxSimulatedSamples) {
    return mistake(
        "--seconds " + formatValue(seconds) + " at --rate " +
        formatValue(line.simulation.sampleRate) + " makes " + formatBound(std::ceil(samples)) +
        " simulated samples; a recording holds at most " + formatBound(kMaxSimulatedSamples));
  }
  const bool live = line.motion.kind == MotionSourceKind::standardInput ||
                    line.motion.kind == MotionSourceKind::namedPipe ||
                    line.motion.kind == MotionSourceKind::phone ||
                    line.motion.kind == MotionSourceKind::iio;
  if (line.fast && live) {
    return mistake("--fast cannot hurry a live stream; use it with sim or replay");
  }
  if (line.fast && line.motion.kind == MotionSourceKind::simulated && !line.seconds) {
    return mistake("--fast with simulated headphones needs --seconds, or it would never stop");
  }
  return line;
}

}  // namespace hopster
