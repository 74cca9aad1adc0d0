#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/audio_session.h"
#include "platform/failure.h"

namespace hopster {

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

  [[nodiscard]] Status setCategoryPlayAndRecord() override { return categoryError_; }
  [[nodiscard]] std::optional<std::vector<AudioPort>> availableInputs() const override {
    return inputs_;
  }

  void setInputs(std::optional<std::vector<AudioPort>> inputs) { inputs_ = std::move(inputs); }
  void setCategoryError(Status error) { categoryError_ = std::move(error); }

 private:
  std::optional<std::vector<AudioPort>> inputs_;
  Status categoryError_;
};

}  // namespace hopster
