#include "commands/data_commands.h"

#include <unistd.h>

#include <algorithm>
#include <iostream>
#include <optional>

#include "commands/data_command_help.h"
#include "commands/data_forms.h"
#include "commands/progress_bar.h"
#include "commands/recount.h"
#include "commands/show_forms.h"
#include "commands/text_output.h"
#include "motion_sources/motion_trace.h"
#include "platform/key_value_store.h"
#include "platform/linux/atomic_file.h"
#include "platform/linux/file_key_value_storage.h"
#include "platform/linux/system_clock.h"
#include "records/history_format.h"
#include "trophies/trophy_manager.h"

namespace hopster {
namespace {

// Recounting at least this many files on a terminal shows a progress bar.
constexpr std::size_t kProgressBarFiles = 10;

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

  // A command that reads the whole list and takes `--json` alone: its
  // arguments and the list, or nothing with `status` set.
  struct Listing {
    Arguments arguments;
    std::vector<RecordingEntry> entries;
  };
  std::optional<Listing> parseAndList(const std::vector<std::string>& args, int& status) {
    auto parsed = parse(args, true, false, false, status);
    if (!parsed) return std::nullopt;
    auto list = recordings(status);
    if (!list) return std::nullopt;
    return Listing{std::move(*parsed), std::move(*list)};
  }

  std::optional<std::vector<RecordingEntry>> recordings(int& status) {
    const RecordStore store(env_.locations.documents, log_, env_.locations.summaryCache);
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
        return failure("cannot write " + *file + ": " + error->message);
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
  const auto listing = command.parseAndList(args, status);
  if (!listing) return status;
  const std::vector<RecordingEntry>& list = listing->entries;
  const DataCommandEnvironment& env = command.env_;
  if (listing->arguments.json) {
    env.out << dumpJson(historyJson(list));
    return command.finish();
  }
  if (list.empty() && env.outIsTerminal) {
    env.out << "No data recorded yet\n";
    return command.finish();
  }
  TextTable table{
      {"Start Date", "Duration", "Jumps", "Speed", "ID"}, {}, {false, true, true, true, false}};
  for (const RecordingEntry& entry : list) {
    table.rows.push_back({env.calendar.startText(entry.dateStart), formatDuration(entry.timeSpent),
                          std::to_string(entry.jumps), speedText(entry.jumps, entry.timeSpent),
                          entry.id});
  }
  writeTable(env.out, table, env.outIsTerminal);
  return command.finish();
}

// A record named on the command line: a file, or the id of a saved record.
std::optional<UserRecordData> findRecord(Command& command, const std::string& name, int& status) {
  std::error_code ignored;
  if (std::filesystem::is_regular_file(name, ignored)) {
    auto record = readRecordFile(name);
    if (!record) {
      status = command.failure(name + ": " + record.error().message);
      return std::nullopt;
    }
    return std::move(record).value();
  }
  const auto list = command.recordings(status);
  if (!list) return std::nullopt;
  const auto found = std::find_if(list->begin(), list->end(),
                                  [&](const RecordingEntry& entry) { return entry.id == name; });
  if (found == list->end()) {
    status = command.failure("no record file or record id \"" + name + "\"");
    return std::nullopt;
  }
  auto record = readRecordFile(found->file);
  if (!record) {
    status = command.failure(found->file.string() + ": " + record.error().message);
    return std::nullopt;
  }
  return std::move(record).value();
}

int runShow(Command& command, const std::vector<std::string>& args) {
  int status = 0;
  const auto parsed = command.parse(args, true, false, true, status);
  if (!parsed) return status;
  if (parsed->positional.size() != 1) return command.usageError("show takes one RECORD");
  const auto record = findRecord(command, parsed->positional.front(), status);
  if (!record) return status;
  const MotionTrace trace = parseMotionTrace(record->csvText);
  const RecordingAnalysis analysis = analyseRecording(trace.samples, record->timeSpent);
  const ShownRecording shown{*record, analysis, trace.truncated};
  const DataCommandEnvironment& env = command.env_;
  env.out << (parsed->json ? dumpJson(showJson(shown))
                           : showText(shown, env.calendar, env.outIsTerminal));
  return command.finish();
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
    const auto recount = recountFile(files[i]);
    bar.clear();
    if (!recount) {
      // "x.json is not a Hopster record", "fifo is not a regular file (a FIFO)".
      const Failure& failure = recount.error();
      const bool names =
          failure.kind == FailureKind::notARecord || failure.kind == FailureKind::notRegularFile;
      command.failure(files[i] + (names ? " is " : ": ") + failure.message);
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
  const auto listing = command.parseAndList(args, status);
  if (!listing) return status;
  const std::vector<RecordingEntry>& list = listing->entries;
  const DataCommandEnvironment& env = command.env_;
  KeyValueStore settings(FileKeyValueStorage::forReading(env.locations.settingsFile), command.log_);
  const RecordStats stats =
      computeStats(list, settings.integer("totalJumps"), env.now, env.calendar);
  if (listing->arguments.json) {
    env.out << dumpJson(statsJson(stats, list));
    return command.finish();
  }
  const auto at = [&](std::size_t index) { return env.calendar.startText(list[index].dateStart); };
  const auto days = [](std::int64_t count) {
    return std::to_string(count) + (count == 1 ? " day" : " days");
  };
  TextTable table{{"Statistic", "Value"}, {}, {}};
  table.rows.push_back({"Total jumps", std::to_string(stats.totalJumps)});
  table.rows.push_back({"Recordings", std::to_string(stats.recordings)});
  table.rows.push_back({"Best recording", stats.bestRecording
                                              ? std::to_string(list[*stats.bestRecording].jumps) +
                                                    " jumps on " + at(*stats.bestRecording)
                                              : "-"});
  table.rows.push_back(
      {"Best speed",
       stats.bestSpeed ? speedText(list[*stats.bestSpeed].jumps, list[*stats.bestSpeed].timeSpent) +
                             " on " + at(*stats.bestSpeed)
                       : "-"});
  table.rows.push_back(
      {"Jumps this week",
       std::to_string(stats.jumpsThisWeek) + " since " +
           (stats.weekStart ? env.calendar.shortDayText(*stats.weekStart) : std::string("-"))});
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

DataCommandEnvironment DataCommandEnvironment::forUser(const Calendar& calendar) {
  return DataCommandEnvironment{.locations = DataLocations::forUser(),
                                .out = std::cout,
                                .err = std::cerr,
                                .outIsTerminal = ::isatty(STDOUT_FILENO) == 1,
                                .errIsTerminal = ::isatty(STDERR_FILENO) == 1,
                                .now = SystemClock().now(),
                                .calendar = calendar};
}

int runDataCommand(const std::vector<std::string>& args,
                   const DataCommandEnvironment& environment) {
  if (args.empty() || !isDataCommand(args.front())) {
    environment.err << "hopster: unknown command\n";
    return kExitUsage;
  }
  const std::string& name = args.front();
  if (std::find(args.begin() + 1, args.end(), "--help") != args.end() ||
      std::find(args.begin() + 1, args.end(), "-h") != args.end()) {
    environment.out << *dataCommandHelp(name);
    return 0;
  }
  Command command(name, environment);
  if (name == "history") return runHistory(command, args);
  if (name == "export") return runExport(command, args);
  if (name == "recount") return runRecount(command, args);
  if (name == "stats") return runStats(command, args);
  if (name == "show") return runShow(command, args);
  return runTrophies(command, args);
}

}  // namespace hopster
