#include "app/headless_runner.h"

#include <atomic>
#include <csignal>
#include <ostream>

#include "platform/announcer.h"
#include "platform/clock.h"
#include "platform/loop_scheduler.h"
#include "platform/simulated_headphones.h"
#include "platform/uuid_source.h"
#include "platform/virtual_scheduler.h"
#include "recording/motion_pipeline.h"

namespace hopster {
namespace {

std::atomic<bool> interrupted{false};

extern "C" void onInterrupt(int) { interrupted = true; }

// Drives the simulated headphones through the pipeline on `scheduler` until
// the recording's time is up; `runLoop` runs the scheduler until `stop` is called.
template <typename RunLoop>
HeadlessResult record(const CommandLine& options, Scheduler& scheduler, const Clock& clock,
                      std::ostream& out, RunLoop runLoop) {
  JumpSimulation simulation;
  simulation.cadence = options.cadence;
  simulation.sampleRate = options.sampleRate;
  simulation.seed = options.seed;
  SimulatedHeadphones headphones(scheduler, simulation);

  RecordingState state;
  RandomUuidSource uuids;
  SilentAnnouncer announcer;
  MotionPipeline pipeline(state, clock, uuids, announcer);

  std::int64_t shown = -1;
  headphones.startDeviceMotionUpdates(
      [&](const std::optional<DeviceMotion>& sample, const std::optional<MotionError>& error) {
        pipeline.handleMotionUpdate(sample, error);
        if (state.jumpCount != shown) {
          shown = state.jumpCount;
          out << "Jumps: " << shown << std::endl;
        }
      });

  bool done = false;
  scheduler.runAfter(options.seconds, [&] { done = true; });
  // Ctrl-C is noticed within a tenth of a second.
  auto watch = scheduler.scheduleRepeating(0.1, [&](Timer&) {
    if (interrupted) done = true;
  });
  runLoop([&] { return done; });
  watch->invalidate();
  headphones.stopDeviceMotionUpdates();

  return HeadlessResult{state.jumpCount, headphones.jumpsSimulated(), state.motionData.size()};
}

}  // namespace

HeadlessResult runHeadless(const CommandLine& options, std::ostream& out) {
  interrupted = false;
  auto previous = std::signal(SIGINT, onInterrupt);
  HeadlessResult result;
  if (options.fast) {
    VirtualScheduler scheduler(SystemClock().now());
    result = record(options, scheduler, scheduler, out, [&](auto finished) {
      while (!finished() && scheduler.advanceToNext()) {
      }
    });
  } else {
    LoopScheduler scheduler;
    SystemClock clock;
    result = record(options, scheduler, clock, out, [&](auto finished) {
      // Check after every piece of work whether the recording is over.
      auto check = scheduler.scheduleRepeating(0.05, [&](Timer&) {
        if (finished()) scheduler.quit();
      });
      scheduler.run();
      check->invalidate();
    });
  }
  std::signal(SIGINT, previous);
  out << "Counted " << result.jumpsCounted << " jumps in " << result.samples
      << " samples; the simulated headphones made " << result.jumpsSimulated << " jumps."
      << std::endl;
  return result;
}

}  // namespace hopster
