#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/failure.h"

namespace hopster {

// Port types of audio inputs, named as the audio route reports them.
inline constexpr std::string_view kPortBluetoothHFP = "BluetoothHFP";
inline constexpr std::string_view kPortBluetoothA2DP = "BluetoothA2DPOutput";
inline constexpr std::string_view kPortBuiltInMic = "MicrophoneBuiltIn";
inline constexpr std::string_view kPortHeadsetMic = "MicrophoneWired";

struct AudioPort {
  std::string portType;
  std::string portName;
};

// The audio route: what the recording controller asks of it to tell whether
// Bluetooth headphones are connected.
class AudioSession {
 public:
  virtual ~AudioSession() = default;
  // Sets up play-and-record with Bluetooth allowed: nothing, or why not.
  [[nodiscard]] virtual Status setCategoryPlayAndRecord() = 0;
  // The inputs that could be used now, or nothing when the route cannot tell.
  [[nodiscard]] virtual std::optional<std::vector<AudioPort>> availableInputs() const = 0;
};

}  // namespace hopster
