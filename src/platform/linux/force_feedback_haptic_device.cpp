#include "platform/linux/force_feedback_haptic_device.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cmath>
#include <system_error>
#include <utility>

namespace hopster {

namespace {

constexpr std::size_t kBitsPerWord = sizeof(unsigned long) * CHAR_BIT;

template <std::size_t maxBit>
using BitSet = std::array<unsigned long, maxBit / kBitsPerWord + 1>;

template <std::size_t maxBit>
bool hasBit(const BitSet<maxBit>& bits, unsigned bit) {
  return ((bits[bit / kBitsPerWord] >> (bit % kBitsPerWord)) & 1UL) != 0;
}

// A parameter on the 0.0 to 1.0 scale, with `fallback` for a missing or
// non-finite value.
float unitValue(const HapticPattern& pattern, HapticParameterId id, float fallback) {
  const float value = pattern.value(id, fallback);
  return std::isfinite(value) ? std::clamp(value, 0.0F, 1.0F) : fallback;
}

std::uint16_t magnitude(float unit) {
  return static_cast<std::uint16_t>(std::lround(unit * 0xFFFF));
}

}  // namespace

HapticResult<std::unique_ptr<ForceFeedbackHapticDevice>> ForceFeedbackHapticDevice::open(
    const std::string& path) {
  UniqueFd fd(::open(path.c_str(), O_RDWR | O_CLOEXEC));
  if (!fd) return HapticError{path + ": " + errorText(errno)};
  BitSet<EV_MAX> eventTypes{};
  BitSet<FF_MAX> effects{};
  const bool canRumble = ioctl(fd.get(), EVIOCGBIT(0, sizeof eventTypes), eventTypes.data()) >= 0 &&
                         hasBit<EV_MAX>(eventTypes, EV_FF) &&
                         ioctl(fd.get(), EVIOCGBIT(EV_FF, sizeof effects), effects.data()) >= 0 &&
                         hasBit<FF_MAX>(effects, FF_RUMBLE);
  if (!canRumble) return HapticError{path + ": no rumble force feedback"};
  return std::unique_ptr<ForceFeedbackHapticDevice>(
      new ForceFeedbackHapticDevice(std::move(fd), path));
}

ff_effect ForceFeedbackHapticDevice::rumbleFor(const HapticPattern& pattern) {
  // The rumble scale ends at full strength (1.0): stronger taps, such as a
  // trophy card's 1.5, play at full strength too.
  const float intensity = unitValue(pattern, HapticParameterId::intensity, 1.0F);
  const float sharpness = unitValue(pattern, HapticParameterId::sharpness, 0.5F);
  ff_effect effect{};
  effect.type = FF_RUMBLE;
  effect.id = -1;
  // The strong, slow motor carries the tap; the weak, fast one adds the
  // crispness that sharpness asks for.
  effect.u.rumble.strong_magnitude = magnitude(intensity);
  effect.u.rumble.weak_magnitude = magnitude(intensity * sharpness);
  // A tap of medium sharpness lasts 30 ms; sharper ones are shorter (20 ms
  // at 1.0), softer ones longer (40 ms at 0.0).
  effect.replay.length = static_cast<std::uint16_t>(std::lround(40.0F - 20.0F * sharpness));
  effect.replay.delay = 0;
  return effect;
}

ForceFeedbackHapticDevice::~ForceFeedbackHapticDevice() {
  if (effectId_ >= 0) ioctl(fd_.get(), EVIOCRMFF, static_cast<long>(effectId_));
}

HapticResult<HapticEngine> ForceFeedbackHapticDevice::makeEngine() {
  return HapticEngine{nextEngineId_++};
}

std::optional<HapticError> ForceFeedbackHapticDevice::startEngine(HapticEngine /*engine*/) {
  return std::nullopt;
}

HapticResult<HapticPattern> ForceFeedbackHapticDevice::makePattern(
    std::vector<HapticEventParameter> eventParameters) {
  return HapticPattern::transient(std::move(eventParameters));
}

HapticResult<HapticPlayer> ForceFeedbackHapticDevice::makePlayer(const HapticPattern& pattern,
                                                                 HapticEngine engine) {
  return HapticPlayer{engine, pattern};
}

std::optional<HapticError> ForceFeedbackHapticDevice::startPlayer(const HapticPlayer& player) {
  ff_effect effect = rumbleFor(player.pattern);
  effect.id = effectId_;
  if (ioctl(fd_.get(), EVIOCSFF, &effect) < 0) {
    return HapticError{path_ + ": cannot upload rumble: " + errorText(errno)};
  }
  effectId_ = effect.id;
  input_event play{};
  play.type = EV_FF;
  play.code = static_cast<std::uint16_t>(effectId_);
  play.value = 1;
  if (::write(fd_.get(), &play, sizeof play) != static_cast<ssize_t>(sizeof play)) {
    return HapticError{path_ + ": cannot play rumble: " + errorText(errno)};
  }
  return std::nullopt;
}

}  // namespace hopster
