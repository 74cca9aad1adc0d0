#include "platform/linux/system_haptic_device.h"

#include <algorithm>
#include <system_error>
#include <utility>
#include <vector>

#include "platform/linux/feedbackd_haptic_device.h"
#include "platform/linux/force_feedback_haptic_device.h"
#include "platform/linux/no_haptics_device.h"

namespace hopster {

namespace {

std::vector<std::filesystem::path> eventDevices(const std::filesystem::path& directory) {
  std::vector<std::filesystem::path> devices;
  std::error_code error;
  for (std::filesystem::directory_iterator it(directory, error), end; !error && it != end;
       it.increment(error)) {
    if (it->path().filename().string().starts_with("event")) devices.push_back(it->path());
  }
  // event2 before event10: shorter names first, then by name.
  std::sort(devices.begin(), devices.end(), [](const auto& a, const auto& b) {
    const auto left = a.filename().string();
    const auto right = b.filename().string();
    return left.size() != right.size() ? left.size() < right.size() : left < right;
  });
  return devices;
}

}  // namespace

std::unique_ptr<HapticDevice> makeSystemHapticDevice(Log& log, const std::string& busAddress,
                                                     const std::filesystem::path& inputDirectory) {
  if (auto feedbackd = FeedbackdHapticDevice::connect(busAddress, log)) return feedbackd;
  // Input devices that cannot be opened or cannot rumble are the usual case
  // on a desktop, so they are skipped without a log line.
  for (const auto& path : eventDevices(inputDirectory)) {
    auto rumble = ForceFeedbackHapticDevice::open(path.string());
    if (rumble) return std::move(rumble).value();
  }
  return std::make_unique<NoHapticsDevice>();
}

}  // namespace hopster
