#include "app/data_commands.h"

#include <unistd.h>

#include <algorithm>
#include <iostream>
#include <map>
#include <optional>

#include "app/data_forms.h"
#include "app/recount.h"
#include "app/text_output.h"
#include "platform/atomic_file.h"
#include "platform/clock.h"
#include "platform/file_key_value_storage.h"
#include "platform/key_value_store.h"
#include "records/history_format.h"
#include "trophies/trophy_manager.h"

namespace hopster {
namespace {

// Recounting at least this many files on a terminal shows a progress bar.
constexpr std::size_t kProgressBarFiles = 10;

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

// Log lines of the data layer, on standard error.
class ErrorLog final : public Log {
 public:
  ErrorLog(std::ostream& err, std::string prefix) : err_(err), prefix_(std::move(prefix)) {}
  void line(std::string_view message) override { err_ << prefix_ << message << std::endl; }

 private:
  std::ostream& err_;
  std::string prefix_;
};

// The parsed arguments of one data command.
struct Arguments {
  bool json = false;
  std::optional<std::string> format;
  std::optional<std::string> output;
  std::vector<std::string> positional;
};

class Command {
 public:
  Command(std::string name, const DataCommandEnvironment& environment)
      : name_(std::move(name)),
        env_(environment),
        log_(environment.err, "hopster " + name_ + ": ") {}

  int usageError(const std::string& message) const {
    env_.err << "hopster " << name_ << ": " << message << " (see hopster " << name_ << " --help)\n";
    return kExitUsage;
  }
  int failure(const std::string& message) const {
    env_.err << "hopster " << name_ << ": " << message << '\n';
    return kExitFailure;
  }

  // Reads the arguments after the command's name (--help is handled before):
  // `--json` when `takesJson`, `--format` and `-o` when `exports`, and
  // positional arguments when `takesFiles`.
  std::optional<Arguments> parse(const std::vector<std::string>& args, bool takesJson, bool exports,
                                 bool takesFiles, int& status) const {
    Arguments parsed;
    bool optionsEnded = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
      const std::string& arg = args[i];
      if (optionsEnded || arg == "-" || !arg.starts_with("-")) {
        if (!takesFiles) {
          status = usageError("unexpected argument \"" + arg + "\"");
          return std::nullopt;
        }
        parsed.positional.push_back(arg);
      } else if (arg == "--") {
        optionsEnded = true;
      } else if (arg == "--json" && takesJson) {
        parsed.json = true;
      } else if (exports && (arg == "--format" || arg == "-o" || arg == "--output")) {
        if (i + 1 == args.size()) {
          status = usageError(arg + " needs a value");
          return std::nullopt;
        }
        (arg == "--format" ? parsed.format : parsed.output) = args[++i];
      } else {
        status = usageError("unknown option \"" + arg + "\"");
        return std::nullopt;
      }
    }
    return parsed;
  }

  std::optional<std::vector<RecordingEntry>> recordings(int& status) {
    const FileManagerSingleton store(env_.locations.documents, log_, env_.locations.summaryCache);
    RecordingList list = listRecordings(store, log_);
    if (list.error) {
      status = failure(*list.error);
      return std::nullopt;
    }
    return std::move(list.entries);
  }

  // Writes `text` to standard output, or atomically to `file`.
  int deliver(const std::string& text, const std::optional<std::string>& file) const {
    if (file) {
      if (const auto error = writeFileAtomically(*file, text)) {
        return failure("cannot write " + *file + ": " + *error);
      }
      return 0;
    }
    env_.out << text;
    return finish();
  }

  // The status once everything is written: standard output can fail late
  // (a full disk, a closed pipe).
  int finish() const {
    env_.out.flush();
    if (!env_.out) return failure("cannot write the output");
    return 0;
  }

  std::string name_;
  const DataCommandEnvironment& env_;
  ErrorLog log_;
};

std::string speedText(std::int64_t jumps, double timeSpent) {
  return formatSpeed(jumps, timeSpent) + " J/S";
}

std::string dumpJson(const nlohmann::ordered_json& json) {
  return json.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

int runHistory(Command& command, const std::vector<std::string>& args) {
  int status = 0;
  const auto parsed = command.parse(args, true, false, false, status);
  if (!parsed) return status;
  const auto list = command.recordings(status);
  if (!list) return status;
  const DataCommandEnvironment& env = command.env_;
  if (parsed->json) {
    env.out << dumpJson(historyJson(*list));
    return command.finish();
  }
  if (list->empty() && env.outIsTerminal) {
    env.out << "No data recorded yet\n";
    return command.finish();
  }
  TextTable table{
      {"Start Date", "Duration", "Jumps", "Speed", "ID"}, {}, {false, true, true, true, false}};
  for (const RecordingEntry& entry : *list) {
    table.rows.push_back({startDateText(entry.dateStart, env.locale, env.zone),
                          formatDuration(entry.timeSpent), std::to_string(entry.jumps),
                          speedText(entry.jumps, entry.timeSpent), entry.id});
  }
  writeTable(env.out, table, env.outIsTerminal);
  return command.finish();
}

// A record named on the command line: a file, or the id of a saved record.
std::optional<UserRecordData> findRecord(Command& command, const std::string& name, int& status) {
  std::error_code ignored;
  if (std::filesystem::is_regular_file(name, ignored)) {
    std::string error;
    auto record = readRecordFile(name, error);
    if (!record) status = command.failure(name + ": " + error);
    return record;
  }
  const auto list = command.recordings(status);
  if (!list) return std::nullopt;
  const auto found = std::find_if(list->begin(), list->end(),
                                  [&](const RecordingEntry& entry) { return entry.id == name; });
  if (found == list->end()) {
    status = command.failure("no record file or record id \"" + name + "\"");
    return std::nullopt;
  }
  std::string error;
  auto record = readRecordFile(found->file, error);
  if (!record) status = command.failure(found->file.string() + ": " + error);
  return record;
}

int runExport(Command& command, const std::vector<std::string>& args) {
  int status = 0;
  const auto parsed = command.parse(args, false, true, true, status);
  if (!parsed) return status;
  if (!parsed->format) return command.usageError("--format csv or --format json is required");
  if (*parsed->format != "csv" && *parsed->format != "json") {
    return command.usageError("--format takes csv or json, not \"" + *parsed->format + "\"");
  }
  if (parsed->positional.size() > 1) return command.usageError("export takes one RECORD at most");
  if (parsed->positional.empty()) {
    const auto list = command.recordings(status);
    if (!list) return status;
    return command.deliver(
        *parsed->format == "csv" ? summaryCsv(*list) : dumpJson(historyJson(*list)),
        parsed->output);
  }
  if (*parsed->format != "csv") {
    return command.usageError("a single RECORD is exported as its motion CSV: use --format csv");
  }
  const auto record = findRecord(command, parsed->positional.front(), status);
  if (!record) return status;
  return command.deliver(record->csvText, parsed->output);
}

// A one-line progress bar on standard error, redrawn in place.
class ProgressBar {
 public:
  ProgressBar(std::ostream& err, std::size_t total, bool shown)
      : err_(err), total_(total), shown_(shown) {}
  ~ProgressBar() { clear(); }
  void show(std::size_t done) {
    if (!shown_) return;
    constexpr std::size_t kWidth = 30;
    const std::size_t filled = total_ == 0 ? kWidth : done * kWidth / total_;
    err_ << "\r[" << std::string(filled, '#') << std::string(kWidth - filled, '.') << "] " << done
         << "/" << total_ << std::flush;
    drawn_ = true;
  }
  void clear() {
    if (drawn_) err_ << "\r\033[K" << std::flush;
    drawn_ = false;
  }

 private:
  std::ostream& err_;
  std::size_t total_;
  bool shown_;
  bool drawn_ = false;
};

int runRecount(Command& command, const std::vector<std::string>& args) {
  int status = 0;
  const auto parsed = command.parse(args, false, false, true, status);
  if (!parsed) return status;
  if (parsed->positional.empty()) return command.usageError("name at least one FILE");
  const DataCommandEnvironment& env = command.env_;
  const auto& files = parsed->positional;
  ProgressBar bar(env.err, files.size(), env.errIsTerminal && files.size() >= kProgressBarFiles);
  bool allMatch = true;
  for (std::size_t i = 0; i < files.size(); ++i) {
    bar.show(i);
    std::string error;
    const auto recount = recountFile(files[i], error);
    bar.clear();
    if (!recount) {
      command.failure(files[i] + (error.starts_with("not a ") ? " is " : ": ") + error);
      allMatch = false;
      continue;
    }
    env.out << recountLine(files[i], *recount) << std::endl;
    if (recount->differs()) allMatch = false;
  }
  bar.show(files.size());
  bar.clear();
  const int written = command.finish();
  return written != 0 ? written : (allMatch ? 0 : kExitFailure);
}

int runStats(Command& command, const std::vector<std::string>& args) {
  int status = 0;
  const auto parsed = command.parse(args, true, false, false, status);
  if (!parsed) return status;
  const auto list = command.recordings(status);
  if (!list) return status;
  const DataCommandEnvironment& env = command.env_;
  KeyValueStore settings(FileKeyValueStorage::forReading(env.locations.settingsFile), command.log_);
  const RecordStats stats =
      computeStats(*list, settings.integer("totalJumps"), env.now, env.zone, env.firstDayOfWeek);
  if (parsed->json) {
    env.out << dumpJson(statsJson(stats, *list));
    return command.finish();
  }
  const auto at = [&](std::size_t index) {
    return startDateText((*list)[index].dateStart, env.locale, env.zone);
  };
  const auto days = [](std::int64_t count) {
    return std::to_string(count) + (count == 1 ? " day" : " days");
  };
  TextTable table{{"Statistic", "Value"}, {}, {}};
  table.rows.push_back({"Total jumps", std::to_string(stats.totalJumps)});
  table.rows.push_back({"Recordings", std::to_string(stats.recordings)});
  table.rows.push_back(
      {"Best recording", stats.bestRecording ? std::to_string((*list)[*stats.bestRecording].jumps) +
                                                   " jumps on " + at(*stats.bestRecording)
                                             : "-"});
  table.rows.push_back({"Best speed", stats.bestSpeed
                                          ? speedText((*list)[*stats.bestSpeed].jumps,
                                                      (*list)[*stats.bestSpeed].timeSpent) +
                                                " on " + at(*stats.bestSpeed)
                                          : "-"});
  table.rows.push_back(
      {"Jumps this week", std::to_string(stats.jumpsThisWeek) + " since " +
                              env.locale.toString(stats.weekStart, "ddd d MMM").toStdString()});
  table.rows.push_back({"Current streak", days(stats.currentStreak)});
  table.rows.push_back({"Longest streak", days(stats.longestStreak)});
  writeTable(env.out, table, env.outIsTerminal);
  return command.finish();
}

int runTrophies(Command& command, const std::vector<std::string>& args) {
  int status = 0;
  const auto parsed = command.parse(args, true, false, false, status);
  if (!parsed) return status;
  const DataCommandEnvironment& env = command.env_;
  KeyValueStore settings(FileKeyValueStorage::forReading(env.locations.settingsFile), command.log_);
  const TrophyManager manager(settings);
  if (parsed->json) {
    env.out << dumpJson(trophiesJson(manager.trophies()));
    return command.finish();
  }
  TextTable table{{"Status", "Title", "Subtitle"}, {}, {}};
  for (const Trophy& trophy : manager.trophies()) {
    table.rows.push_back(
        {trophy.isUnlocked ? "unlocked" : "locked", trophy.title, shownSubtitle(trophy)});
  }
  writeTable(env.out, table, env.outIsTerminal);
  return command.finish();
}

}  // namespace

DataCommandEnvironment DataCommandEnvironment::forUser() {
  const QLocale locale;
  return DataCommandEnvironment{.locations = DataLocations::forUser(),
                                .out = std::cout,
                                .err = std::cerr,
                                .outIsTerminal = ::isatty(STDOUT_FILENO) == 1,
                                .errIsTerminal = ::isatty(STDERR_FILENO) == 1,
                                .now = SystemClock().now(),
                                .locale = locale,
                                .zone = QTimeZone::systemTimeZone(),
                                .firstDayOfWeek = locale.firstDayOfWeek()};
}

bool isDataCommand(std::string_view word) { return helpTexts().contains(word); }

int runDataCommand(const std::vector<std::string>& args,
                   const DataCommandEnvironment& environment) {
  if (args.empty() || !isDataCommand(args.front())) {
    environment.err << "hopster: unknown command\n";
    return kExitUsage;
  }
  const std::string& name = args.front();
  if (std::find(args.begin() + 1, args.end(), "--help") != args.end() ||
      std::find(args.begin() + 1, args.end(), "-h") != args.end()) {
    environment.out << helpTexts().find(name)->second;
    return 0;
  }
  Command command(name, environment);
  if (name == "history") return runHistory(command, args);
  if (name == "export") return runExport(command, args);
  if (name == "recount") return runRecount(command, args);
  if (name == "stats") return runStats(command, args);
  return runTrophies(command, args);
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
         "  stats [--json]    total jumps, recordings, bests, jumps this week,\n"
         "                    current and longest streak of days\n"
         "  trophies [--json] the trophies, unlocked and locked\n"
         "On a terminal these print aligned tables; piped, tab-separated lines.\n"
         "They exit 1 when data cannot be read or written, 2 on a usage mistake.\n";
}

}  // namespace hopster
