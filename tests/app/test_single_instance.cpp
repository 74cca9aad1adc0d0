// One Hopster window per session: the real program on a private session bus
// owns org.hopster.Hopster while its window is open, a second plain launch
// activates it and ends, and the other modes never forward.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <systemd/sd-bus.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <thread>

#include "reminders/private_session_bus.h"
#include "support/child_program.h"
#include "support/temp_dir.h"

namespace hopster {
namespace {

using testing::ChildProgram;
using ::testing::HasSubstr;
using testing::PrivateSessionBus;

constexpr const char* kName = "org.hopster.Hopster";

// The bus daemon's answer to `method` about the name, as text: the owner's
// process id ("1234") for GetConnectionUnixProcessID, [":1.4"] for
// ListQueuedOwners; "none" when there is no answer (no one owns the name).
std::string askBus(const char* method) {
  sd_bus* bus = nullptr;
  sd_bus_message* reply = nullptr;
  std::string text = "none";
  if (sd_bus_open_user(&bus) >= 0 &&
      sd_bus_call_method(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                         "org.freedesktop.DBus", method, nullptr, &reply, "s", kName) >= 0)
    text = testing::describe(reply);
  sd_bus_message_unref(reply);
  sd_bus_flush_close_unref(bus);
  return text;
}

// Waits up to thirty seconds for `program` to own the name; whether it did.
bool waitForOwner(const ChildProgram& program) {
  const std::string pid = std::to_string(program.pid());
  for (int attempt = 0; attempt < 1500 && askBus("GetConnectionUnixProcessID") != pid; ++attempt)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  return askBus("GetConnectionUnixProcessID") == pid;
}

// gdbus's exit status for `method` of org.freedesktop.Application with
// `arguments`, sent to the name's owner.
int callApplication(const std::string& method, const std::string& arguments) {
  return std::system(("gdbus call --session --dest org.hopster.Hopster --object-path "
                      "/org/hopster/Hopster --method org.freedesktop.Application." +
                      method + " " + arguments + " >/dev/null 2>&1")
                         .c_str());
}

// A scratch home past the first-run pages.
struct WindowHome {
  testing::TempDir dir;
  WindowHome() {
    std::filesystem::create_directories(dir.path() / "config/hopster");
    std::ofstream(dir.path() / "config/hopster/settings.json") << R"({"hasSeenOnboarding": true})";
  }
  ChildProgram launch(const std::vector<std::string>& args) const {
    ChildProgram::Options window;
    window.offscreenWindow = true;
    return {HOPSTER_BINARY, dir.path(), args, window};
  }
};

// Faults caught: the window not taking the name, a second launch that opens a second window or
// takes the name over, a launch that swallows --start silently, the interface missing at its path
// or with other argument types, an unknown action acted on, a headless recording forwarded instead
// of recorded, and a launch that opens a second window (a second recording controller) or ends as
// if all was well when the open one does not answer.
TEST(SingleInstance, ASecondLaunchActivatesTheOpenWindowAndOtherModesRunAsBefore) {
  PrivateSessionBus bus;
  if (bus.missing()) GTEST_SKIP() << bus.missing();
  const WindowHome home;
  ChildProgram first = home.launch({});
  ASSERT_TRUE(waitForOwner(first)) << first.output();

  struct Launch {
    std::vector<std::string> args;
    const char* says;
  };
  for (const Launch& launch :
       {Launch{{}, "its window was brought to the front"},
        Launch{{"--start", "--motion", "phone"}, "(the options given here were ignored)"}}) {
    ChildProgram second = home.launch(launch.args);
    EXPECT_EQ(second.wait(30.0), 0) << second.output();
    EXPECT_THAT(second.output(), HasSubstr(launch.says));
  }
  EXPECT_TRUE(waitForOwner(first));
  EXPECT_EQ(askBus("ListQueuedOwners").find(','), std::string::npos) << "one owner, none queued";

  EXPECT_EQ(callApplication("Activate", "{}"), 0);
  EXPECT_EQ(callApplication("Open", "\"['file:///tmp/1764942759.5.json']\" {}"), 0);
  EXPECT_EQ(callApplication("ActivateAction", "jump [] {}"), 0);
  EXPECT_EQ(callApplication("ActivateAction", "dance [] {}"), 0);
  EXPECT_TRUE(first.waitFor("^Ignored the unknown application action \"dance\"$"))
      << first.output();

  ChildProgram headless = home.launch({"--headless", "--fast", "--seconds", "5", "--seed", "7"});
  EXPECT_EQ(headless.wait(), 0) << headless.output();
  EXPECT_THAT(headless.output(), HasSubstr("Record saved: file://"));
  EXPECT_TRUE(waitForOwner(first));

  // An open window that does not answer (stopped): the launch says so and
  // fails, rather than open a second window or end as if all was well.
  ::kill(first.pid(), SIGSTOP);
  ChildProgram second = home.launch({});
  EXPECT_EQ(second.wait(30.0), 1) << second.output();
  EXPECT_THAT(second.output(), HasSubstr("Hopster is already open but did not answer"));
  ::kill(first.pid(), SIGCONT);
  EXPECT_EQ(first.stop(SIGTERM), 0) << first.output();
}

}  // namespace
}  // namespace hopster
