#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QLocale>
#include <QTimeZone>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <utility>

#include <nlohmann/json.hpp>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>

#include "commands/data_commands.h"
#include "commands/data_forms.h"
#include "commands/recount.h"
#include "commands/text_output.h"
#include "platform/linux/posix_io.h"
#include "screens/qt_calendar.h"
#include "support/child_program.h"
#include "support/temp_dir.h"
#include "trophies/trophy_catalogue.h"

namespace hopster {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

// Seconds since 1970 of a local wall-clock time in `zone`, written
// "yyyy-MM-ddTHH:mm", or "yyyy-MM-dd" for noon.
double at(const QTimeZone& zone, const QString& when) {
  const QTime time = when.size() > 10 ? QTime::fromString(when.mid(11), "HH:mm") : QTime(12, 0);
  const QDateTime local(QDate::fromString(when.left(10), Qt::ISODate), time, zone);
  return static_cast<double>(local.toMSecsSinceEpoch()) / 1000.0;
}

RecordingEntry recording(double dateStart, std::int64_t jumps, double timeSpent = 60.0,
                         std::string id = "ID") {
  return RecordingEntry{"/records/" + id + ".json", std::move(id), dateStart,
                        dateStart + timeSpent,      timeSpent,     jumps};
}

// RFC 4180 fields back out of CSV text, row by row.
std::vector<std::vector<std::string>> parseCsv(const std::string& text) {
  std::vector<std::vector<std::string>> rows;
  std::vector<std::string> row(1);
  bool quoted = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '"' && quoted && i + 1 < text.size() && text[i + 1] == '"') {
      row.back() += text[i++];
    } else if (c == '"') {
      quoted = !quoted;
    } else if (quoted || (c != ',' && c != '\n')) {
      row.back() += c;
    } else if (c == ',') {
      row.emplace_back();
    } else {
      rows.push_back(std::exchange(row, std::vector<std::string>(1)));
    }
  }
  if (row != std::vector<std::string>(1)) rows.push_back(row);  // no line feed after the last
  return rows;
}

// The CSV summary holds the history JSON's fields row by row: a header of
// the key names, text as it is, numbers the same, a null speed empty.
void expectCsvHoldsTheJson(const std::string& csv, const nlohmann::json& json) {
  const std::vector<std::string> header = {"id",        "file",  "dateStart", "dateEnd",
                                           "timeSpent", "jumps", "speed"};
  const auto rows = parseCsv(csv);
  ASSERT_EQ(rows.size(), json.size() + 1);
  EXPECT_EQ(rows[0], header);
  for (std::size_t i = 0; i < json.size(); ++i) {
    SCOPED_TRACE(json[i]["id"]);
    const auto& row = rows[i + 1];
    ASSERT_EQ(row.size(), header.size());
    EXPECT_EQ(row[0], json[i]["id"]);
    EXPECT_EQ(row[1], json[i]["file"]);
    for (std::size_t column = 2; column < header.size(); ++column) {
      const auto& value = json[i][header[column]];
      EXPECT_EQ(row[column].empty() ? -1.0 : std::stod(row[column]),
                value.is_null() ? -1.0 : value.get<double>())
          << header[column];
    }
  }
}

TEST(Stats, StreaksAndWeeksFollowLocalCalendarDays) {
  const QTimeZone utc = QTimeZone::utc();
  const QTimeZone berlin("Europe/Berlin");
  const QTimeZone newYork("America/New_York");
  struct Case {
    const char* name;
    QTimeZone zone;
    Qt::DayOfWeek firstDay;
    std::int64_t current, longest, thisWeek;  // thisWeek: recordings have 1 jump each
    const char* now;
    const char* starts;  // separated by spaces
  };
  const std::vector<Case> cases = {
      {"empty history", utc, Qt::Monday, 0, 0, 0, "2026-12-07", ""},
      {"across a month end", utc, Qt::Monday, 3, 3, 3, "2026-02-01T20:00",
       "2026-01-30 2026-01-31 2026-02-01"},
      {"across a year end, nothing yet today", utc, Qt::Monday, 2, 2, 2, "2027-01-02T08:00",
       "2026-12-31T23:59 2027-01-01T00:01"},
      {"a gap ends the streak", utc, Qt::Monday, 0, 3, 3, "2026-11-07",
       "2026-11-01 2026-11-02 2026-11-03 2026-11-05"},
      {"two recordings on one day count once", utc, Qt::Monday, 2, 2, 3, "2026-11-03T21:00",
       "2026-11-02T08:00 2026-11-02T20:00 2026-11-03"},
      // Spring forward: late evenings an hour apart in UTC fall on one UTC
      // day, but on separate local days around the 23-hour day.
      {"over the change to summer time", berlin, Qt::Monday, 3, 3, 1, "2026-03-30T09:00",
       "2026-03-28T23:30 2026-03-29T23:30 2026-03-30T00:30"},
      {"over the change back to winter time", berlin, Qt::Monday, 2, 2, 0, "2026-10-26T01:00",
       "2026-10-24T00:30 2026-10-25T00:30 2026-10-25T23:30"},
      {"a late evening is local, not UTC", newYork, Qt::Monday, 2, 2, 0, "2026-12-07T07:00",
       "2026-12-05T22:00 2026-12-06T23:30"},
      // Sunday 6 December 2026: the week began Monday 30 November, or that
      // very Sunday.
      {"a week from Monday", utc, Qt::Monday, 2, 2, 3, "2026-12-06T18:00",
       "2026-11-29 2026-11-30 2026-12-05 2026-12-06"},
      {"a week from Sunday", utc, Qt::Sunday, 2, 2, 1, "2026-12-06T18:00",
       "2026-11-29 2026-11-30 2026-12-05 2026-12-06"},
      {"a recording after now is not this week", utc, Qt::Monday, 0, 1, 0, "2026-12-07",
       "2026-12-08"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<RecordingEntry> list;
    for (const QString& start : QString(c.starts).split(' ', Qt::SkipEmptyParts)) {
      list.push_back(recording(at(c.zone, start), 1));
    }
    const QtCalendar calendar(c.firstDay == Qt::Sunday ? QLocale("en_US") : QLocale::c(), c.zone);
    const RecordStats stats = computeStats(list, 77, at(c.zone, c.now), calendar);
    EXPECT_EQ(stats.currentStreak, c.current);
    EXPECT_EQ(stats.longestStreak, c.longest);
    EXPECT_EQ(stats.jumpsThisWeek, c.thisWeek);
    EXPECT_EQ(stats.recordings, list.size());
    EXPECT_EQ(stats.totalJumps, 77);
    ASSERT_TRUE(stats.weekStart);
    EXPECT_EQ(weekdayOf(*stats.weekStart), c.firstDay);
  }
}

TEST(Stats, BestsSkipInfiniteSpeedsAndPreferTheEarlierRecording) {
  const std::vector<RecordingEntry> list = {
      recording(5000, 30, 0.0, "zero-duration"),  // infinite speed
      recording(4000, 150, 100.0, "later-tie"),   // 1.5 per second
      recording(3000, 150, 60.0, "earlier-tie"),  // 2.5 per second
      recording(2000, 10, 4.0, "fast-too"),       // 2.5 per second, earliest
  };
  const QtCalendar utc(QLocale::c(), QTimeZone::utc());
  const RecordStats stats = computeStats(list, 0, 6000, utc);
  ASSERT_TRUE(stats.bestRecording && stats.bestSpeed);
  EXPECT_EQ(list[*stats.bestRecording].id, "earlier-tie");
  EXPECT_EQ(list[*stats.bestSpeed].id, "fast-too");

  const auto json = statsJson(stats, list);
  EXPECT_EQ(json["bestRecording"]["jumps"], 150);
  EXPECT_EQ(json["bestSpeed"]["speed"], 2.5);

  const auto empty = statsJson(computeStats({}, 0, 6000, utc), {});
  EXPECT_TRUE(empty["bestRecording"].is_null());
  EXPECT_TRUE(empty["bestSpeed"].is_null());
  EXPECT_EQ(empty["weekStart"], "1969-12-29") << "the week of Thursday 1 January 1970";
}

TEST(Stats, TheWeekStartsOnTheLocalesFirstDay) {
  for (const auto& [name, day] : std::vector<std::pair<const char*, Qt::DayOfWeek>>{
           {"en_US", Qt::Sunday}, {"de_DE", Qt::Monday}, {"ar_EG", Qt::Saturday}}) {
    EXPECT_EQ(QtCalendar(QLocale(name), QTimeZone::utc()).firstDayOfWeek(), day) << name;
  }
}

TEST(HistoryForms, ZeroDurationHasNoSpeedAndTheCsvReadsBackAsTheJson) {
  std::vector<RecordingEntry> list = {
      recording(1764942759.123456, 150, 65.257, "A"),
      recording(1764942000.5, 3, 0.0, "zero"),
      recording(1764940000.0, 1, 0.00005, "tiny"),
  };
  list[0].file = "/data/odd, \"name\"\n.json";
  const auto json = historyJson(list);
  EXPECT_TRUE(json[1]["speed"].is_null());
  EXPECT_EQ(json[0]["speed"], 150 / 65.257);

  expectCsvHoldsTheJson(summaryCsv(list), nlohmann::json::parse(json.dump()));
}

TEST(TextForms, CsvFieldsAreQuotedOnlyWhenNeeded) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"plain", "plain"},
      {"", ""},
      {"a,b", "\"a,b\""},
      {"say \"hi\"", "\"say \"\"hi\"\"\""},
      {"two\nlines", "\"two\nlines\""},
      {"carriage\rreturn", "\"carriage\rreturn\""},
      {" padded", "\" padded\""},
      {"padded ", "\"padded \""},
      {"inner space", "inner space"},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(csvField(text), expected) << text;
}

TEST(TextForms, TablesAlignByCharactersOrStayOneLinePerRow) {
  const TextTable table{{"Name", "Jumps"}, {{"—", "5"}, {"long\tname", "150"}}, {false, true}};
  std::ostringstream aligned, plain;
  writeTable(aligned, table, true);
  writeTable(plain, table, false);
  EXPECT_EQ(aligned.str(),
            "Name       Jumps\n"
            "—              5\n"
            "long name    150\n");
  EXPECT_EQ(plain.str(), "—\t5\nlong name\t150\n");
}

TEST(TextForms, HiddenTrophiesKeepTheirSecretInEveryForm) {
  Trophy secret = trophyCatalogue()[4];  // "750-under-5min"
  ASSERT_TRUE(secret.hidden);
  for (const bool unlocked : {false, true}) {
    secret.isUnlocked = unlocked;
    EXPECT_EQ(shownSubtitle(secret), "Hidden Trophy");
    EXPECT_EQ(trophiesJson({secret})[0]["subtitle"], "Hidden Trophy");
  }
  const Trophy& open = trophyCatalogue()[5];
  EXPECT_EQ(shownSubtitle(open), open.subtitle);
}

// The real program, with its data in a scratch home.
struct ProgramRun {
  int status;
  std::string output;
};

ProgramRun runHopster(const fs::path& home, const std::vector<std::string>& args) {
  testing::ChildProgram program(HOPSTER_BINARY, home, args);
  return ProgramRun{program.wait(120.0), program.output()};  // in this order: braces sequence
}

std::string readText(const fs::path& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class RealData : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    home_ = new testing::TempDir;
    // Two recordings: about 60 and 240 jumps, the second fast enough for
    // trophies.
    for (const auto& seconds : {"30", "100"}) {
      const ProgramRun run = runHopster(home(), {"--headless", "--fast", "--seconds", seconds,
                                                 "--cadence", "2.5", "--seed", "5"});
      ASSERT_EQ(run.status, 0) << run.output;
    }
  }
  static void TearDownTestSuite() { delete home_; }
  static fs::path home() { return home_->path(); }
  static nlohmann::json history() {
    return nlohmann::json::parse(runHopster(home(), {"history", "--json"}).output);
  }

  static testing::TempDir* home_;
};

testing::TempDir* RealData::home_ = nullptr;

TEST_F(RealData, HistoryJsonAndSummaryCsvDescribeTheSameRecordings) {
  const ProgramRun history = runHopster(home(), {"history", "--json"});
  ASSERT_EQ(history.status, 0) << history.output;
  const auto json = nlohmann::json::parse(history.output);
  ASSERT_EQ(json.size(), 2u);
  EXPECT_GT(json[0]["dateStart"].get<double>(), json[1]["dateStart"].get<double>());

  const fs::path csvFile = home() / "summary.csv";
  const ProgramRun exported =
      runHopster(home(), {"export", "--format", "csv", "-o", csvFile.string()});
  ASSERT_EQ(exported.status, 0) << exported.output;
  EXPECT_EQ(exported.output, "") << "-o leaves standard output empty";
  expectCsvHoldsTheJson(readText(csvFile), json);
  for (const auto& recording : json) EXPECT_TRUE(fs::exists(recording["file"].get<std::string>()));

  // Piped, the table is one tab-separated line per recording, ids last.
  const ProgramRun plain = runHopster(home(), {"history"});
  ASSERT_EQ(plain.status, 0) << plain.output;
  EXPECT_THAT(plain.output, HasSubstr("\t" + json[0]["id"].get<std::string>() + "\n"));
  EXPECT_THAT(plain.output, HasSubstr(" J/S\t"));
}

TEST_F(RealData, RecountAgreesWithTheRecorderAndFlagsAChangedCount) {
  const auto json = history();
  const std::string record = json[0]["file"];
  const std::int64_t jumps = json[0]["jumps"];

  // The trace alone, as a motion CSV, exported by id.
  const fs::path trace = home() / "trace.csv";
  const ProgramRun exported = runHopster(home(), {"export", json[0]["id"].get<std::string>(),
                                                  "--format", "csv", "-o", trace.string()});
  ASSERT_EQ(exported.status, 0) << exported.output;

  // The same record claiming one jump more.
  auto changed = nlohmann::json::parse(readText(record));
  changed["jumps"] = jumps + 1;
  const fs::path tampered = home() / "tampered.json";
  std::ofstream(tampered) << changed.dump();

  // JSON, but some other program's.
  const fs::path notRecord = home() / "package.json";
  std::ofstream(notRecord) << R"({"name": "left-pad", "version": "1.3.0"})";

  // What the motion reader refuses: a file named by what it is, or a socket
  // in the system's words.
  const fs::path fifo = home() / "motion.fifo", zip = home() / "cut.zip";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::ofstream(zip) << "PK\x03\x04 and no end record";
  sockaddr_un address{.sun_family = AF_UNIX, .sun_path = {}};
  const std::string socket = (home() / "motion.socket").string();
  socket.copy(address.sun_path, sizeof address.sun_path - 1);
  const UniqueFd listening(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  ASSERT_EQ(::bind(listening.get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

  const std::string count = std::to_string(jumps);
  struct Case {
    std::vector<std::string> files;
    int status;
    std::vector<std::string> lines;
  };
  const std::vector<Case> cases = {
      {{record}, 0, {record + " stored " + count + " recounted " + count}},
      {{trace.string()}, 0, {trace.string() + " stored - recounted " + count}},
      {{record, tampered.string()},
       1,
       {tampered.string() + " stored " + std::to_string(jumps + 1) + " recounted " + count}},
      {{(home() / "missing.json").string(), record}, 1, {"missing.json: ", " recounted "}},
      {{notRecord.string()}, 1, {notRecord.string() + " is not a Hopster record: no \"id\" key"}},
      {{fifo.string(), zip.string(), socket},
       1,
       {fifo.string() + " is not a regular file (a FIFO)\n",
        zip.string() + " is not a zip archive\n", socket + ": No such device or address\n"}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"recount"};
    args.insert(args.end(), c.files.begin(), c.files.end());
    const ProgramRun run = runHopster(home(), args);
    EXPECT_EQ(run.status, c.status) << run.output;
    for (const auto& line : c.lines) EXPECT_THAT(run.output, HasSubstr(line));
  }
}

TEST_F(RealData, StatsAndTrophiesReadTheStoredState) {
  const ProgramRun stats = runHopster(home(), {"stats", "--json"});
  ASSERT_EQ(stats.status, 0) << stats.output;
  const auto json = nlohmann::json::parse(stats.output);
  std::int64_t sum = 0;
  for (const auto& recording : history()) sum += recording["jumps"].get<std::int64_t>();
  EXPECT_EQ(json["totalJumps"], sum);
  EXPECT_EQ(json["recordings"], 2);
  EXPECT_EQ(json["currentStreak"], 1);
  EXPECT_EQ(json["jumpsThisWeek"], sum);

  const ProgramRun trophies = runHopster(home(), {"trophies", "--json"});
  ASSERT_EQ(trophies.status, 0) << trophies.output;
  const auto list = nlohmann::json::parse(trophies.output);
  ASSERT_EQ(list.size(), 11u);
  EXPECT_EQ(list[0]["id"], "trophy-first-10");
  EXPECT_EQ(list[0]["isUnlocked"], true);
  EXPECT_EQ(list[4]["subtitle"], "Hidden Trophy");
  EXPECT_EQ(list[10]["isUnlocked"], false);
}

TEST_F(RealData, MistakesAndMissingDataExitWithTheirStatus) {
  const struct {
    std::vector<std::string> args;
    int status;
    const char* message;
  } cases[] = {
      {{"export", "NO-SUCH-ID", "--format", "csv"}, 1, "no record file or record id"},
      {{"export", "--format", "xml"}, 2, "--format takes csv or json"},
      {{"export"}, 2, "--format csv or --format json is required"},
      {{"export", "--format"}, 2, "--format needs a value"},
      {{"history", "--bogus"}, 2, "unknown option \"--bogus\""},
      {{"stats", "extra"}, 2, "unexpected argument"},
      {{"recount"}, 2, "name at least one FILE"},
      {{"export", "--format", "csv", "-o", "/nonexistent-folder/x.csv"}, 1, "cannot write"},
      {{"trophies", "--help"}, 0, "Usage: hopster trophies"},
      {{"--version"}, 0, "hopster " HOPSTER_VERSION},
  };
  for (const auto& c : cases) {
    const ProgramRun run = runHopster(home(), c.args);
    EXPECT_EQ(run.status, c.status) << ::testing::PrintToString(c.args) << run.output;
    EXPECT_THAT(run.output, HasSubstr(c.message)) << ::testing::PrintToString(c.args);
  }
}

// A records folder that cannot be listed fails the listing commands; a
// missing one is an empty history, without a word. Catches an unlistable
// folder passed off as "no recordings" with exit status 0, and a first
// history told that its folder could not be listed.
TEST(RecordsFolder, AnUnlistableFolderFailsAndAMissingOneIsEmpty) {
  const testing::TempDir home;
  const ProgramRun empty = runHopster(home.path(), {"history", "--json"});
  EXPECT_EQ(empty.status, 0) << empty.output;
  EXPECT_EQ(empty.output, "[]\n");

  fs::create_directories(home.path() / "data" / "hopster");
  std::ofstream(home.path() / "data" / "hopster" / "Documents") << "not a folder";
  for (const auto& command : {"history", "stats", "export"}) {
    std::vector<std::string> args{command};
    if (std::string_view(command) == "export") args.insert(args.end(), {"--format", "json"});
    const ProgramRun run = runHopster(home.path(), args);
    EXPECT_EQ(run.status, 1) << command << run.output;
    EXPECT_THAT(run.output, HasSubstr("cannot list ")) << command;
    EXPECT_THAT(run.output, HasSubstr("Not a directory")) << command;
  }
}

TEST_F(RealData, OutputGoesWhereItsPathLeadsAndReplacesNothingElse) {
  testing::TempDir scratch;
  const fs::path out = scratch.path();
  fs::create_directories(out / "sub");
  // A link to the program's own standard output, as /dev/stdout is.
  fs::create_symlink("/proc/self/fd/1", out / "stdout");
  fs::create_symlink("sub/real.csv", out / "link.csv");
  const bool devices = ::mknod((out / "full").c_str(), S_IFCHR | 0600, makedev(1, 7)) == 0;
  struct Case {
    const char* path;
    int status;
    const char* printed;      // in the output; the CSV header when it reaches standard output
    fs::file_type typeAfter;  // of the path itself, not followed
  };
  std::vector<Case> cases = {
      {"stdout", 0, "id,file,dateStart", fs::file_type::symlink},
      {"link.csv", 0, "", fs::file_type::symlink},
  };
  if (devices) cases.push_back({"full", 1, "No space left on device", fs::file_type::character});
  for (const Case& c : cases) {
    const ProgramRun run =
        runHopster(home(), {"export", "--format", "csv", "-o", (out / c.path).string()});
    EXPECT_EQ(run.status, c.status) << c.path << ": " << run.output;
    EXPECT_THAT(run.output, HasSubstr(c.printed)) << c.path;
    EXPECT_EQ(fs::symlink_status(out / c.path).type(), c.typeAfter) << c.path;
  }
  EXPECT_THAT(readText(out / "sub/real.csv"), ::testing::StartsWith("id,file,dateStart"));
}

TEST(ReadOnlyCommands, ReportADamagedSettingsFileAndWriteNothing) {
  testing::TempDir home;
  const fs::path config = home.path() / "config" / "hopster";
  fs::create_directories(config);
  const std::string settings = R"({"totalJumps": "12", "unlockedTrophies": ["trophy-first-10"]})";
  std::ofstream(config / "settings.json") << settings;
  for (const char* command : {"trophies", "stats", "history"}) {
    const ProgramRun run = runHopster(home.path(), {command});
    EXPECT_EQ(run.status, 0) << command << ": " << run.output;
    if (std::string(command) != "history") {
      EXPECT_THAT(run.output, HasSubstr("wrong type")) << command;
    }
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(config))
      names.push_back(entry.path().filename());
    EXPECT_EQ(names, std::vector<std::string>{"settings.json"}) << command;
    EXPECT_EQ(readText(config / "settings.json"), settings) << command;
    EXPECT_FALSE(fs::exists(home.path() / "data")) << command;
  }
}

TEST(Fallback, WithoutADisplayPlainHopsterRecordsInTheTerminal) {
  testing::TempDir home;
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) ::unsetenv(name);
  const ProgramRun run = runHopster(home.path(), {"--seconds", "1"});
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_THAT(run.output, HasSubstr("no display"));
  EXPECT_THAT(run.output, HasSubstr("Jumps counted: "));
  EXPECT_THAT(run.output, HasSubstr("Total jumps: "));
}

}  // namespace
}  // namespace hopster
