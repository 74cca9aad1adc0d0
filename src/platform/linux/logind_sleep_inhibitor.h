#pragma once

#include "platform/sleep_inhibitor.h"

namespace hopster {

// Holds off sleep through systemd-logind (org.freedesktop.login1 on the
// system bus, or the bus DBUS_SYSTEM_BUS_ADDRESS names): each hold is a
// "block" inhibitor of "sleep", kept as the descriptor logind hands out.
// Closing it lets go, so a crash or a kill lets go too.
class LogindSleepInhibitor final : public SleepInhibitor {
 public:
  [[nodiscard]] Outcome<std::unique_ptr<Hold>> holdOffSleep(const std::string& who,
                                                            const std::string& why) override;
};

}  // namespace hopster
