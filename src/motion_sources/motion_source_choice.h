#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/failure.h"

namespace hopster {

// Where motion samples come from.
enum class MotionSourceKind {
  simulated,      // "sim": synthetic jumping
  replay,         // "replay:FILE": a recorded motion CSV or saved record file
  standardInput,  // "stdin": live stream lines on standard input
  namedPipe,      // "fifo:PATH": live stream lines from a named pipe (or file) opened by name
  phone,          // "phone[:…]": HTTP pushes from a phone app streaming headphone or phone motion
  iio,            // "iio[:DEVICE][@HZ]": this device's own sensors, through Linux IIO
};

// The port the phone source listens on unless told otherwise.
inline constexpr std::uint16_t kDefaultPhonePort = 8000;
// The samples a second the iio source asks for unless told otherwise, and
// the most it accepts.
inline constexpr double kDefaultIioRate = 50.0;
inline constexpr double kHighestIioRate = 1000.0;

// A motion source as chosen on the command line.
struct MotionSourceChoice {
  MotionSourceKind kind = MotionSourceKind::simulated;
  std::string path;  // the FILE or PATH of replay and fifo; empty otherwise
  // phone: the address to listen on ("" for all interfaces) and the port.
  std::string address;
  std::uint16_t port = kDefaultPhonePort;
  // iio: the device's name or id ("" for the first accelerometer) and the
  // rate asked for (the nearest the device lists is used).
  std::string device;
  double rate = kDefaultIioRate;

  friend bool operator==(const MotionSourceChoice&, const MotionSourceChoice&) = default;
};

// The accepted forms, for usage texts.
inline constexpr std::string_view kMotionSourceForms =
    "sim, replay:FILE, stdin, fifo:PATH, phone, phone:PORT, phone:ADDRESS:PORT, "
    "phone:[IPv6]:PORT, iio, iio@HZ, iio:DEVICE or iio:DEVICE@HZ";

// Reads a motion source value: "sim", "replay:FILE", "stdin", "fifo:PATH", a
// phone form or an iio form. For replay and fifo everything after the first
// colon is the path, colons included. For iio, DEVICE is a device's name
// ("mpu6050") or its id ("iio:device2", so "iio:iio:device2@100"), and HZ
// after the last '@' a rate from 1 to 1000. A mistake fails with a one-line
// explanation.
[[nodiscard]] Outcome<MotionSourceChoice> parseMotionSource(std::string_view text);

}  // namespace hopster
