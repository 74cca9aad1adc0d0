#include "app/motion_setup.h"

#include "motion_sources/iio_device.h"
#include "motion_sources/motion_source_factory.h"
#include "motion_sources/phone_motion_service.h"
#include "platform/failure.h"
#include "platform/linux/fixed_audio_session.h"

namespace hopster {
namespace {

// Headphones count as connected while the phone streams: headphone readings
// within the last few seconds, or the phone's own (it stands in for them).
class PhoneAudioSession final : public AudioSession {
 public:
  explicit PhoneAudioSession(const PhoneMotionService& phone) : phone_(phone) {}
  [[nodiscard]] Status setCategoryPlayAndRecord() override { return std::nullopt; }
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
  [[nodiscard]] Status setCategoryPlayAndRecord() override { return std::nullopt; }
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
  setup.sources = std::make_shared<MotionSourceFactory>(options.motion, options.simulation,
                                                        scheduler, clock, log, std::move(finished));
  setup.makeService = [sources = setup.sources] { return sources->make(); };
  // A motion source other than real headphones stands for a connected
  // headset; the phone's own sensors do while the kernel lists them, and the
  // phone's stream while it arrives.
  if (const PhoneMotionService* phone = setup.sources->phone()) {
    setup.audio = std::make_unique<PhoneAudioSession>(*phone);
  } else if (options.motion.kind == MotionSourceKind::phone) {
    setup.audio = std::make_unique<FixedAudioSession>(std::vector<AudioPort>{});
  } else if (options.motion.kind == MotionSourceKind::iio) {
    setup.audio = std::make_unique<IioAudioSession>(options.motion.device);
  } else {
    setup.audio = std::make_unique<FixedAudioSession>(FixedAudioSession::bluetoothHeadset());
  }
  return setup;
}

}  // namespace hopster
