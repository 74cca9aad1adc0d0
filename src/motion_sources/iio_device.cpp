#include "motion_sources/iio_device.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <system_error>

#include "platform/linux/posix_io.h"

namespace hopster {
namespace fs = std::filesystem;
namespace {

constexpr std::size_t kLongestValue = 4096;
constexpr std::array<char, 3> kAxes{'x', 'y', 'z'};

std::optional<double> number(std::string_view text) {
  text = trimmed(text);
  double value = 0.0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) {
    return std::nullopt;
  }
  return value;
}

std::optional<unsigned> whole(std::string_view text) {
  unsigned value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// Whether `path` has a directory entry, even one that cannot be read (a
// dangling link, a folder where a value belongs).
bool listed(const fs::path& path) {
  std::error_code error;
  return fs::symlink_status(path, error).type() != fs::file_type::not_found && !error;
}

std::string accessAdvice(const fs::path& path, const std::string& error) {
  return "Cannot read the motion sensor file " + path.string() + " (" + error +
         "): let your user read it, for example with a udev rule such as "
         "SUBSYSTEM==\"iio\", GROUP=\"plugdev\", MODE=\"0660\" (and the user in that group).";
}

// Reads one value that must be there when its entry is: a failure is an
// access problem, kept in `problem`.
std::optional<double> requiredNumber(const fs::path& path, std::string& problem) {
  const Outcome<double> value = readSysfsNumber(path);
  if (value) return *value;
  if (problem.empty()) {
    const Failure& failure = value.error();
    problem =
        accessAdvice(path, failure.kind == FailureKind::malformed ? std::string("not a number")
                                                                  : failure.message);
  }
  return std::nullopt;
}

// The first of the candidates that is listed in `folder`.
std::optional<fs::path> firstListed(const fs::path& folder,
                                    std::initializer_list<std::string> names) {
  for (const std::string& name : names) {
    if (listed(folder / name)) return folder / name;
  }
  return std::nullopt;
}

// The axes of `type` in `folder`, or nothing when the device has none;
// `problem` names a file that is listed but cannot be read.
std::optional<IioAxes> readAxes(const fs::path& folder, const std::string& type,
                                std::string& problem) {
  const std::string prefix = "in_" + type + "_";
  IioAxes axes;
  axes.type = type;
  for (std::size_t i = 0; i < 3; ++i) {
    axes.raw[i] = folder / (prefix + kAxes[i] + "_raw");
    if (!listed(axes.raw[i])) return std::nullopt;
    if (const Outcome<std::string> raw = readSysfsText(axes.raw[i]); !raw) {
      problem = accessAdvice(axes.raw[i], raw.error().message);
      return std::nullopt;
    }
    const std::string axis(1, kAxes[i]);
    if (const auto scale = firstListed(folder, {prefix + axis + "_scale", prefix + "scale"})) {
      const auto value = requiredNumber(*scale, problem);
      if (!value) return std::nullopt;
      axes.scale[i] = *value;
    }
    if (const auto offset = firstListed(folder, {prefix + axis + "_offset", prefix + "offset"})) {
      const auto value = requiredNumber(*offset, problem);
      if (!value) return std::nullopt;
      axes.offset[i] = *value;
    }
  }
  if (const auto mount =
          firstListed(folder, {prefix + "mount_matrix", "in_mount_matrix", "mount_matrix"})) {
    const Outcome<std::string> text = readSysfsText(*mount);
    if (!text) {
      problem = accessAdvice(*mount, text.error().message);
      return std::nullopt;
    }
    // A matrix that does not parse is taken as none: the axes stay the chip's.
    if (const auto matrix = parseMountMatrix(*text)) axes.mount = *matrix;
  }
  return axes;
}

std::vector<double> readRates(const fs::path& folder) {
  std::vector<double> rates;
  const auto path = firstListed(
      folder, {"sampling_frequency_available", "in_accel_sampling_frequency_available"});
  if (!path) return rates;
  const Outcome<std::string> text = readSysfsText(*path);
  if (!text) return rates;
  std::string_view rest = *text;
  while (!rest.empty()) {
    const auto space = rest.find_first_of(" \t\n");
    if (const auto rate = number(rest.substr(0, space)); rate && *rate > 0.0) {
      rates.push_back(*rate);
    }
    if (space == std::string_view::npos) break;
    rest = rest.substr(space + 1);
  }
  return rates;
}

// The folders iio:deviceN under `root`, by N.
std::vector<fs::path> deviceFolders(const fs::path& root) {
  std::vector<std::pair<unsigned, fs::path>> found;
  std::error_code error;
  for (fs::directory_iterator it(root, error), end; !error && it != end; it.increment(error)) {
    const std::string name = it->path().filename().string();
    if (!name.starts_with("iio:device")) continue;
    if (const auto n = whole(std::string_view(name).substr(10))) found.emplace_back(*n, it->path());
  }
  std::sort(found.begin(), found.end());
  std::vector<fs::path> folders;
  for (auto& entry : found) folders.push_back(std::move(entry.second));
  return folders;
}

IioDevice describe(const fs::path& folder, std::string& problem) {
  IioDevice device;
  device.folder = folder;
  device.id = folder.filename().string();
  if (Outcome<std::string> name = readSysfsText(folder / "name")) {
    device.name = std::move(name).value();
  }
  device.accel = readAxes(folder, "accel", problem);
  std::string gyroProblem;
  device.gyro = readAxes(folder, "anglvel", gyroProblem);
  if (problem.empty() && device.accel) problem = gyroProblem;
  device.rates = readRates(folder);
  return device;
}

}  // namespace

Vector3 IioAxes::convert(const std::array<double, 3>& values) const {
  std::array<double, 3> chip{};
  for (std::size_t i = 0; i < 3; ++i) chip[i] = (values[i] + offset[i]) * scale[i];
  const RotationMatrix& m = mount;
  return {m.m11 * chip[0] + m.m12 * chip[1] + m.m13 * chip[2],
          m.m21 * chip[0] + m.m22 * chip[1] + m.m23 * chip[2],
          m.m31 * chip[0] + m.m32 * chip[1] + m.m33 * chip[2]};
}

IioLookup findIioSensors(const fs::path& root, std::string_view wanted) {
  IioLookup lookup;
  std::vector<IioDevice> devices;
  std::string denied;
  for (const fs::path& folder : deviceFolders(root)) {
    std::string problem;
    IioDevice device = describe(folder, problem);
    const bool chosen = wanted.empty()
                            ? device.accel.has_value() || listed(folder / "in_accel_x_raw")
                            : device.id == wanted || device.name == wanted;
    if (chosen && !device.accel && !problem.empty() && denied.empty()) denied = problem;
    if (chosen && device.accel && lookup.outcome != IioLookup::Outcome::found) {
      lookup.outcome = IioLookup::Outcome::found;
      lookup.accelerometer = device;
      lookup.problem = problem;  // a gyroscope that could not be read, if any
    }
    devices.push_back(std::move(device));
  }
  if (lookup.outcome != IioLookup::Outcome::found) {
    if (!denied.empty()) {
      lookup.outcome = IioLookup::Outcome::accessDenied;
      lookup.problem = denied;
    } else {
      lookup.problem = wanted.empty() ? "No IIO accelerometer under " + root.string() + "."
                                      : "No IIO accelerometer named \"" + std::string(wanted) +
                                            "\" under " + root.string() + ".";
    }
    return lookup;
  }
  if (lookup.accelerometer.gyro) {
    lookup.gyroscope = lookup.accelerometer;
    return lookup;
  }
  for (const IioDevice& device : devices) {
    if (device.gyro) {
      lookup.gyroscope = device;
      break;
    }
  }
  return lookup;
}

Outcome<std::string> readSysfsText(const fs::path& path) {
  // Non-blocking, so a FIFO put where a value belongs cannot hold the reader.
  const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!fd) return Failure::ofErrno(errno);
  std::string text(kLongestValue + 1, '\0');
  std::size_t got = 0;
  for (;;) {
    const ssize_t n = ::read(fd.get(), text.data() + got, text.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Failure::ofErrno(errno);
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
    if (got == text.size()) break;
  }
  if (got > kLongestValue) {
    return Failure{FailureKind::tooLarge,
                   "longer than " + std::to_string(kLongestValue) + " bytes"};
  }
  text.resize(got);
  return std::string(trimmed(text));
}

Outcome<double> readSysfsNumber(const fs::path& path) {
  const Outcome<std::string> text = readSysfsText(path);
  if (!text) return text.error();
  if (const std::optional<double> value = number(*text)) return *value;
  return Failure{FailureKind::malformed, {}};
}

Status writeSysfsText(const fs::path& path, std::string_view text) {
  const UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NONBLOCK | O_TRUNC));
  if (!fd) return Failure::ofErrno(errno);
  const ssize_t n = ::write(fd.get(), text.data(), text.size());
  if (n < 0) return Failure::ofErrno(errno);
  if (n != static_cast<ssize_t>(text.size())) return Failure{FailureKind::other, {}};
  return std::nullopt;
}

std::optional<RotationMatrix> parseMountMatrix(std::string_view text) {
  std::array<double, 9> cells{};
  std::size_t count = 0;
  std::string_view rest = trimmed(text);
  while (!rest.empty()) {
    const auto cut = rest.find_first_of(",;");
    if (count == cells.size()) return std::nullopt;
    const auto value = number(rest.substr(0, cut));
    if (!value) return std::nullopt;
    // Rows end with ';', cells within a row with ','.
    const bool rowEnds = (count % 3) == 2;
    if (cut != std::string_view::npos && (rest[cut] == ';') != rowEnds) return std::nullopt;
    cells[count++] = *value;
    if (cut == std::string_view::npos) break;
    rest = rest.substr(cut + 1);
  }
  if (count != cells.size()) return std::nullopt;
  return RotationMatrix{cells[0], cells[1], cells[2], cells[3], cells[4],
                        cells[5], cells[6], cells[7], cells[8]};
}

double nearestRate(const std::vector<double>& rates, double wanted) {
  double best = wanted;
  double distance = INFINITY;
  for (const double rate : rates) {
    if (std::abs(rate - wanted) < distance) {
      distance = std::abs(rate - wanted);
      best = rate;
    }
  }
  return best;
}

std::optional<ScanChannel> parseScanType(std::string_view text) {
  // [be|le]:[s|u]BITS/STORAGE[XREPEAT]>>SHIFT
  text = trimmed(text);
  ScanChannel channel;
  if (text.size() < 4 || text[2] != ':') return std::nullopt;
  if (text.starts_with("be")) {
    channel.bigEndian = true;
  } else if (!text.starts_with("le")) {
    return std::nullopt;
  }
  if (text[3] != 's' && text[3] != 'u') return std::nullopt;
  channel.isSigned = text[3] == 's';
  text = text.substr(4);
  const auto slash = text.find('/');
  const auto shift = text.find(">>");
  if (slash == std::string_view::npos || shift == std::string_view::npos || shift < slash) {
    return std::nullopt;
  }
  const auto bits = whole(text.substr(0, slash));
  const auto storage = whole(text.substr(slash + 1, shift - slash - 1));
  const auto by = whole(text.substr(shift + 2));
  if (!bits || !storage || !by) return std::nullopt;
  if (*storage != 8 && *storage != 16 && *storage != 32 && *storage != 64) return std::nullopt;
  if (*bits == 0 || *bits > *storage || *by >= *storage || *bits + *by > *storage) {
    return std::nullopt;
  }
  channel.bits = *bits;
  channel.storageBytes = *storage / 8;
  channel.shift = *by;
  return channel;
}

const ScanChannel* ScanLayout::find(std::string_view name) const {
  for (const ScanChannel& channel : channels) {
    if (channel.name == name) return &channel;
  }
  return nullptr;
}

Outcome<ScanLayout> readScanLayout(const fs::path& folder) {
  const fs::path scan = folder / "scan_elements";
  ScanLayout layout;
  std::error_code listError;
  for (fs::directory_iterator it(scan, listError), end; !listError && it != end;
       it.increment(listError)) {
    const std::string file = it->path().filename().string();
    if (!file.ends_with("_en")) continue;
    const std::string name = file.substr(0, file.size() - 3);
    const Outcome<double> enabled = readSysfsNumber(it->path());
    if (!enabled) return enabled.error();
    if (*enabled == 0.0) continue;
    const Outcome<double> index = readSysfsNumber(scan / (name + "_index"));
    const Outcome<std::string> type = readSysfsText(scan / (name + "_type"));
    if (!type) return type.error();
    if (!index) return index.error();
    auto channel = parseScanType(*type);
    if (!channel || *index < 0.0 || *index > 1e6) {
      return Failure{FailureKind::malformed, "cannot decode the scan element " + name};
    }
    channel->name = name;
    channel->index = static_cast<unsigned>(*index);
    layout.channels.push_back(std::move(*channel));
  }
  if (listError) return Failure::ofErrno(listError.value());
  if (layout.channels.empty()) return Failure{FailureKind::other, "no scan element is enabled"};
  std::sort(layout.channels.begin(), layout.channels.end(),
            [](const ScanChannel& a, const ScanChannel& b) { return a.index < b.index; });
  std::size_t offset = 0;
  std::size_t widest = 1;
  for (ScanChannel& channel : layout.channels) {
    offset = (offset + channel.storageBytes - 1) / channel.storageBytes * channel.storageBytes;
    channel.offset = offset;
    offset += channel.storageBytes;
    widest = std::max<std::size_t>(widest, channel.storageBytes);
  }
  // Records follow each other at the widest channel's alignment.
  layout.recordBytes = (offset + widest - 1) / widest * widest;
  return layout;
}

std::int64_t decodeScanValue(const ScanChannel& channel, const unsigned char* record) {
  const unsigned char* bytes = record + channel.offset;
  std::uint64_t value = 0;
  for (unsigned i = 0; i < channel.storageBytes; ++i) {
    const unsigned at = channel.bigEndian ? i : channel.storageBytes - 1 - i;
    value = (value << 8) | bytes[at];
  }
  value >>= channel.shift;
  if (channel.bits < 64) value &= (std::uint64_t{1} << channel.bits) - 1;
  if (channel.isSigned && channel.bits < 64 && (value >> (channel.bits - 1)) != 0) {
    value |= ~((std::uint64_t{1} << channel.bits) - 1);
  }
  return static_cast<std::int64_t>(value);
}

}  // namespace hopster
