#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QLocale>
#include <QTimeZone>
#include <sstream>

#include <nlohmann/json.hpp>

#include "commands/data_commands.h"
#include "platform/linux/memory_log.h"
#include "records/motion_csv.h"
#include "records/record_store.h"
#include "screens/qt_calendar.h"
#include "support/temp_dir.h"

namespace hopster {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

constexpr double kRecordStart = 1764942759.0;
constexpr double kSampleStep = 0.04;  // 25 samples a second

// A trace of `seconds` at 25 Hz standing still, with a jump (one sample
// above the threshold, then one below zero) at each of `jumpTimes`.
std::string traceWithJumps(double seconds, const std::vector<double>& jumpTimes) {
  std::vector<MotionDataPoint> samples;
  auto next = jumpTimes.begin();
  for (int i = 0; i * kSampleStep < seconds; ++i) {
    const double t = i * kSampleStep;
    double z = 0.0;
    if (next != jumpTimes.end() && t >= *next - 1e-9) {
      z = 1.2;
      ++next;
    } else if (!samples.empty() && samples.back().globalAccelerationZ > 1.0) {
      z = -0.5;
    }
    samples.push_back(
        {.timeStamp = kRecordStart + t, .accelerationZ = z, .globalAccelerationZ = z});
  }
  return makeMotionCSV(samples);
}

std::vector<double> spaced(double from, double gap, int count) {
  std::vector<double> times;
  for (int i = 0; i < count; ++i) times.push_back(from + gap * i);
  return times;
}

class ShowCommand : public ::testing::Test {
 protected:
  ShowCommand() { std::filesystem::create_directories(locations_.documents); }

  // Saves a record of a 150 s session: 10 jumps in the first minute, a
  // run of 40 in the second, 5 in the third.
  UserRecordData save(std::int64_t storedJumps) {
    std::vector<double> times = spaced(5.0, 2.0, 10);
    for (const double t : spaced(62.0, 0.48, 40)) times.push_back(t);
    for (const double t : spaced(125.0, 4.0, 5)) times.push_back(t);
    UserRecordData record{.id = "A1B2",
                          .dateStart = kRecordStart,
                          .dateEnd = kRecordStart + 150.0,
                          .timeSpent = 150.0,
                          .jumps = storedJumps,
                          .csvText = traceWithJumps(150.0, times),
                          .unlockedTrophy = std::nullopt};
    RecordStore store(locations_.documents, log_);
    EXPECT_FALSE(store.saveUserRecordData(record, "1764942759.0"));
    return record;
  }

  int run(std::vector<std::string> args, bool terminal = false) {
    out_.str({});
    err_.str({});
    const DataCommandEnvironment environment{.locations = locations_,
                                             .out = out_,
                                             .err = err_,
                                             .outIsTerminal = terminal,
                                             .errIsTerminal = false,
                                             .now = kRecordStart + 3600.0,
                                             .calendar = calendar_};
    args.insert(args.begin(), "show");
    return runDataCommand(args, environment);
  }

  testing::TempDir home_;
  DataLocations locations_{home_.path() / "records", home_.path() / "settings.json", {}};
  MemoryLog log_;
  QtCalendar calendar_{QLocale(QLocale::English, QLocale::UnitedKingdom), QTimeZone::utc()};
  std::ostringstream out_, err_;
};

TEST_F(ShowCommand, GivesTheMinutesPeakAndLongestRunOfARecordNamedByFileOrId) {
  save(55);
  const std::string file = (locations_.documents / "1764942759.0.json").string();
  for (const std::string& name : {file, std::string("A1B2")}) {
    SCOPED_TRACE(name);
    ASSERT_EQ(run({name, "--json"}), 0) << err_.str();
    const auto json = nlohmann::json::parse(out_.str());
    EXPECT_EQ(json["id"], "A1B2");
    EXPECT_EQ(json["dateStart"], kRecordStart);
    EXPECT_EQ(json["duration"], 150.0);
    EXPECT_EQ(json["jumps"], 55);
    EXPECT_EQ(json["recountedJumps"], 55);
    EXPECT_EQ(json["jumpsPerMinute"], nlohmann::json({10, 40, 5}));
    EXPECT_EQ(json["peakJumpsPerMinute"], 40);
    // Gaps of 2 s, 0.48 s and 4 s: the median is 0.48 s, so only the second
    // minute's 40 jumps run together, over 18.72 s.
    EXPECT_EQ(json["longestRun"]["jumps"], 40);
    EXPECT_NEAR(json["longestRun"]["seconds"].get<double>(), 18.72, 1e-3);
  }
}

TEST_F(ShowCommand, ReadsAsBarsOnATerminalAndAsOneLineAMinuteWhenPiped) {
  save(55);
  ASSERT_EQ(run({"A1B2"}, true), 0) << err_.str();
  const std::string shown = out_.str();
  EXPECT_THAT(shown, HasSubstr("Peak minute  40 jumps, from 1:00 to 2:00\n"));
  EXPECT_THAT(shown, HasSubstr("Longest run  40 jumps in 18.72s\n"));
  // The peak minute's bar is the widest, 30 cells; the others in proportion.
  EXPECT_THAT(shown, HasSubstr("1:00  " + [] {
                std::string full;
                for (int i = 0; i < 30; ++i) full += "█";
                return full;
              }() + "  40\n"));
  EXPECT_THAT(shown, HasSubstr("0:00  ███████▌"));
  EXPECT_THAT(shown, Not(HasSubstr("Recounted")));

  ASSERT_EQ(run({"A1B2"}), 0) << err_.str();
  EXPECT_THAT(out_.str(), HasSubstr("Jumps\t55\n"));
  EXPECT_THAT(out_.str(), HasSubstr("minute 0\t10\nminute 1\t40\nminute 2\t5\n"));
  EXPECT_THAT(out_.str(), Not(HasSubstr("█")));
}

TEST_F(ShowCommand, SaysWhenTheStoredCountDiffersFromTheTracesRecount) {
  save(60);
  ASSERT_EQ(run({"A1B2"}), 0) << err_.str();
  EXPECT_THAT(out_.str(), HasSubstr("Jumps\t60\n"));
  EXPECT_THAT(out_.str(), HasSubstr("Recounted\t55 jumps: the stored count differs"));
  ASSERT_EQ(run({"A1B2", "--json"}), 0);
  EXPECT_EQ(nlohmann::json::parse(out_.str())["recountedJumps"], 55);
}

TEST_F(ShowCommand, RefusesAMissingOrExtraRecordAndNamesOneItCannotFind) {
  save(55);
  const struct {
    std::vector<std::string> args;
    int status;
    std::string error;
  } cases[] = {
      {{}, 2, "hopster show: show takes one RECORD (see hopster show --help)\n"},
      {{"A1B2", "A1B2"}, 2, "hopster show: show takes one RECORD (see hopster show --help)\n"},
      {{"--csv", "A1B2"}, 2, "hopster show: unknown option \"--csv\" (see hopster show --help)\n"},
      {{"C3D4"}, 1, "hopster show: no record file or record id \"C3D4\"\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    EXPECT_EQ(run(c.args), c.status);
    EXPECT_EQ(err_.str(), c.error);
    EXPECT_EQ(out_.str(), "");
  }
}

}  // namespace
}  // namespace hopster
