#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "records/history_format.h"
#include "support/temp_dir.h"

namespace hopster {
namespace {

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
  EXPECT_EQ(formatSpeed(2, 3.0), "0.67");
  EXPECT_EQ(formatDuration(65.257), "1m 5.25s");
  EXPECT_EQ(formatDuration(3725.9), "1h 2m 5.90s");
}

}  // namespace
}  // namespace hopster
