#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <linux/input.h>
#include <signal.h>
#include <stdio.h>
#include <systemd/sd-bus.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/linux/feedbackd_haptic_device.h"
#include "platform/linux/force_feedback_haptic_device.h"
#include "platform/linux/memory_log.h"
#include "platform/linux/screen_saver_inhibitor.h"
#include "platform/linux/speech_announcer.h"
#include "platform/linux/system_haptic_device.h"
#include "support/temp_dir.h"

namespace hopster {
namespace {

using Parameters = std::vector<HapticEventParameter>;
constexpr auto kIntensity = HapticParameterId::intensity;
constexpr auto kSharpness = HapticParameterId::sharpness;

HapticPattern tap(Parameters parameters) { return {std::move(parameters), 0.0}; }
HapticPattern tap(float intensity, float sharpness) {
  return tap({{kIntensity, intensity}, {kSharpness, sharpness}});
}
// The trophy card's tap: sharpness first, intensity above the scale.
const Parameters kTrophy{{kSharpness, 1.0F}, {kIntensity, 1.5F}};

TEST(HapticPattern, KeepsParameterOrderAndRejectsNonFiniteValues) {
  EXPECT_EQ(HapticPattern::transient(kTrophy)->eventParameters, kTrophy);
  EXPECT_FALSE(HapticPattern::transient({{kIntensity, std::nanf("")}}));
  EXPECT_FALSE(HapticPattern::transient({{kSharpness, INFINITY}}));
}

TEST(ForceFeedbackHapticDevice, MapsTapsOntoShortRumbles) {
  const struct {
    HapticPattern pattern;
    int strong, weak, milliseconds;
  } rows[] = {
      {tap(0.8F, 0.7F), 52428, 36700, 26},
      {tap(kTrophy), 65535, 65535, 20},  // clamped to full strength
      {tap(-0.5F, 0.0F), 0, 0, 40},
      {tap({{kIntensity, std::nanf("")}}), 65535, 32768, 30},  // full strength, medium sharpness
  };
  for (const auto& row : rows) {
    const ff_effect effect = ForceFeedbackHapticDevice::rumbleFor(row.pattern);
    EXPECT_EQ(effect.type, FF_RUMBLE);
    EXPECT_NEAR(effect.u.rumble.strong_magnitude, row.strong, 1);
    EXPECT_NEAR(effect.u.rumble.weak_magnitude, row.weak, 1);
    EXPECT_EQ(effect.replay.length, row.milliseconds);
  }
}

// A dbus-daemon of this test's own, so no real session bus is touched, with a
// stand-in for feedbackd on it: it owns feedbackd's name and records each
// TriggerFeedback call as one line, answering on a thread of its own.
struct PrivateFeedbackd {
  FILE* daemon = ::popen(
      "exec dbus-daemon --session --nofork --print-address=1 --print-pid=1 2>/dev/null", "r");
  pid_t pid = 0;
  sd_bus* bus = nullptr;
  std::vector<std::string> calls;  // read only once stopped
  std::atomic<bool> stopping = false;
  std::thread loop;

  PrivateFeedbackd() {
    char address[512] = "";
    if (!daemon || !std::fgets(address, sizeof address, daemon) ||
        std::fscanf(daemon, "%d", &pid) != 1)
      return;
    address[std::strcspn(address, "\n")] = '\0';
    ::setenv("DBUS_SESSION_BUS_ADDRESS", address, 1);  // the user's session bus from now on
    if (sd_bus_open_user(&bus) >= 0 &&
        sd_bus_add_object(bus, nullptr, "/org/sigxcpu/Feedback", &answer, this) >= 0 &&
        sd_bus_request_name(bus, "org.sigxcpu.Feedback", 0) >= 0)
      loop = std::thread([this] {
        while (!stopping)
          if (sd_bus_process(bus, nullptr) == 0) sd_bus_wait(bus, 20'000);
      });
  }
  ~PrivateFeedbackd() {
    stop();
    if (pid > 0) ::kill(pid, SIGTERM);
    if (daemon != nullptr) ::pclose(daemon);  // waits for the daemon to end
  }
  // Gives up the name and leaves the bus.
  void stop() {
    stopping = true;
    if (loop.joinable()) loop.join();
    if (bus != nullptr) sd_bus_release_name(bus, "org.sigxcpu.Feedback");
    bus = sd_bus_flush_close_unref(bus);
  }
  static int answer(sd_bus_message* call, void* self, sd_bus_error*) {
    auto& fake = *static_cast<PrivateFeedbackd*>(self);
    const char *app, *event, *hint, *value;
    int length = 0;
    if (!sd_bus_message_is_method_call(call, "org.sigxcpu.Feedback", "TriggerFeedback") ||
        sd_bus_message_read(call, "ssa{sv}i", &app, &event, 1, &hint, "s", &value, &length) < 0)
      return 0;  // sd-bus answers with an error
    fake.calls.push_back(std::string(app) + " " + event + " " + hint + "=" + value + " " +
                         std::to_string(length));
    return sd_bus_reply_method_return(call, "u", 1U);
  }
};

TEST(SystemHapticDevice, UsesFeedbackdWhileItRunsElseFallsBackToNoHaptics) {
  const testing::TempDir noRumble;
  std::ofstream(noRumble.path() / "event0") << "named like an input device, cannot rumble";
  MemoryLog log;
  const std::string noBus = "unix:path=" + (noRumble.path() / "no-bus").string();
  EXPECT_FALSE(makeSystemHapticDevice(log, noBus, noRumble.path())->supportsHaptics());
  EXPECT_FALSE(screenReaderEnabled(noBus));
  const auto noScreenSaver = ScreenSaverInhibitor::inhibit("Hopster", "test", noBus);
  ASSERT_FALSE(noScreenSaver);
  EXPECT_FALSE(noScreenSaver.error().message.empty());
  PrivateFeedbackd feedbackd;
  if (feedbackd.pid == 0) GTEST_SKIP() << "no dbus-daemon on this machine";
  // A bus without the accessibility service or a screen saver: no screen
  // reader, so no speech, and no inhibition, with the bus's reason.
  EXPECT_FALSE(screenReaderEnabled());
  const auto unanswered = ScreenSaverInhibitor::inhibit("Hopster", "test");
  ASSERT_FALSE(unanswered);
  EXPECT_THAT(unanswered.error().message, ::testing::HasSubstr("org.freedesktop.ScreenSaver"));
  const auto device = makeSystemHapticDevice(log, "", noRumble.path());
  ASSERT_NE(dynamic_cast<FeedbackdHapticDevice*>(device.get()), nullptr);
  const HapticEngine engine = device->makeEngine().value();
  EXPECT_FALSE(device->startEngine(engine));
  for (const auto& pattern : {tap(0.8F, 0.7F), tap(1.0F, 0.5F), tap(kTrophy)})
    EXPECT_FALSE(device->startPlayer(device->makePlayer(pattern, engine).value()));
  feedbackd.stop();
  EXPECT_EQ(device->startEngine(engine).value_or(HapticError{}).description,
            "feedbackd is not running");
  // The bus's own answer is passed on.
  EXPECT_EQ(device->startPlayer({engine, tap(0.8F, 0.7F)}).value_or(HapticError{}).description,
            "The name org.sigxcpu.Feedback was not provided by any .service files");
  const std::string light = "org.hopster.Hopster button-pressed profile=quiet -1";
  const std::string strong = "org.hopster.Hopster timeout-completed profile=quiet -1";
  EXPECT_EQ(feedbackd.calls, (std::vector<std::string>{light, strong, strong}));
  EXPECT_FALSE(makeSystemHapticDevice(log, "", noRumble.path())->supportsHaptics());
  EXPECT_TRUE(log.lines().empty());
}

}  // namespace
}  // namespace hopster
