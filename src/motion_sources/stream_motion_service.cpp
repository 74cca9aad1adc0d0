#include "motion_sources/stream_motion_service.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <system_error>
#include <utility>

#include "motion_sources/stream_sample.h"
#include "platform/linux/posix_io.h"

namespace hopster {
namespace {}  // namespace

StreamMotionService::StreamMotionService(int fd, std::string name, Scheduler& scheduler, Log& log)
    : scheduler_(scheduler),
      log_(log),
      name_(std::move(name)),
      link_(std::make_shared<Link>(Link{this})) {
  if (::fcntl(fd, F_GETFL) == -1) {
    log_.line("Failed to open motion stream " + name_ + ": " + errorText(errno));
    return;
  }
  fd_ = fd;
  wake_.reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  if (!wake_) {
    log_.line("Failed to open motion stream " + name_ + ": " + errorText(errno));
    fd_ = -1;
  }
}

StreamMotionService::StreamMotionService(const std::filesystem::path& path, Scheduler& scheduler,
                                         Log& log)
    : scheduler_(scheduler),
      log_(log),
      name_(path.string()),
      link_(std::make_shared<Link>(Link{this})) {
  // Without O_NONBLOCK, opening a named pipe would wait here for a writer.
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  int error = fd ? 0 : errno;
  struct stat info {};
  if (fd && ::fstat(fd.get(), &info) == 0 && S_ISDIR(info.st_mode)) error = EISDIR;
  if (error == 0) {
    wake_.reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!wake_) error = errno;
  }
  if (error != 0) {
    log_.line("Failed to open motion stream " + name_ + ": " + errorText(error));
    return;
  }
  fd_ = fd.get();
  ownedFd_ = std::move(fd);
}

StreamMotionService::~StreamMotionService() {
  stopDeviceMotionUpdates();
  link_->owner = nullptr;
}

MotionAuthorizationStatus StreamMotionService::authorizationStatus() const {
  return MotionAuthorizationStatus::authorized;
}

bool StreamMotionService::isDeviceMotionAvailable() const { return fd_ >= 0 && !isFinished(); }

bool StreamMotionService::isDeviceMotionActive() const { return active_; }

void StreamMotionService::startDeviceMotionUpdates(MotionHandler handler) {
  if (!isDeviceMotionAvailable()) return;
  setHandler(std::move(handler));
  active_ = true;
  if (reader_.joinable()) return;
  try {
    reader_ = std::thread([this, link = link_] { readLoop(link); });
  } catch (const std::system_error& error) {
    log_.line("Failed to read motion stream " + name_ + ": " + error.what());
    active_ = false;
    clearHandler();
  }
}

void StreamMotionService::stopDeviceMotionUpdates() {
  active_ = false;
  clearHandler();
  stopReader();
}

void StreamMotionService::stopReader() {
  if (!reader_.joinable()) return;
  const std::uint64_t one = 1;
  if (::write(wake_.get(), &one, sizeof one) < 0) {
    // Only a full counter fails, and that wakes the reader as well.
  }
  reader_.join();
  std::uint64_t drained = 0;
  if (::read(wake_.get(), &drained, sizeof drained) < 0) {
    // Nothing was left to drain.
  }
}

void StreamMotionService::readLoop(std::shared_ptr<Link> link) {
  const auto finish = [&](std::string failure) {
    scheduler_.post([link, failure = std::move(failure)] {
      if (link->owner != nullptr) link->owner->end(failure);
    });
  };
  std::array<char, 4096> chunk;
  for (;;) {
    std::array<pollfd, 2> waits{pollfd{fd_, POLLIN, 0}, pollfd{wake_.get(), POLLIN, 0}};
    if (::poll(waits.data(), waits.size(), -1) < 0) {
      if (errno == EINTR) continue;
      return finish(errorText(errno));
    }
    if (waits[1].revents != 0) return;  // asked to stop
    if ((waits[0].revents & POLLNVAL) != 0) return finish(errorText(EBADF));
    const ssize_t got = ::read(fd_, chunk.data(), chunk.size());
    if (got < 0) {
      if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
      return finish(errorText(errno));
    }
    if (got == 0) {
      // The last line may lack its line feed.
      lines_.finish([&](std::string_view line) { handleLine(line, link); });
      return finish({});
    }
    consume(std::string_view(chunk.data(), static_cast<std::size_t>(got)), link);
  }
}

void StreamMotionService::consume(std::string_view bytes, const std::shared_ptr<Link>& link) {
  skippedLines_ += lines_.feed(bytes, [&](std::string_view line) { handleLine(line, link); });
}

void StreamMotionService::handleLine(std::string_view line, const std::shared_ptr<Link>& link) {
  if (line.find_first_not_of(" \t\r") == std::string_view::npos) return;
  const std::optional<DeviceMotion> sample = parseStreamSample(line);
  if (!sample) {
    ++skippedLines_;
    return;
  }
  scheduler_.post([link, motion = *sample] {
    if (link->owner != nullptr) link->owner->deliver(motion);
  });
}

void StreamMotionService::deliver(const DeviceMotion& sample) {
  if (!active_) return;
  deliverSample(sample);
}

void StreamMotionService::end(const std::string& failure) {
  // A reader restarted after the end had been posted may report it again.
  if (isFinished()) return;
  // The reader posted this as its last act and is returning, or has returned.
  stopReader();
  active_ = false;
  std::string summary = "Motion stream " + name_ + " ended";
  if (!failure.empty()) summary += " on a read error: " + failure;
  summary += " after " + std::to_string(samplesDelivered()) + " samples";
  if (const std::size_t skipped = skippedLines_; skipped > 0) {
    summary += " (" + std::to_string(skipped) + " lines skipped)";
  }
  log_.line(summary + ".");
  finish();
}

}  // namespace hopster
