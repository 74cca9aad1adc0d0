#include "motion_sources/iio_motion_service.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <optional>
#include <sstream>
#include <system_error>
#include <utility>

#include "platform/linux/posix_io.h"

namespace hopster {
namespace fs = std::filesystem;
namespace {

std::string rateText(double rate) {
  std::ostringstream text;
  text.imbue(std::locale::classic());
  text << rate;
  return text.str();
}

Vector3 inG(const Vector3& metresPerSecondSquared) {
  constexpr double k = 1.0 / IioMotionService::kStandardGravity;
  return {metresPerSecondSquared.x * k, metresPerSecondSquared.y * k, metresPerSecondSquared.z * k};
}

// The three raw values of `axes` read from sysfs; malformed when one is no number.
Outcome<std::array<double, 3>> readRaw(const IioAxes& axes) {
  std::array<double, 3> raw{};
  for (std::size_t i = 0; i < 3; ++i) {
    const Outcome<double> value = readSysfsNumber(axes.raw[i]);
    if (!value) return value.error();
    raw[i] = *value;
  }
  return raw;
}

// The three channels of `axes` in a buffered record; nothing when one is
// not enabled.
std::optional<std::array<ScanChannel, 3>> channelsOf(const IioAxes& axes,
                                                     const ScanLayout& layout) {
  std::array<ScanChannel, 3> channels;
  for (std::size_t i = 0; i < 3; ++i) {
    const ScanChannel* channel = layout.find("in_" + axes.type + "_" + "xyz"[i]);
    if (channel == nullptr) return std::nullopt;
    channels[i] = *channel;
  }
  return channels;
}

std::array<double, 3> decodeRaw(const std::array<ScanChannel, 3>& channels,
                                const unsigned char* record) {
  return {static_cast<double>(decodeScanValue(channels[0], record)),
          static_cast<double>(decodeScanValue(channels[1], record)),
          static_cast<double>(decodeScanValue(channels[2], record))};
}

}  // namespace

IioMotionService::IioMotionService(fs::path sysRoot, fs::path devRoot, std::string device,
                                   double rate, Scheduler& scheduler, Log& log)
    : devRoot_(std::move(devRoot)),
      scheduler_(scheduler),
      log_(log),
      lookup_(findIioSensors(sysRoot, device)),
      link_(std::make_shared<Link>(Link{this})) {
  if (lookup_.outcome != IioLookup::Outcome::found) {
    log_.line(lookup_.problem);
    return;
  }
  // A gyroscope that could not be read leaves the accelerometer alone.
  if (!lookup_.problem.empty()) log_.line(lookup_.problem + " Counting without the gyroscope.");
  rate_ = nearestRate(lookup_.accelerometer.rates, rate > 0.0 ? rate : kDefaultRate);
}

IioMotionService::~IioMotionService() {
  stopDeviceMotionUpdates();
  link_->owner = nullptr;
}

MotionAuthorizationStatus IioMotionService::authorizationStatus() const {
  return lookup_.outcome == IioLookup::Outcome::accessDenied
             ? MotionAuthorizationStatus::denied
             : MotionAuthorizationStatus::authorized;
}

bool IioMotionService::isDeviceMotionAvailable() const {
  return lookup_.outcome == IioLookup::Outcome::found && !isFinished();
}

bool IioMotionService::isDeviceMotionActive() const { return active_; }

void IioMotionService::startDeviceMotionUpdates(MotionHandler handler) {
  if (!isDeviceMotionAvailable()) return;
  setHandler(std::move(handler));
  if (active_) return;
  active_ = true;
  // Each recording seeds its own estimate from its first readings.
  filter_.reset();
  const fs::path& folder = lookup_.accelerometer.folder;
  for (const char* name : {"sampling_frequency", "in_accel_sampling_frequency"}) {
    if (fs::exists(folder / name)) {
      if (const Status failure = writeSysfsText(folder / name, rateText(rate_))) {
        log_.line("Could not set " + (folder / name).string() + " to " + rateText(rate_) + ": " +
                  failure->message + "; reading at the sensor's own rate.");
      }
      break;
    }
  }
  if (!startBuffered()) startPolling();
}

bool IioMotionService::startBuffered() {
  const IioDevice& device = lookup_.accelerometer;
  const bool gyroElsewhere = lookup_.gyroscope && lookup_.gyroscope->id != device.id;
  if (gyroElsewhere) return false;
  const fs::path node = devRoot_ / device.id;
  std::string why;
  UniqueFd fd(::open(node.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (!fd) why = "cannot open " + node.string() + " (" + errorText(errno) + ")";
  std::vector<std::string> channels{"in_accel_x", "in_accel_y", "in_accel_z"};
  if (lookup_.gyroscope) {
    for (const char* axis : {"in_anglvel_x", "in_anglvel_y", "in_anglvel_z"})
      channels.emplace_back(axis);
  }
  for (const std::string& channel : channels) {
    const fs::path enable = device.folder / "scan_elements" / (channel + "_en");
    if (!why.empty()) continue;
    if (const Status failure = writeSysfsText(enable, "1")) {
      why = "cannot enable " + enable.string() + " (" + failure->message + ")";
    }
  }
  std::optional<ScanLayout> layout;
  if (why.empty()) {
    Outcome<ScanLayout> read = readScanLayout(device.folder);
    if (read) {
      layout = std::move(read).value();
    } else {
      why = "cannot read its scan elements (" + read.error().message + ")";
    }
  }
  if (layout) {
    accelChannels_ = channelsOf(*device.accel, *layout);
    if (lookup_.gyroscope) gyroChannels_ = channelsOf(*lookup_.gyroscope->gyro, *layout);
    if (!accelChannels_ || (lookup_.gyroscope && !gyroChannels_)) {
      why = "its scan elements do not list every axis";
    }
  }
  bufferEnable_ = device.folder / "buffer0" / "enable";
  if (!fs::exists(bufferEnable_)) bufferEnable_ = device.folder / "buffer" / "enable";
  if (why.empty()) {
    if (const Status failure = writeSysfsText(bufferEnable_, "1")) {
      why = "cannot write " + bufferEnable_.string() + " (" + failure->message + ")";
    }
  }
  if (why.empty()) wake_.reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  if (why.empty() && !wake_) why = errorText(errno);
  if (why.empty()) {
    node_ = std::move(fd);
    recordBytes_ = layout->recordBytes;
    try {
      reader_ = std::thread([this, link = link_] { readLoop(link); });
      buffered_ = true;
      return true;
    } catch (const std::system_error& failure) {
      why = failure.what();
      node_.reset();
    }
  }
  wake_.reset();
  if (!pollingNoted_) {
    pollingNoted_ = true;
    log_.line("Reading " + device.id + " by polling sysfs: " + why +
              ". A udev rule that lets your user read the node and write its buffer "
              "gives buffered capture.");
  }
  return false;
}

void IioMotionService::startPolling() {
  buffered_ = false;
  timer_ = scheduler_.scheduleRepeating(1.0 / rate_, [this](Timer&) { poll(); });
}

void IioMotionService::poll() {
  if (!active_) return;
  // A device that went away takes its folder with it; anything else, a value
  // that is no number among them, is a reading to skip.
  const auto missed = [this](const Failure& failure) {
    const bool gone = !fs::exists(lookup_.accelerometer.accel->raw[0]) ||
                      (lookup_.gyroscope && !fs::exists(lookup_.gyroscope->gyro->raw[0]));
    if (failure.kind != FailureKind::malformed && gone) return end(failure.message);
    ++skipped_;
  };
  const Outcome<std::array<double, 3>> accel = readRaw(*lookup_.accelerometer.accel);
  if (!accel) return missed(accel.error());
  std::optional<Vector3> rate;
  if (lookup_.gyroscope) {
    const Outcome<std::array<double, 3>> gyro = readRaw(*lookup_.gyroscope->gyro);
    if (!gyro) return missed(gyro.error());
    rate = lookup_.gyroscope->gyro->convert(*gyro);
  }
  const auto sample =
      filter_.update(inG(lookup_.accelerometer.accel->convert(*accel)), rate, 1.0 / rate_);
  if (!sample) {
    ++skipped_;
    return;
  }
  deliver(*sample);
}

void IioMotionService::stopDeviceMotionUpdates() {
  active_ = false;
  clearHandler();
  stopReading();
}

void IioMotionService::stopReading() {
  if (timer_) {
    timer_->invalidate();
    timer_.reset();
  }
  if (!reader_.joinable()) return;
  const std::uint64_t one = 1;
  if (::write(wake_.get(), &one, sizeof one) < 0) {
    // Only a full counter fails, and that wakes the reader as well.
  }
  reader_.join();
  wake_.reset();
  node_.reset();
  // Best effort: a device that went away has no buffer left to disable.
  static_cast<void>(writeSysfsText(bufferEnable_, "0"));
}

void IioMotionService::readLoop(std::shared_ptr<Link> link) {
  const auto finish = [&](std::string reason) {
    scheduler_.post([link, reason = std::move(reason)] {
      if (link->owner != nullptr) link->owner->end(reason);
    });
  };
  const IioAxes& accel = *lookup_.accelerometer.accel;
  const IioAxes* gyro = lookup_.gyroscope ? &*lookup_.gyroscope->gyro : nullptr;
  const std::size_t size = recordBytes_;
  std::vector<unsigned char> pending;
  std::vector<unsigned char> chunk(std::max<std::size_t>(size * 64, 4096));
  for (;;) {
    std::array<pollfd, 2> waits{pollfd{node_.get(), POLLIN, 0}, pollfd{wake_.get(), POLLIN, 0}};
    if (::poll(waits.data(), waits.size(), -1) < 0) {
      if (errno == EINTR) continue;
      return finish(errorText(errno));
    }
    if (waits[1].revents != 0) return;  // asked to stop
    const ssize_t got = ::read(node_.get(), chunk.data(), chunk.size());
    if (got < 0) {
      if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
      return finish(errorText(errno));
    }
    if (got == 0) return finish("the device node ended");
    pending.insert(pending.end(), chunk.begin(), chunk.begin() + got);
    std::size_t at = 0;
    for (; pending.size() - at >= size; at += size) {
      const unsigned char* record = pending.data() + at;
      std::optional<Vector3> rate;
      if (gyro != nullptr) rate = gyro->convert(decodeRaw(*gyroChannels_, record));
      const auto sample =
          filter_.update(inG(accel.convert(decodeRaw(*accelChannels_, record))), rate, 1.0 / rate_);
      if (!sample) {
        ++skipped_;
        continue;
      }
      scheduler_.post([link, motion = *sample] {
        if (link->owner != nullptr) link->owner->deliver(motion);
      });
    }
    pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(at));
  }
}

void IioMotionService::deliver(const DeviceMotion& sample) {
  if (!active_) return;
  deliverSample(sample);
}

void IioMotionService::end(const std::string& reason) {
  if (isFinished()) return;
  stopReading();
  active_ = false;
  log_.line("Motion from " + lookup_.accelerometer.id + " ended (" + reason + ") after " +
            std::to_string(samplesDelivered()) + " samples.");
  finish();
}

}  // namespace hopster
