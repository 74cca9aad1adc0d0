#pragma once

#include <linux/input.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/haptic_device.h"
#include "platform/linux/posix_io.h"

namespace hopster {

// Haptics through a force-feedback input device (/dev/input/event*) that
// can rumble, such as a phone's vibration motor or a game pad. Each tap
// uploads one short rumble into a single effect slot of the device, which
// later taps overwrite, and plays it.
class ForceFeedbackHapticDevice final : public HapticDevice {
 public:
  // Opens the input device at `path` for playing; the error says why it
  // cannot be used (no access, or no rumble).
  [[nodiscard]] static HapticResult<std::unique_ptr<ForceFeedbackHapticDevice>> open(
      const std::string& path);

  // The rumble that stands for a tap.
  [[nodiscard]] static ff_effect rumbleFor(const HapticPattern& pattern);

  ~ForceFeedbackHapticDevice() override;
  ForceFeedbackHapticDevice(const ForceFeedbackHapticDevice&) = delete;
  ForceFeedbackHapticDevice& operator=(const ForceFeedbackHapticDevice&) = delete;

  [[nodiscard]] bool supportsHaptics() const override { return true; }
  [[nodiscard]] HapticResult<HapticEngine> makeEngine() override;
  [[nodiscard]] std::optional<HapticError> startEngine(HapticEngine engine) override;
  [[nodiscard]] HapticResult<HapticPattern> makePattern(
      std::vector<HapticEventParameter> eventParameters) override;
  [[nodiscard]] HapticResult<HapticPlayer> makePlayer(const HapticPattern& pattern,
                                                      HapticEngine engine) override;
  [[nodiscard]] std::optional<HapticError> startPlayer(const HapticPlayer& player) override;

 private:
  ForceFeedbackHapticDevice(UniqueFd fd, std::string path)
      : fd_(std::move(fd)), path_(std::move(path)) {}

  UniqueFd fd_;
  std::string path_;
  std::int16_t effectId_ = -1;  // -1 until the first rumble is uploaded
  std::uint64_t nextEngineId_ = 1;
};

}  // namespace hopster
