#pragma once

#include <functional>

#include "platform/background_work.h"

namespace hopster {

// Runs each job at once on the calling thread, work then done: the behaviour
// of a program that has no worker, for callers that need no responsiveness.
class InlineBackgroundWork final : public BackgroundWork {
 public:
  void submit(std::function<void()> work, std::function<void()> done) override {
    work();
    done();
  }
  void waitForIdle() override {}
};

}  // namespace hopster
