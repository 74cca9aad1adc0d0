#pragma once

#include <memory>
#include <string>

#include "platform/failure.h"

namespace hopster {

// Keeps the system from suspending by itself (after idling, or at a suspend
// request that respects blocking inhibitors) while a hold lives. The screen
// may still blank.
class SleepInhibitor {
 public:
  // One hold: the system may sleep again once it is destroyed.
  class Hold {
   public:
    virtual ~Hold() = default;
  };

  virtual ~SleepInhibitor() = default;

  // Asks the system to hold off sleep on behalf of `who`, for the reason
  // `why` that the system may show. May wait on the system for a few
  // seconds, so the main thread leaves it to a worker; any one thread may
  // call it.
  [[nodiscard]] virtual Outcome<std::unique_ptr<Hold>> holdOffSleep(const std::string& who,
                                                                    const std::string& why) = 0;
};

}  // namespace hopster
