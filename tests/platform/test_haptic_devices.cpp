#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/input.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <fstream>
#include <limits>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/feedbackd_haptic_device.h"
#include "platform/force_feedback_haptic_device.h"
#include "platform/haptic_pattern.h"
#include "platform/log.h"
#include "platform/system_haptic_device.h"
#include "support/temp_dir.h"

namespace hopster {
namespace {

constexpr auto kIntensity = HapticParameterId::intensity;
constexpr auto kSharpness = HapticParameterId::sharpness;

HapticPattern tap(float intensity, float sharpness) {
  return {{{kIntensity, intensity}, {kSharpness, sharpness}}, 0.0};
}

TEST(HapticPattern, KeepsParameterOrderAndRejectsNonFiniteValues) {
  const auto pattern = HapticPattern::transient({{kSharpness, 1.0F}, {kIntensity, 1.5F}});
  ASSERT_TRUE(pattern);
  EXPECT_EQ(pattern->eventParameters.front().id, kSharpness);
  EXPECT_EQ(pattern->value(kIntensity, 0.0F), 1.5F);
  EXPECT_EQ(HapticPattern{}.value(kSharpness, 0.25F), 0.25F);

  const auto nan = HapticPattern::transient({{kIntensity, std::nanf("")}});
  ASSERT_FALSE(nan);
  EXPECT_FALSE(nan.error().description.empty());
  EXPECT_FALSE(HapticPattern::transient({{kSharpness, std::numeric_limits<float>::infinity()}}));
}

TEST(ForceFeedbackHapticDevice, MapsTapsOntoShortRumbles) {
  struct Row {
    HapticPattern pattern;
    int strong, weak, milliseconds;
  };
  const Row rows[] = {
      {tap(0.8F, 0.7F), 52428, 36700, 26},
      {tap(1.0F, 0.5F), 65535, 32768, 30},
      {{{{kSharpness, 1.0F}, {kIntensity, 1.5F}}, 0.0}, 65535, 65535, 20},  // clamped to full
      {tap(-0.5F, 0.0F), 0, 0, 40},
  };
  for (const auto& row : rows) {
    const ff_effect effect = ForceFeedbackHapticDevice::rumbleFor(row.pattern);
    EXPECT_EQ(effect.type, FF_RUMBLE);
    EXPECT_NEAR(effect.u.rumble.strong_magnitude, row.strong, 1);
    EXPECT_NEAR(effect.u.rumble.weak_magnitude, row.weak, 1);
    EXPECT_EQ(effect.replay.length, row.milliseconds);
  }
}

// A dbus-daemon of this test's own, so no real session bus is touched. It is
// this process's child, stopped and reaped when the object goes away.
class PrivateBus {
 public:
  PrivateBus() {
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 3);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    char* argv[] = {const_cast<char*>("dbus-daemon"), const_cast<char*>("--session"),
                    const_cast<char*>("--nofork"), const_cast<char*>("--print-address=3"), nullptr};
    if (posix_spawnp(&pid_, "dbus-daemon", &actions, nullptr, argv, environ) != 0) pid_ = 0;
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    // The daemon prints its address as one line once it listens.
    char buffer[256];
    ssize_t length = 0;
    while (pid_ > 0 && (length = read(pipeFds[0], buffer, sizeof buffer)) > 0) {
      address_.append(buffer, static_cast<std::size_t>(length));
      if (address_.back() == '\n') break;
    }
    close(pipeFds[0]);
    while (!address_.empty() && address_.back() == '\n') address_.pop_back();
  }
  ~PrivateBus() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  PrivateBus(const PrivateBus&) = delete;
  PrivateBus& operator=(const PrivateBus&) = delete;

  [[nodiscard]] bool running() const { return !address_.empty(); }
  [[nodiscard]] const std::string& address() const { return address_; }

 private:
  std::string address_;
  pid_t pid_ = 0;
};

struct TriggerCall {
  std::string appId, event;
  std::map<std::string, std::string> hints;
  int timeout = 0;
};

// Stands in for feedbackd: owns its name on the bus and records each
// TriggerFeedback call, answering on a thread of its own.
class FakeFeedbackd {
 public:
  explicit FakeFeedbackd(const std::string& address) {
    sd_bus_new(&bus_);
    sd_bus_set_address(bus_, address.c_str());
    sd_bus_set_bus_client(bus_, 1);
    ok_ = sd_bus_start(bus_) >= 0 &&
          sd_bus_add_object_vtable(bus_, &slot_, "/org/sigxcpu/Feedback", "org.sigxcpu.Feedback",
                                   kVtable, this) >= 0 &&
          sd_bus_request_name(bus_, "org.sigxcpu.Feedback", 0) >= 0;
    thread_ = std::thread([this] {
      while (!stopping_) {
        if (sd_bus_process(bus_, nullptr) == 0) sd_bus_wait(bus_, 20'000);
      }
    });
  }
  ~FakeFeedbackd() { stop(); }

  // Gives up the name and leaves the bus.
  void stop() {
    if (bus_ == nullptr) return;
    stopping_ = true;
    thread_.join();
    sd_bus_release_name(bus_, "org.sigxcpu.Feedback");
    sd_bus_slot_unref(slot_);
    bus_ = sd_bus_flush_close_unref(bus_);
  }
  void failWith(std::string message) {
    const std::lock_guard lock(mutex_);
    failure_ = std::move(message);
  }
  [[nodiscard]] bool ok() const { return ok_; }
  [[nodiscard]] std::vector<TriggerCall> calls() const {
    const std::lock_guard lock(mutex_);
    return calls_;
  }

 private:
  static int trigger(sd_bus_message* message, void* self, sd_bus_error* error) {
    return static_cast<FakeFeedbackd*>(self)->onTrigger(message, error);
  }
  int onTrigger(sd_bus_message* message, sd_bus_error* error) {
    TriggerCall call;
    const char* appId = nullptr;
    const char* event = nullptr;
    sd_bus_message_read(message, "ss", &appId, &event);
    call.appId = appId;
    call.event = event;
    sd_bus_message_enter_container(message, 'a', "{sv}");
    while (sd_bus_message_enter_container(message, 'e', "sv") > 0) {
      const char* key = nullptr;
      const char* value = nullptr;
      if (sd_bus_message_read(message, "sv", &key, "s", &value) < 0) return -EINVAL;
      call.hints[key] = value;
      sd_bus_message_exit_container(message);
    }
    sd_bus_message_exit_container(message);
    sd_bus_message_read(message, "i", &call.timeout);
    const std::lock_guard lock(mutex_);
    calls_.push_back(call);
    if (!failure_.empty()) {
      return sd_bus_error_set(error, SD_BUS_ERROR_INVALID_ARGS, failure_.c_str());
    }
    return sd_bus_reply_method_return(message, "u", static_cast<std::uint32_t>(calls_.size()));
  }

  static constexpr sd_bus_vtable kVtable[] = {
      SD_BUS_VTABLE_START(0),
      SD_BUS_METHOD("TriggerFeedback", "ssa{sv}i", "u", &FakeFeedbackd::trigger,
                    SD_BUS_VTABLE_UNPRIVILEGED),
      SD_BUS_VTABLE_END};

  sd_bus* bus_ = nullptr;
  sd_bus_slot* slot_ = nullptr;
  bool ok_ = false;
  std::atomic<bool> stopping_ = false;
  std::thread thread_;
  mutable std::mutex mutex_;
  std::string failure_;
  std::vector<TriggerCall> calls_;
};

TEST(SystemHapticDevice, FallsBackToNoHapticsWithoutFeedbackdOrRumble) {
  const testing::TempDir noInputDevices;
  // A file named like an input device that cannot rumble is passed over.
  const auto notRumble = noInputDevices.path() / "event0";
  std::ofstream(notRumble) << "not a device";
  const auto rejected = ForceFeedbackHapticDevice::open(notRumble.string());
  ASSERT_FALSE(rejected);
  EXPECT_EQ(rejected.error().description, notRumble.string() + ": no rumble force feedback");

  MemoryLog log;
  // A bus that is not there, as on a machine without a session bus.
  const auto unreachable = makeSystemHapticDevice(
      log, "unix:path=" + (noInputDevices.path() / "no-bus").string(), noInputDevices.path());
  EXPECT_FALSE(unreachable->supportsHaptics());

  const PrivateBus bus;
  if (bus.running()) {
    EXPECT_FALSE(
        makeSystemHapticDevice(log, bus.address(), noInputDevices.path())->supportsHaptics());
  }
  EXPECT_TRUE(log.lines().empty());
}

TEST(FeedbackdHapticDevice, TriggersAQuietEventPerTapAndReportsFailures) {
  const PrivateBus bus;
  if (!bus.running()) GTEST_SKIP() << "no dbus-daemon on this machine";
  FakeFeedbackd feedbackd(bus.address());
  ASSERT_TRUE(feedbackd.ok());
  const testing::TempDir noInputDevices;
  MemoryLog log;
  auto device = makeSystemHapticDevice(log, bus.address(), noInputDevices.path());
  ASSERT_NE(dynamic_cast<FeedbackdHapticDevice*>(device.get()), nullptr);
  EXPECT_TRUE(device->supportsHaptics());

  const auto engine = device->makeEngine();
  ASSERT_TRUE(engine);
  EXPECT_FALSE(device->startEngine(*engine));
  for (const auto& pattern : {tap(0.8F, 0.7F), tap(1.0F, 0.5F),
                              HapticPattern{{{kSharpness, 1.0F}, {kIntensity, 1.5F}}, 0.0}}) {
    const auto player = device->makePlayer(pattern, *engine);
    ASSERT_TRUE(player);
    EXPECT_FALSE(device->startPlayer(*player));
  }
  const auto calls = feedbackd.calls();
  ASSERT_EQ(calls.size(), 3U);
  EXPECT_EQ(calls[0].event, "button-pressed");
  EXPECT_EQ(calls[1].event, "timeout-completed");
  EXPECT_EQ(calls[2].event, "timeout-completed");  // intensity found by name, not position
  EXPECT_EQ(calls[0].appId, FeedbackdHapticDevice::appId);
  EXPECT_EQ(calls[0].hints, (std::map<std::string, std::string>{{"profile", "quiet"}}));
  EXPECT_EQ(calls[0].timeout, -1);

  feedbackd.failWith("Unknown event");
  const auto rejected = device->startPlayer({*engine, tap(0.8F, 0.7F)});
  ASSERT_TRUE(rejected);
  EXPECT_EQ(rejected->description, "Unknown event");

  feedbackd.stop();
  const auto stopped = device->startEngine(*engine);
  ASSERT_TRUE(stopped);
  EXPECT_EQ(stopped->description, "feedbackd is not running");
  const auto unanswered = device->startPlayer({*engine, tap(0.8F, 0.7F)});
  ASSERT_TRUE(unanswered);
  EXPECT_FALSE(unanswered->description.empty());
  EXPECT_TRUE(log.lines().empty());
}

}  // namespace
}  // namespace hopster
