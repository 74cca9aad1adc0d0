#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "motion_sources/attitude_filter.h"
#include "motion_sources/ending_motion_source.h"
#include "motion_sources/iio_device.h"
#include "platform/headphone_motion_service.h"
#include "platform/linux/posix_io.h"
#include "platform/log.h"
#include "platform/scheduler.h"

namespace hopster {

// The phone's (or tablet's) own motion sensors, through the kernel's
// Industrial I/O subsystem, standing in for the headphones.
//
// On construction it looks for the accelerometer under `sysRoot` (the app
// passes /sys/bus/iio/devices) and a gyroscope on the same device or a
// sibling. None: unavailable, with one log line. A file that cannot be read:
// authorization denied, with one log line naming the file and the udev rule
// that fixes it.
//
// Updates read at the listed sampling rate nearest to the one asked for:
// buffered, from `devRoot`/iio:deviceN (the app passes /dev), when that node
// opens and the buffer can be enabled (and the gyroscope, if any, is on the
// same device); otherwise by reading the sysfs raw values on a repeating
// timer. Buffered records are read by a background thread that filters them
// and posts each sample to the main thread. Each reading goes through an
// AttitudeFilter, freshly seeded at every start (see there for the sign and
// the settling). A device that goes away ends the stream: updates end, the
// service is no longer available, and the finished handler runs on the main
// thread.
class IioMotionService final : public EndingMotionSource {
 public:
  static constexpr double kDefaultRate = 50.0;
  static constexpr double kStandardGravity = 9.80665;  // m/s² in one g

  // `device` is "" for the first accelerometer, or a name or id;
  // `rate` the samples a second wanted.
  IioMotionService(std::filesystem::path sysRoot, std::filesystem::path devRoot, std::string device,
                   double rate, Scheduler& scheduler, Log& log);
  ~IioMotionService() override;
  IioMotionService(const IioMotionService&) = delete;
  IioMotionService& operator=(const IioMotionService&) = delete;

  [[nodiscard]] MotionAuthorizationStatus authorizationStatus() const override;
  [[nodiscard]] bool isDeviceMotionAvailable() const override;
  void startDeviceMotionUpdates(MotionHandler handler) override;
  [[nodiscard]] bool isDeviceMotionActive() const override;
  void stopDeviceMotionUpdates() override;

  // Whether the running updates read the buffered node (false: polling).
  [[nodiscard]] bool isBuffered() const { return buffered_; }
  [[nodiscard]] bool hasGyroscope() const { return lookup_.gyroscope.has_value(); }
  // The rate in use: the listed one nearest to the one asked for.
  [[nodiscard]] double rate() const { return rate_; }
  // Readings that were no numbers, or that the filter refused.
  [[nodiscard]] std::size_t skippedReadings() const { return skipped_; }

 private:
  struct Link {
    IioMotionService* owner;
  };

  bool startBuffered();
  void startPolling();
  void poll();
  void stopReading();
  void readLoop(std::shared_ptr<Link> link);
  void deliver(const DeviceMotion& sample);
  void end(const std::string& reason);

  std::filesystem::path devRoot_;
  Scheduler& scheduler_;
  Log& log_;
  IioLookup lookup_;
  double rate_ = kDefaultRate;
  std::shared_ptr<Link> link_;

  // The buffered node and the reader's wake-up eventfd, while buffered.
  UniqueFd node_;
  UniqueFd wake_;
  std::thread reader_;
  // Where the axes sit in each record, and its size.
  std::optional<std::array<ScanChannel, 3>> accelChannels_;
  std::optional<std::array<ScanChannel, 3>> gyroChannels_;
  std::size_t recordBytes_ = 0;
  std::filesystem::path bufferEnable_;
  std::shared_ptr<Timer> timer_;

  // The reader thread's while buffered, the main thread's while polling.
  AttitudeFilter filter_;
  std::atomic<std::size_t> skipped_{0};

  // Main thread only.
  bool active_ = false;
  bool buffered_ = false;
  bool pollingNoted_ = false;
};

}  // namespace hopster
