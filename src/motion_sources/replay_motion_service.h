#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "motion/motion_data_point.h"
#include "motion_sources/ending_motion_source.h"
#include "motion_sources/motion_trace.h"
#include "platform/headphone_motion_service.h"
#include "platform/log.h"
#include "platform/scheduler.h"

namespace hopster {

// Headphones that play back a recorded session: a motion CSV or a saved
// record file, delivered at the recorded pace. Sample k arrives (time stamp k
// - time stamp 0) seconds after updates start, so on a virtual scheduler the
// replay runs as fast as the machine allows and still sees the recorded
// timing. Each start plays the trace from its first sample; when the last
// sample has been delivered, updates end and the finished handler runs.
class ReplayMotionService final : public EndingMotionSource {
 public:
  // Reads the whole trace now, within `limits`. A file that cannot be used
  // (missing, not a regular file, too large, without a sample) leaves the
  // service unavailable, with one log line that names it and says why;
  // malformed lines (a nan or an infinity among them) are left out, with one
  // log line that counts them, and samples beyond the cap with one more.
  ReplayMotionService(const std::filesystem::path& path, Scheduler& scheduler, Log& log,
                      const MotionTraceLimits& limits = {});
  ~ReplayMotionService() override;
  ReplayMotionService(const ReplayMotionService&) = delete;
  ReplayMotionService& operator=(const ReplayMotionService&) = delete;

  [[nodiscard]] MotionAuthorizationStatus authorizationStatus() const override;
  // True when the file was read and holds at least one sample.
  [[nodiscard]] bool isDeviceMotionAvailable() const override;
  void startDeviceMotionUpdates(MotionHandler handler) override;
  [[nodiscard]] bool isDeviceMotionActive() const override;
  void stopDeviceMotionUpdates() override;

  // Why the file could not be used; nothing when it was read.
  [[nodiscard]] const std::optional<std::string>& loadError() const { return loadError_; }
  [[nodiscard]] std::size_t skippedLines() const { return skippedLines_; }
  [[nodiscard]] std::size_t sampleCount() const { return samples_.size(); }

 private:
  // One started replay; its queued deliveries do nothing once `owner` is cleared.
  struct Run {
    ReplayMotionService* owner;
  };

  void deliver(std::size_t index);

  Scheduler& scheduler_;
  std::vector<MotionDataPoint> samples_;
  std::vector<double> offsets_;
  std::size_t skippedLines_ = 0;
  std::optional<std::string> loadError_;
  std::shared_ptr<Run> run_;
};

}  // namespace hopster
