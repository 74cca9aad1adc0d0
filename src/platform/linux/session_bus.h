#pragma once

#include <systemd/sd-bus.h>

#include <memory>
#include <string>

namespace hopster {

// Small owners for sd-bus objects, shared by everything that talks D-Bus.
struct BusDeleter {
  void operator()(sd_bus* bus) const { sd_bus_flush_close_unref(bus); }
};
struct MessageDeleter {
  void operator()(sd_bus_message* message) const { sd_bus_message_unref(message); }
};
using BusPtr = std::unique_ptr<sd_bus, BusDeleter>;
using MessagePtr = std::unique_ptr<sd_bus_message, MessageDeleter>;

// An sd-bus error that frees itself. Value-initialised rather than set to
// SD_BUS_ERROR_NULL: that macro is a C99 compound literal, which clang's
// -Wpedantic rejects in C++; both leave every field null and zero.
struct BusError {
  sd_bus_error error{};
  BusError() = default;
  BusError(const BusError&) = delete;
  BusError& operator=(const BusError&) = delete;
  ~BusError() { sd_bus_error_free(&error); }

  // The peer's message when it sent one, else the errno text of `result`.
  [[nodiscard]] std::string describe(int result) const;
};

// Connects to the session bus at `address`, or to the user's own when it is
// empty. Returns a negative errno on failure, leaving `*bus` null.
int openBus(const std::string& address, sd_bus** bus);

}  // namespace hopster
