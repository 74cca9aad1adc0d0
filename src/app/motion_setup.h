#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "motion_sources/motion_source_factory.h"
#include "platform/audio_session.h"
#include "platform/clock.h"
#include "platform/headphone_motion_service.h"
#include "platform/log.h"
#include "platform/scheduler.h"

namespace hopster {

// The motion side of a run, as the command line chose it: where motion
// services come from and the audio route that goes with them.
struct MotionSetup {
  // Every motion source, and for the phone the one listening service that
  // all the services made share.
  std::shared_ptr<MotionSourceFactory> sources;
  // A new motion service for the jump screen or the first-run page.
  std::function<std::unique_ptr<HeadphoneMotionService>()> makeService;
  // Whether headphones count as connected.
  std::unique_ptr<AudioSession> audio;

  MotionSetup();
  ~MotionSetup();
  MotionSetup(MotionSetup&&) noexcept;
  MotionSetup& operator=(MotionSetup&&) noexcept;
};

// Builds it. `finished` runs on the main thread when a replay or stream ends.
[[nodiscard]] MotionSetup setUpMotion(const CommandLine& options, Scheduler& scheduler,
                                      const Clock& clock, Log& log,
                                      std::function<void()> finished = {});

}  // namespace hopster
