#include "motion_sources/replay_motion_service.h"

#include <string>
#include <utility>

#include "motion_sources/motion_trace.h"
#include "motion_sources/replayed_motion.h"

namespace hopster {

ReplayMotionService::ReplayMotionService(const std::filesystem::path& path, Scheduler& scheduler,
                                         Log& log, const MotionTraceLimits& limits)
    : scheduler_(scheduler) {
  Outcome<MotionTrace> loaded = loadMotionTrace(path, limits);
  if (!loaded) {
    std::string error = std::move(loaded).error().message;
    log.line("Failed to load motion replay from " + path.string() + ": " + error);
    loadError_ = std::move(error);
    return;
  }
  MotionTrace trace = std::move(loaded).value();
  samples_ = std::move(trace.samples);
  skippedLines_ = trace.skippedLines;
  offsets_ = deliveryOffsets(samples_);
  if (skippedLines_ > 0) {
    log.line("Skipped " + std::to_string(skippedLines_) + " malformed lines in motion replay " +
             path.string());
  }
  if (trace.truncated) {
    log.line("Motion replay " + path.string() + " is longer than " +
             std::to_string(samples_.size()) + " samples; the rest is ignored");
  }
}

ReplayMotionService::~ReplayMotionService() { stopDeviceMotionUpdates(); }

MotionAuthorizationStatus ReplayMotionService::authorizationStatus() const {
  return MotionAuthorizationStatus::authorized;
}

bool ReplayMotionService::isDeviceMotionAvailable() const { return !samples_.empty(); }

bool ReplayMotionService::isDeviceMotionActive() const { return run_ != nullptr; }

void ReplayMotionService::startDeviceMotionUpdates(MotionHandler handler) {
  if (samples_.empty()) return;
  stopDeviceMotionUpdates();
  setHandler(std::move(handler));
  restartCount();
  run_ = std::make_shared<Run>(Run{this});
  // Every delivery is queued now, each at its own offset from this moment:
  // one rounding per due time, so virtual time hits the recorded offsets
  // exactly and real time does not drift as a chain of delays would.
  for (std::size_t k = 0; k < samples_.size(); ++k) {
    scheduler_.runAfter(offsets_[k], [run = run_, k] {
      if (run->owner != nullptr) run->owner->deliver(k);
    });
  }
}

void ReplayMotionService::stopDeviceMotionUpdates() {
  if (run_) run_->owner = nullptr;
  run_.reset();
  clearHandler();
}

void ReplayMotionService::deliver(std::size_t index) {
  const std::shared_ptr<Run> run = run_;
  deliverSample(replayedMotion(samples_[index]));
  if (index + 1 < samples_.size()) return;
  if (run_ != nullptr && run_ != run) return;  // the handler started a fresh replay
  stopDeviceMotionUpdates();
  finish();
}

}  // namespace hopster
