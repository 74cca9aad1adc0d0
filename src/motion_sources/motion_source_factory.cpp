#include "motion_sources/motion_source_factory.h"

#include <unistd.h>

#include <utility>

#include "motion_sources/iio_device.h"
#include "motion_sources/iio_motion_service.h"
#include "motion_sources/phone_motion_service.h"
#include "motion_sources/push_endpoint.h"
#include "motion_sources/replay_motion_service.h"
#include "motion_sources/shared_motion_service.h"
#include "motion_sources/stream_motion_service.h"
#include "platform/linux/memory_log.h"

namespace hopster {

MotionSourceFactory::MotionSourceFactory(MotionSourceChoice choice, JumpSimulation simulation,
                                         Scheduler& scheduler, const Clock& clock, Log& log,
                                         std::function<void()> finished,
                                         std::filesystem::path tokenFile)
    : choice_(std::move(choice)),
      simulation_(std::move(simulation)),
      scheduler_(scheduler),
      clock_(clock),
      log_(log),
      finished_(std::move(finished)) {
  if (choice_.kind == MotionSourceKind::phone) {
    startPhone(tokenFile.empty() ? defaultPushTokenFile() : tokenFile);
  } else if (choice_.kind == MotionSourceKind::replay) {
    // A replay that cannot be read is told at once, where the screen and the
    // headless run show a source's error, not by a recording that quietly
    // receives nothing.
    MemoryLog quiet;
    const ReplayMotionService probe(choice_.path, scheduler_, quiet);
    if (const auto& reason = probe.loadError()) {
      error_ = "The motion replay " + choice_.path + " is not available: " + *reason;
    }
  }
}

MotionSourceFactory::~MotionSourceFactory() = default;

void MotionSourceFactory::startPhone(const std::filesystem::path& tokenFile) {
  const auto token = loadOrCreatePushToken(tokenFile, log_);
  if (!token) {
    error_ = "No push token could be kept in " + tokenFile.string() + ": " + token.error().message;
    return;
  }
  phone_ = std::make_unique<PhoneMotionService>(PhoneEndpoint{choice_.address, choice_.port},
                                                *token, scheduler_, clock_, log_);
  if (phone_->startupError()) error_ = phone_->startupError();
  pushUrls_ = hopster::pushUrls(choice_.address, phone_->port(), *token);
}

std::unique_ptr<HeadphoneMotionService> MotionSourceFactory::make() const {
  // The sources that can end tell the runner when they do.
  const auto ending = [this](auto service) {
    service->setFinishedHandler(finished_);
    return service;
  };
  switch (choice_.kind) {
    case MotionSourceKind::simulated:
      return std::make_unique<SimulatedHeadphones>(scheduler_, simulation_);
    case MotionSourceKind::replay:
      return ending(std::make_unique<ReplayMotionService>(choice_.path, scheduler_, log_));
    case MotionSourceKind::standardInput:
      return ending(
          std::make_unique<StreamMotionService>(STDIN_FILENO, "standard input", scheduler_, log_));
    case MotionSourceKind::namedPipe:
      return ending(std::make_unique<StreamMotionService>(std::filesystem::path(choice_.path),
                                                          scheduler_, log_));
    case MotionSourceKind::iio:
      return ending(std::make_unique<IioMotionService>(
          kIioDevicesRoot, kIioNodesRoot, choice_.device, choice_.rate, scheduler_, log_));
    case MotionSourceKind::phone:
      if (phone_) return std::make_unique<SharedMotionService>(*phone_);
      break;  // nothing listens: an unavailable source, so a recording says so
    default:
      log_.line("Unknown motion source; no motion will arrive");
      break;
  }
  JumpSimulation none = simulation_;
  none.available = false;
  return std::make_unique<SimulatedHeadphones>(scheduler_, none);
}

}  // namespace hopster
