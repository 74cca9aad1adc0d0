#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "records/history_format.h"
#include "support/temp_dir.h"

namespace hopster {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(FormatDuration, WritesHoursMinutesAndCutHundredthsOrADash) {
  // 59.999 is cut, not rounded up to 60.00s; minutes show as 0 beside hours.
  const std::pair<double, const char*> cases[] = {
      {0.0, "0.00s"},          {5.5, "5.50s"},
      {59.999, "59.99s"},      {60.0, "1m 0.00s"},
      {65.257, "1m 5.25s"},    {3599.5, "59m 59.50s"},
      {3600.0, "1h 0m 0.00s"}, {90061.25, "25h 1m 1.25s"}};
  for (const auto& [seconds, text] : cases) EXPECT_EQ(formatDuration(seconds), text) << seconds;
  // Seconds that do not fit a 64-bit integer give a dash.
  for (const double seconds : {kNaN, kInf, -kInf, 0x1p63, -1e300}) {
    EXPECT_EQ(formatDuration(seconds), "—") << seconds;
  }
  EXPECT_EQ(formatDuration(0x1p62), "1281023894007607h 45m 4.00s");
}

TEST(FormatSpeed, WritesJumpsPerSecondWithTwoRoundedDecimals) {
  EXPECT_EQ(formatSpeed(150, 65.257), "2.30");
  EXPECT_EQ(formatSpeed(2, 3.0), "0.67");
  EXPECT_EQ(formatSpeed(1, 0.0), "inf");
  const std::string huge = formatSpeed(1, 1e-300);  // about 1e300, written in full
  EXPECT_GT(huge.size(), 300u);
  EXPECT_EQ(huge.substr(huge.size() - 3), ".00");
}

std::vector<std::string> sortedIds(const std::vector<std::pair<std::string, double>>& starts) {
  std::vector<UserRecordData> records;
  for (const auto& [id, start] : starts) {
    records.emplace_back().id = id;
    records.back().dateStart = start;
  }
  sortByStartDescending(records);
  std::vector<std::string> ids;
  for (const auto& r : records) ids.push_back(r.id);
  return ids;
}

TEST(SortByStartDescending, PutsLatestStartFirstAndNaNsLastAndKeepsTies) {
  EXPECT_EQ(sortedIds({{"n1", kNaN}, {"a", -5}, {"n2", kNaN}, {"b", 7}}),
            (std::vector<std::string>{"b", "a", "n1", "n2"}));
  // Large enough that an unstable sort would reorder ties.
  std::vector<std::pair<std::string, double>> starts;
  std::vector<std::string> expected;
  for (int i = 0; i < 99; ++i) starts.emplace_back(std::to_string(i), i % 3);
  for (int start = 2; start >= 0; --start) {
    for (int i = start; i < 99; i += 3) expected.push_back(std::to_string(i));
  }
  EXPECT_EQ(sortedIds(starts), expected);
}

// Switches the process's numeric locale to one with a decimal comma for the
// test's span: German where installed, else a minimal one compiled for the
// test (glibc's localedef, found through LOCPATH).
class CommaLocale {
 public:
  CommaLocale() {
    if (const char* old = std::setlocale(LC_NUMERIC, nullptr)) old_ = old;
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr) return;
    const auto source = dir_.path() / "comma";
    std::ofstream(source) << "LC_NUMERIC\ndecimal_point \",\"\nthousands_sep \".\"\n"
                             "grouping 3;3\nEND LC_NUMERIC\n";
    const std::string command = "localedef -c -f UTF-8 -i '" + source.string() + "' '" +
                                (dir_.path() / "comma.UTF-8").string() + "' >/dev/null 2>&1";
    (void)std::system(command.c_str());  // warns about the categories it lacks
    ::setenv("LOCPATH", dir_.path().c_str(), 1);
    std::setlocale(LC_NUMERIC, "comma.UTF-8");
    ::unsetenv("LOCPATH");
  }
  ~CommaLocale() { std::setlocale(LC_NUMERIC, old_.c_str()); }

  // Whether printf now writes a comma, as the user's locale would make it.
  [[nodiscard]] static bool active() {
    char text[16];
    std::snprintf(text, sizeof text, "%.2f", 2.5);
    return std::string(text) == "2,50";
  }

 private:
  testing::TempDir dir_;
  std::string old_ = "C";
};

TEST(HistoryTextUnderACommaLocale, KeepsTheDecimalPoint) {
  CommaLocale comma;
  if (!CommaLocale::active()) GTEST_SKIP() << "no locale with a decimal comma could be set up";
  EXPECT_EQ(formatSpeed(150, 65.257), "2.30");
  EXPECT_EQ(formatDuration(65.257), "1m 5.25s");
}

}  // namespace
}  // namespace hopster
