#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/failure.h"
#include "platform/linux/session_bus.h"

namespace hopster {

// Keeps the desktop's screen saver and screen lock away while it lives,
// through org.freedesktop.ScreenSaver on the session bus (GNOME, KDE and
// Linux phone shells answer it).
class ScreenSaverInhibitor {
 public:
  // The inhibition, or why no screen saver service took it.
  [[nodiscard]] static Outcome<std::unique_ptr<ScreenSaverInhibitor>> inhibit(
      const std::string& application, const std::string& reason,
      const std::string& busAddress = {});
  ~ScreenSaverInhibitor();
  ScreenSaverInhibitor(const ScreenSaverInhibitor&) = delete;
  ScreenSaverInhibitor& operator=(const ScreenSaverInhibitor&) = delete;

 private:
  ScreenSaverInhibitor(BusPtr bus, std::uint32_t cookie);
  BusPtr bus_;  // some services end the inhibition when this connection closes
  std::uint32_t cookie_;
};

}  // namespace hopster
