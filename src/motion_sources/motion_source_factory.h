#pragma once

#include <functional>
#include <memory>

#include "motion_sources/motion_source_choice.h"
#include "platform/headphone_motion_service.h"
#include "platform/log.h"
#include "platform/scheduler.h"
#include "platform/simulated_headphones.h"

namespace hopster {

// Builds the motion service that `source` names: simulated headphones with
// `simulation` for "sim", a ReplayMotionService for "replay:FILE", a
// StreamMotionService on standard input or on the named path. A source that
// cannot be used comes back unavailable, its reason logged. `finished` runs
// on the main thread when a replay or a stream reaches its end (never for
// the simulation, which does not end), so a runner can stop there.
[[nodiscard]] std::unique_ptr<HeadphoneMotionService> makeMotionSource(
    const MotionSourceChoice& source, Scheduler& scheduler, Log& log,
    const JumpSimulation& simulation, std::function<void()> finished = {});

}  // namespace hopster
