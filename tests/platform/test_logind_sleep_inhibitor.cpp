#include <gtest/gtest.h>
#include <stdio.h>

#include <cstdlib>

#include "platform/linux/logind_sleep_inhibitor.h"
#include "reminders/private_session_bus.h"

namespace hopster {
namespace {

using testing::PrivateSessionBus;

TEST(LogindSleepInhibitor, HoldsABlockingSleepInhibitorUntilTheHoldGoesAndNoChildKeepsIt) {
  ::setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/system_bus_socket", 1);
  const auto noBus = LogindSleepInhibitor().holdOffSleep("Hopster", "Counting jumps");
  ASSERT_FALSE(noBus);
  EXPECT_EQ(noBus.error().message, "no system bus (No such file or directory)");
  PrivateSessionBus bus;
  if (bus.missing() || !bus.startLogind()) GTEST_SKIP() << "no logind mock on this machine";
  const std::string one = R"([("sleep", "Hopster", "Counting jumps", "block", 1000, 123456)])";
  FILE* child = nullptr;
  {
    const auto hold = LogindSleepInhibitor().holdOffSleep("Hopster", "Counting jumps");
    ASSERT_TRUE(hold) << hold.error().message;
    EXPECT_TRUE(PrivateSessionBus::waitForInhibitors(one)) << PrivateSessionBus::inhibitors();
    // A program started meanwhile, still running when the hold goes, must
    // not keep the inhibitor.
    child = ::popen("exec cat", "w");
    EXPECT_EQ(PrivateSessionBus::inhibitors(), one) << "still held";
  }
  EXPECT_TRUE(PrivateSessionBus::waitForInhibitors("[]")) << PrivateSessionBus::inhibitors();
  if (child != nullptr) ::pclose(child);
}

}  // namespace
}  // namespace hopster
