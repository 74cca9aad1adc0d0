#include "platform/linux/feedbackd_haptic_device.h"
#include "platform/linux/session_bus.h"

#include <system_error>
#include <utility>

namespace hopster {

namespace {

constexpr const char* kService = "org.sigxcpu.Feedback";
constexpr const char* kPath = "/org/sigxcpu/Feedback";
constexpr const char* kInterface = "org.sigxcpu.Feedback";
// feedbackd answers at once; a hung daemon must not freeze the main thread.
constexpr std::uint64_t kCallTimeoutMicroseconds = 1'000'000;
// The "quiet" profile keeps a tap haptic: no sound over the user's music.
constexpr const char* kProfile = "quiet";
// -1 lets each event's feedback run its natural, short length.
constexpr std::int32_t kNaturalLength = -1;

HapticResult<bool> feedbackdIsRunning(sd_bus* bus) {
  BusError error;
  sd_bus_message* reply = nullptr;
  int result = sd_bus_call_method(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                  "org.freedesktop.DBus", "NameHasOwner", &error.error, &reply, "s",
                                  kService);
  const MessagePtr ownedReply(reply);
  if (result < 0) return HapticError{error.describe(result)};
  int hasOwner = 0;
  result = sd_bus_message_read(reply, "b", &hasOwner);
  if (result < 0) return HapticError{error.describe(result)};
  return hasOwner != 0;
}

}  // namespace

std::unique_ptr<FeedbackdHapticDevice> FeedbackdHapticDevice::connect(const std::string& busAddress,
                                                                      Log& log) {
  sd_bus* raw = nullptr;
  if (openBus(busAddress, &raw) < 0) return nullptr;
  BusPtr bus(raw);
  sd_bus_set_method_call_timeout(bus.get(), kCallTimeoutMicroseconds);
  const auto running = feedbackdIsRunning(bus.get());
  if (!running) {
    log.line("Haptic device check failed: " + running.error().description);
    return nullptr;
  }
  if (!*running) return nullptr;
  return std::unique_ptr<FeedbackdHapticDevice>(new FeedbackdHapticDevice(bus.release()));
}

FeedbackdHapticDevice::~FeedbackdHapticDevice() { sd_bus_flush_close_unref(bus_); }

HapticResult<HapticEngine> FeedbackdHapticDevice::makeEngine() {
  return HapticEngine{nextEngineId_++};
}

std::optional<HapticError> FeedbackdHapticDevice::startEngine(HapticEngine /*engine*/) {
  const auto running = feedbackdIsRunning(bus_);
  if (!running) return running.error();
  if (!*running) return HapticError{"feedbackd is not running"};
  return std::nullopt;
}

HapticResult<HapticPattern> FeedbackdHapticDevice::makePattern(
    std::vector<HapticEventParameter> eventParameters) {
  return HapticPattern::transient(std::move(eventParameters));
}

HapticResult<HapticPlayer> FeedbackdHapticDevice::makePlayer(const HapticPattern& pattern,
                                                             HapticEngine engine) {
  return HapticPlayer{engine, pattern};
}

std::optional<HapticError> FeedbackdHapticDevice::startPlayer(const HapticPlayer& player) {
  const float intensity = player.pattern.value(HapticParameterId::intensity, 1.0F);
  const char* event = intensity >= 1.0F ? strongEvent : lightEvent;

  BusError error;
  sd_bus_message* rawCall = nullptr;
  int result = sd_bus_message_new_method_call(bus_, &rawCall, kService, kPath, kInterface,
                                              "TriggerFeedback");
  const MessagePtr call(rawCall);
  if (result >= 0) {
    result = sd_bus_message_append(rawCall, "ssa{sv}i", appId, event, 1, "profile", "s", kProfile,
                                   kNaturalLength);
  }
  sd_bus_message* reply = nullptr;
  if (result >= 0) result = sd_bus_call(bus_, rawCall, 0, &error.error, &reply);
  const MessagePtr ownedReply(reply);
  // Nothing here listens to the bus; drop whatever arrived meanwhile (such
  // as feedbackd's end-of-feedback signals) so it cannot pile up.
  while (sd_bus_process(bus_, nullptr) > 0) {
  }
  if (result < 0) return HapticError{error.describe(result)};
  return std::nullopt;
}

}  // namespace hopster
