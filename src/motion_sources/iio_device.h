#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/device_motion.h"
#include "platform/failure.h"

namespace hopster {

// A motion sensor of the kernel's Industrial I/O subsystem, as its sysfs
// folder (/sys/bus/iio/devices/iio:deviceN) describes it. Everything here is
// read with plain file reads: a handful of short text files does not call for
// libiio and its context, and plain reads work on any kernel and in a test's
// own folder tree alike.

// One three-axis sensor: acceleration ("accel", m/s²) or rotation rate
// ("anglvel", rad/s). A reading is mount × ((raw + offset) × scale): the
// mount matrix turns the chip's axes into the device's own, as the kernel
// documents them (x to the right of the screen, y to its top, z out of it).
struct IioAxes {
  std::string type;  // "accel" or "anglvel"
  std::array<std::filesystem::path, 3> raw;
  std::array<double, 3> scale{1.0, 1.0, 1.0};
  std::array<double, 3> offset{};
  RotationMatrix mount;

  [[nodiscard]] Vector3 convert(const std::array<double, 3>& raw) const;
};

struct IioDevice {
  std::string id;    // "iio:device0"
  std::string name;  // the driver's name for it, "mpu6050"
  std::filesystem::path folder;
  std::optional<IioAxes> accel;
  std::optional<IioAxes> gyro;
  std::vector<double> rates;  // sampling_frequency_available, when listed
};

// Where the kernel lists its IIO devices, and where their nodes are.
inline constexpr std::string_view kIioDevicesRoot = "/sys/bus/iio/devices";
inline constexpr std::string_view kIioNodesRoot = "/dev";

// The sensors a recording reads, or why there are none.
struct IioLookup {
  enum class Outcome { found, unavailable, accessDenied };
  Outcome outcome = Outcome::unavailable;
  IioDevice accelerometer;
  // The device with the gyroscope: the accelerometer's own, a sibling, or none.
  std::optional<IioDevice> gyroscope;
  // One line for the log: why nothing was found, or which file could not be
  // read and what to change.
  std::string problem;
};

// Finds the accelerometer named by `wanted` ("" for the first one found; a
// device name, or an id such as "iio:device2") under `root`, and a gyroscope
// on the same device or else on another.
[[nodiscard]] IioLookup findIioSensors(const std::filesystem::path& root, std::string_view wanted);

// A sysfs value read as text, trailing whitespace trimmed; the system's
// failure when it cannot be read. Files above 4 KiB are refused (tooLarge):
// no sysfs value is that long.
[[nodiscard]] Outcome<std::string> readSysfsText(const std::filesystem::path& path);
// A sysfs value as one finite number. A value that is no number is
// malformed, without a text of its own: the caller says what it expected.
[[nodiscard]] Outcome<double> readSysfsNumber(const std::filesystem::path& path);
// Writes `text` to a sysfs attribute: nothing when it took all of it, or why
// not (a short write, without the system's words, has no text).
[[nodiscard]] Status writeSysfsText(const std::filesystem::path& path, std::string_view text);

// "x1, y1, z1; x2, y2, z2; x3, y3, z3", row by row.
[[nodiscard]] std::optional<RotationMatrix> parseMountMatrix(std::string_view text);
// The listed rate nearest to `wanted` (the first of two as near); `wanted`
// itself when none is listed.
[[nodiscard]] double nearestRate(const std::vector<double>& rates, double wanted);

// How one channel sits in a buffered record, from its scan-element files.
struct ScanChannel {
  std::string name;  // "in_accel_x"
  unsigned index = 0;
  bool bigEndian = false;
  bool isSigned = false;
  unsigned bits = 0;          // significant bits
  unsigned storageBytes = 0;  // 1, 2, 4 or 8
  unsigned shift = 0;
  std::size_t offset = 0;  // bytes from the record's start
};

// The type text, "le:s16/16>>0" and the like; nothing for one this reader
// cannot decode.
[[nodiscard]] std::optional<ScanChannel> parseScanType(std::string_view text);

// The enabled channels of a buffered record, in order, each at its natural
// alignment, as the kernel packs them.
struct ScanLayout {
  std::vector<ScanChannel> channels;
  std::size_t recordBytes = 0;

  [[nodiscard]] const ScanChannel* find(std::string_view name) const;
};

// Reads scan_elements/ of `folder`; fails when no channel is enabled or a
// file is unreadable or malformed.
[[nodiscard]] Outcome<ScanLayout> readScanLayout(const std::filesystem::path& folder);
// The raw value of `channel` in a record of the layout's size.
[[nodiscard]] std::int64_t decodeScanValue(const ScanChannel& channel, const unsigned char* record);

}  // namespace hopster
