#include "app/motion_setup.h"

#include "motion_sources/iio_device.h"
#include "motion_sources/motion_source_factory.h"
#include "motion_sources/phone_motion_service.h"
#include "motion_sources/push_endpoint.h"
#include "motion_sources/replay_motion_service.h"
#include "motion_sources/shared_motion_service.h"

namespace hopster {
namespace {

// Headphones count as connected while the phone streams: headphone readings
// within the last few seconds, or the phone's own (it stands in for them).
class PhoneAudioSession final : public AudioSession {
 public:
  explicit PhoneAudioSession(const PhoneMotionService& phone) : phone_(phone) {}
  [[nodiscard]] std::optional<std::string> setCategoryPlayAndRecord() override {
    return std::nullopt;
  }
  [[nodiscard]] std::optional<std::vector<AudioPort>> availableInputs() const override {
    switch (phone_.recentStream()) {
      case PhoneMotionService::StreamKind::headphones:
        return std::vector<AudioPort>{{std::string(kPortBluetoothHFP), "Headphones via phone"}};
      case PhoneMotionService::StreamKind::phone:
        return std::vector<AudioPort>{{std::string(kPortBluetoothHFP), "Phone"}};
      case PhoneMotionService::StreamKind::none:
        break;
    }
    return std::vector<AudioPort>{};
  }

 private:
  const PhoneMotionService& phone_;
};

// The phone's own sensors count as the headphones while the kernel lists a
// readable accelerometer, so the header's dot is red where there is none.
class IioAudioSession final : public AudioSession {
 public:
  explicit IioAudioSession(std::string device) : device_(std::move(device)) {}
  [[nodiscard]] std::optional<std::string> setCategoryPlayAndRecord() override {
    return std::nullopt;
  }
  [[nodiscard]] std::optional<std::vector<AudioPort>> availableInputs() const override {
    if (findIioSensors(kIioDevicesRoot, device_).outcome != IioLookup::Outcome::found) {
      return std::vector<AudioPort>{};
    }
    return std::vector<AudioPort>{{std::string(kPortBluetoothHFP), "This phone's motion sensors"}};
  }

 private:
  std::string device_;
};

}  // namespace

MotionSetup::MotionSetup() = default;
MotionSetup::~MotionSetup() = default;
MotionSetup::MotionSetup(MotionSetup&&) noexcept = default;
MotionSetup& MotionSetup::operator=(MotionSetup&&) noexcept = default;

MotionSetup setUpMotion(const CommandLine& options, Scheduler& scheduler, const Clock& clock,
                        Log& log, std::function<void()> finished) {
  MotionSetup setup;
  if (options.motion.kind != MotionSourceKind::phone) {
    // A motion source other than real headphones stands for a connected
    // headset; the phone's own sensors do while the kernel lists them.
    if (options.motion.kind == MotionSourceKind::iio) {
      setup.audio = std::make_unique<IioAudioSession>(options.motion.device);
    } else {
      setup.audio = std::make_unique<FixedAudioSession>(FixedAudioSession::bluetoothHeadset());
    }
    if (options.motion.kind == MotionSourceKind::replay) {
      // A replay that cannot be read is told at once, where the screen and
      // the headless run show a source's error, not by a recording that
      // quietly receives nothing.
      MemoryLog quiet;
      const ReplayMotionService probe(options.motion.path, scheduler, quiet);
      if (const auto& reason = probe.loadError()) {
        setup.error = "The motion replay " + options.motion.path + " is not available: " + *reason;
      }
    }
    setup.makeService = [&options, &scheduler, &log, finished = std::move(finished)] {
      return makeMotionSource(options.motion, scheduler, log, options.simulation, finished);
    };
    return setup;
  }

  std::string error;
  const auto token = loadOrCreatePushToken(defaultPushTokenFile(), log, error);
  if (!token) {
    setup.error =
        "No push token could be kept in " + defaultPushTokenFile().string() + ": " + error;
    setup.audio = std::make_unique<FixedAudioSession>(std::vector<AudioPort>{});
    setup.makeService = [&options, &scheduler, &log] {
      // Nothing listens: an unavailable source, so a recording says so.
      JumpSimulation none = options.simulation;
      none.available = false;
      return makeMotionSource(MotionSourceChoice{}, scheduler, log, none);
    };
    return setup;
  }
  setup.phone = std::make_unique<PhoneMotionService>(
      PhoneEndpoint{options.motion.address, options.motion.port}, *token, scheduler, clock, log);
  if (setup.phone->startupError()) setup.error = setup.phone->startupError();
  setup.pushUrls = pushUrls(options.motion.address, setup.phone->port(), *token);
  setup.audio = std::make_unique<PhoneAudioSession>(*setup.phone);
  setup.makeService = [phone = setup.phone.get()] {
    return std::make_unique<SharedMotionService>(*phone);
  };
  return setup;
}

}  // namespace hopster
