#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/haptic_device.h"
#include "platform/log.h"

struct sd_bus;

namespace hopster {

// Haptics through feedbackd, the feedback daemon of Linux phones, on the
// session bus. Each tap is one TriggerFeedback call with a short haptic
// event; the daemon's theme decides how that event feels. The connection
// stays open for the device's whole life because feedbackd ends the
// feedback of a client that disconnects.
class FeedbackdHapticDevice final : public HapticDevice {
 public:
  // Sent with every event so feedbackd can apply per-app settings.
  static constexpr const char* appId = "org.hopster.Hopster";
  // Played for taps of intensity 1.0 and above, and for lighter ones.
  static constexpr const char* strongEvent = "timeout-completed";
  static constexpr const char* lightEvent = "button-pressed";

  // Connects to the session bus at `busAddress` (empty: the user's session
  // bus) and returns a device when feedbackd is running there. A missing bus
  // or daemon gives nullptr quietly; a bus that cannot be asked is logged.
  [[nodiscard]] static std::unique_ptr<FeedbackdHapticDevice> connect(const std::string& busAddress,
                                                                      Log& log);

  ~FeedbackdHapticDevice() override;
  FeedbackdHapticDevice(const FeedbackdHapticDevice&) = delete;
  FeedbackdHapticDevice& operator=(const FeedbackdHapticDevice&) = delete;

  [[nodiscard]] bool supportsHaptics() const override { return true; }
  [[nodiscard]] HapticResult<HapticEngine> makeEngine() override;
  // Succeeds while feedbackd still owns its name on the bus.
  [[nodiscard]] std::optional<HapticError> startEngine(HapticEngine engine) override;
  [[nodiscard]] HapticResult<HapticPattern> makePattern(
      std::vector<HapticEventParameter> eventParameters) override;
  [[nodiscard]] HapticResult<HapticPlayer> makePlayer(const HapticPattern& pattern,
                                                      HapticEngine engine) override;
  [[nodiscard]] std::optional<HapticError> startPlayer(const HapticPlayer& player) override;

 private:
  explicit FeedbackdHapticDevice(sd_bus* bus) : bus_(bus) {}

  sd_bus* bus_;
  std::uint64_t nextEngineId_ = 1;
};

}  // namespace hopster
