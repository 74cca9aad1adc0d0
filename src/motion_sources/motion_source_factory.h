#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "motion_sources/motion_source_choice.h"
#include "motion_sources/simulated_headphones.h"
#include "platform/clock.h"
#include "platform/headphone_motion_service.h"
#include "platform/log.h"
#include "platform/scheduler.h"

namespace hopster {

class PhoneMotionService;

// Every motion source, built from the one the command line chose: simulated
// headphones for "sim", a ReplayMotionService for "replay:FILE", a
// StreamMotionService on standard input or a named path, an IioMotionService
// for this device's own sensors, and for "phone" one PhoneMotionService that
// listens for the whole run and that every service made shares.
class MotionSourceFactory {
 public:
  // Readies `choice`: the phone source starts listening here, its token kept
  // in `tokenFile`; a replay file is read once to tell at once whether it
  // can be used. `finished` runs on the main thread when a replay, a stream
  // or a device comes to its end, so a runner can stop there.
  MotionSourceFactory(MotionSourceChoice choice, JumpSimulation simulation, Scheduler& scheduler,
                      const Clock& clock, Log& log, std::function<void()> finished = {},
                      std::filesystem::path tokenFile = {});
  ~MotionSourceFactory();
  MotionSourceFactory(const MotionSourceFactory&) = delete;
  MotionSourceFactory& operator=(const MotionSourceFactory&) = delete;

  // A new motion service for the jump screen or the first-run page. A source
  // that cannot be used comes back unavailable, its reason logged.
  [[nodiscard]] std::unique_ptr<HeadphoneMotionService> make() const;

  [[nodiscard]] const MotionSourceChoice& choice() const { return choice_; }
  // Why the source cannot be used (the port is taken, no token could be
  // kept, the replay file cannot be read); nothing when it can.
  [[nodiscard]] const std::optional<std::string>& error() const { return error_; }
  // The listening phone source; none for other sources, or when no token
  // could be kept.
  [[nodiscard]] PhoneMotionService* phone() const { return phone_.get(); }
  // The URLs to enter in the phone app (phone source only).
  [[nodiscard]] const std::vector<std::string>& pushUrls() const { return pushUrls_; }

 private:
  void startPhone(const std::filesystem::path& tokenFile);

  const MotionSourceChoice choice_;
  const JumpSimulation simulation_;
  Scheduler& scheduler_;
  const Clock& clock_;
  Log& log_;
  const std::function<void()> finished_;
  std::unique_ptr<PhoneMotionService> phone_;
  std::vector<std::string> pushUrls_;
  std::optional<std::string> error_;
};

}  // namespace hopster
