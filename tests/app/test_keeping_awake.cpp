// The real program keeps the system awake through logind (a mock on a
// private bus) while it records, and only then.
#include <gtest/gtest.h>

#include <csignal>
#include <regex>

#include "reminders/private_session_bus.h"
#include "support/child_program.h"
#include "support/temp_dir.h"

namespace hopster {
namespace {

using testing::PrivateSessionBus;

TEST(KeepingAwake, ARecordingHoldsOffSleepUntilItStopsEndsOrIsKilled) {
  PrivateSessionBus bus;
  if (bus.missing() || !bus.startLogind()) GTEST_SKIP() << "no logind mock on this machine";
  const std::string one = R"([("sleep", "Hopster", "Counting jumps", "block", 1000, 123456)])";
  const testing::TempDir home;
  const auto run = [&](std::vector<std::string> args, int signal, const char* until) {
    testing::ChildProgram hopster(HOPSTER_BINARY, home.path(), args);
    EXPECT_TRUE(hopster.waitFor("^Starting in 1")) << hopster.output();
    EXPECT_EQ(PrivateSessionBus::inhibitors(), "[]") << "none during the countdown";
    EXPECT_TRUE(hopster.waitFor(until)) << hopster.output();
    EXPECT_TRUE(PrivateSessionBus::waitForInhibitors(one)) << PrivateSessionBus::inhibitors();
    EXPECT_EQ(signal == 0 ? hopster.wait() : hopster.stop(signal), signal == SIGKILL ? 137 : 0);
    EXPECT_TRUE(PrivateSessionBus::waitForInhibitors("[]")) << PrivateSessionBus::inhibitors();
    return hopster.output();
  };
  // Held through the recording, not only at its start; gone once stopped.
  const std::string first = run({"--headless", "--seconds", "60"}, SIGTERM, "^Jumps: 2$");
  std::smatch record;
  ASSERT_TRUE(std::regex_search(first, record, std::regex("Record saved: file://(\\S+)")));
  // That recording replayed to its end, and a recording killed.
  run({"--headless", "--motion", "replay:" + record[1].str()}, 0, "^Recording\\.");
  run({"--headless", "--seconds", "60"}, SIGKILL, "^Recording\\.");
}

}  // namespace
}  // namespace hopster
