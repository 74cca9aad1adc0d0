#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

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
  // Sets up play-and-record with Bluetooth allowed. Returns an error
  // description on failure.
  [[nodiscard]] virtual std::optional<std::string> setCategoryPlayAndRecord() = 0;
  // The inputs that could be used now, or nothing when the route cannot tell.
  [[nodiscard]] virtual std::optional<std::vector<AudioPort>> availableInputs() const = 0;
};

// A route with a fixed list of inputs. Motion sources other than real
// headphones use it to report one Bluetooth headset, so a recording can
// start; tests use it to set up any route, or a failure.
class FixedAudioSession final : public AudioSession {
 public:
  FixedAudioSession() = default;
  explicit FixedAudioSession(std::optional<std::vector<AudioPort>> inputs)
      : inputs_(std::move(inputs)) {}

  // One Bluetooth hands-free input: what headphones with a microphone show.
  [[nodiscard]] static FixedAudioSession bluetoothHeadset() {
    return FixedAudioSession(
        std::vector<AudioPort>{{std::string(kPortBluetoothHFP), "Hopster motion source"}});
  }

  [[nodiscard]] std::optional<std::string> setCategoryPlayAndRecord() override {
    return categoryError_;
  }
  [[nodiscard]] std::optional<std::vector<AudioPort>> availableInputs() const override {
    return inputs_;
  }

  void setInputs(std::optional<std::vector<AudioPort>> inputs) { inputs_ = std::move(inputs); }
  void setCategoryError(std::optional<std::string> error) { categoryError_ = std::move(error); }

 private:
  std::optional<std::vector<AudioPort>> inputs_;
  std::optional<std::string> categoryError_;
};

}  // namespace hopster
