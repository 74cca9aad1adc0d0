#include "commands/data_command_help.h"

#include <map>

namespace hopster {
namespace {

const std::map<std::string, std::string, std::less<>>& helpTexts() {
  static const std::map<std::string, std::string, std::less<>> texts = {
      {"history",
       "Usage: hopster history [--json]\n"
       "\n"
       "Lists the saved recordings, latest start first, as the History tab\n"
       "does: start date, duration, jumps, speed (jumps per second) and id.\n"
       "On a terminal the list is an aligned table; piped, one tab-separated\n"
       "line per recording without a header. A duration of 0 shows the speed\n"
       "as \"inf\".\n"
       "\n"
       "  --json   an array of objects: id, file, dateStart, dateEnd,\n"
       "           timeSpent, jumps, speed (null when the duration is 0)\n"},
      {"export",
       "Usage: hopster export --format csv|json [-o FILE]\n"
       "       hopster export RECORD --format csv [-o FILE]\n"
       "\n"
       "Without RECORD: all recordings as one summary, in the order of\n"
       "\"hopster history\": CSV with the header row\n"
       "id,file,dateStart,dateEnd,timeSpent,jumps,speed (an empty speed when\n"
       "the duration is 0), or JSON as \"hopster history --json\" writes it.\n"
       "With RECORD (a record file's path, or a record's id): that\n"
       "recording's whole motion CSV.\n"
       "\n"
       "  --format csv|json   the output format (required)\n"
       "  -o, --output FILE   write FILE instead of standard output: a file\n"
       "                      (or a link's target) is replaced atomically, a\n"
       "                      pipe or device is written as it is\n"},
      {"recount",
       "Usage: hopster recount FILE...\n"
       "\n"
       "Counts the jumps in each FILE again: a record, or anything\n"
       "\"--motion replay:\" accepts (a motion CSV, a Sensor Logger export).\n"
       "The samples go through the jump detector in virtual time, starting\n"
       "armed, and one line per file says \"FILE stored N recounted M\"\n"
       "(\"stored -\" for a file that is not a record). A progress bar shows on\n"
       "standard error when a terminal waits for many files.\n"
       "\n"
       "Exit status: 0 every count matches, 1 a count differs or a file\n"
       "could not be read, 2 a mistake on the command line.\n"},
      {"show",
       "Usage: hopster show RECORD [--json]\n"
       "\n"
       "One recording (RECORD: a record file's path, or a record's id): its\n"
       "start date, duration, jumps, speed, its best minute and its longest\n"
       "run, then its jumps minute by minute (as bars on a terminal). Minute k\n"
       "holds the jumps the detector counts on the stored trace from k to k+1\n"
       "minutes after the start. The longest run is the most jumps in a row\n"
       "with no gap between two of them longer than twice the recording's\n"
       "median gap. When the stored count differs from the trace's recount,\n"
       "a \"Recounted\" line says so.\n"
       "\n"
       "  --json   an object: id, dateStart, duration, jumps (as stored),\n"
       "           recountedJumps, jumpsPerMinute (minute 0 first),\n"
       "           peakJumpsPerMinute, longestRun ({jumps, seconds})\n"},
      {"stats",
       "Usage: hopster stats [--json]\n"
       "\n"
       "Total jumps (the running total), recordings, the best recording (most\n"
       "jumps), the best speed, the jumps this week (from the first day of\n"
       "the week of your locale, in local time) and the current and longest\n"
       "streak of days with a recording. The current streak ends today, or\n"
       "yesterday while today has no recording yet.\n"
       "\n"
       "  --json   an object: totalJumps, recordings, bestRecording (id, file,\n"
       "           dateStart, jumps, or null), bestSpeed (id, file, dateStart,\n"
       "           speed, or null), jumpsThisWeek, weekStart (YYYY-MM-DD),\n"
       "           currentStreak, longestStreak\n"},
      {"trophies",
       "Usage: hopster trophies [--json]\n"
       "\n"
       "The eleven trophies in the order of the Trophies tab, unlocked or\n"
       "locked, with their titles and subtitles; a secret trophy's subtitle\n"
       "reads \"Hidden Trophy\", as on its card.\n"
       "\n"
       "  --json   an array of objects: id, title, subtitle, difficulty,\n"
       "           hidden, isUnlocked\n"},
  };
  return texts;
}

}  // namespace

bool isDataCommand(std::string_view word) { return helpTexts().contains(word); }

std::optional<std::string> dataCommandHelp(std::string_view name) {
  const auto found = helpTexts().find(name);
  if (found == helpTexts().end()) return std::nullopt;
  return found->second;
}

std::string dataCommandsUsage() {
  return "Commands (each with --help; --json output is documented there):\n"
         "  history [--json]  the recordings, latest start first, with their date,\n"
         "                    duration, jumps and speed\n"
         "  export --format csv|json [-o FILE]\n"
         "                    all recordings as one summary\n"
         "  export RECORD --format csv [-o FILE]\n"
         "                    one recording's motion CSV (RECORD: a record file\n"
         "                    or a record id)\n"
         "  recount FILE...   count each record's or replay file's jumps again and\n"
         "                    compare with the stored count (exit 1 when any differs)\n"
         "  show RECORD [--json]\n"
         "                    one recording: its best minute, longest run and\n"
         "                    jumps minute by minute\n"
         "  stats [--json]    total jumps, recordings, bests, jumps this week,\n"
         "                    current and longest streak of days\n"
         "  trophies [--json] the trophies, unlocked and locked\n"
         "On a terminal these print aligned tables; piped, tab-separated lines.\n"
         "They exit 1 when data cannot be read or written, 2 on a usage mistake.\n";
}

}  // namespace hopster
