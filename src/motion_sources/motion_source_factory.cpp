#include "motion_sources/motion_source_factory.h"

#include <unistd.h>

#include <utility>

#include "motion_sources/iio_device.h"
#include "motion_sources/iio_motion_service.h"
#include "motion_sources/replay_motion_service.h"
#include "motion_sources/stream_motion_service.h"

namespace hopster {

std::unique_ptr<HeadphoneMotionService> makeMotionSource(const MotionSourceChoice& source,
                                                         Scheduler& scheduler, Log& log,
                                                         const JumpSimulation& simulation,
                                                         std::function<void()> finished) {
  switch (source.kind) {
    case MotionSourceKind::simulated:
      return std::make_unique<SimulatedHeadphones>(scheduler, simulation);
    case MotionSourceKind::replay: {
      auto replay = std::make_unique<ReplayMotionService>(source.path, scheduler, log);
      replay->setFinishedHandler(std::move(finished));
      return replay;
    }
    case MotionSourceKind::standardInput: {
      auto stream =
          std::make_unique<StreamMotionService>(STDIN_FILENO, "standard input", scheduler, log);
      stream->setFinishedHandler(std::move(finished));
      return stream;
    }
    case MotionSourceKind::phone:
      // The phone source listens for the whole run and is shared; the app
      // makes it once (see setUpMotion) rather than here.
      break;
    case MotionSourceKind::iio: {
      auto iio = std::make_unique<IioMotionService>(kIioDevicesRoot, kIioNodesRoot, source.device,
                                                    source.rate, scheduler, log);
      iio->setFinishedHandler(std::move(finished));
      return iio;
    }
    case MotionSourceKind::namedPipe: {
      auto stream =
          std::make_unique<StreamMotionService>(std::filesystem::path(source.path), scheduler, log);
      stream->setFinishedHandler(std::move(finished));
      return stream;
    }
  }
  return std::make_unique<SimulatedHeadphones>(scheduler, simulation);
}

}  // namespace hopster
