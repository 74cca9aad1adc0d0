#pragma once

#include <atomic>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

#include "motion_sources/ending_motion_source.h"
#include "motion_sources/line_splitter.h"
#include "platform/headphone_motion_service.h"
#include "platform/linux/posix_io.h"
#include "platform/log.h"
#include "platform/scheduler.h"

namespace hopster {

// Headphones outside the app: live samples arrive as text lines of 21
// comma-separated numbers (see parseStreamSample) on a file descriptor, for
// example from a sensor bridge writing to standard input or a named pipe.
//
// A background thread reads the lines and hands each sample to the main
// thread through Scheduler::post, where it goes to the handler while updates
// are active. The thread runs only while updates are active: stopping or
// destroying the service wakes it from its wait and joins it, so input that
// arrives meanwhile waits unread (a pipe's writer blocks once it is full),
// and samples already read but not yet delivered are dropped. End of input
// ends the stream: updates end, the service is no longer available and the
// finished handler runs on the main thread.
class StreamMotionService final : public EndingMotionSource {
 public:
  // Reads `fd`, which stays open and remains the caller's (standard input).
  // `name` stands for the input in log lines.
  StreamMotionService(int fd, std::string name, Scheduler& scheduler, Log& log);
  // Opens `path` by name, a named pipe or a plain file, without waiting for a
  // writer. A path that cannot be opened leaves the service unavailable,
  // with one log line.
  StreamMotionService(const std::filesystem::path& path, Scheduler& scheduler, Log& log);
  ~StreamMotionService() override;
  StreamMotionService(const StreamMotionService&) = delete;
  StreamMotionService& operator=(const StreamMotionService&) = delete;

  [[nodiscard]] MotionAuthorizationStatus authorizationStatus() const override;
  // True while the input is open and has not ended.
  [[nodiscard]] bool isDeviceMotionAvailable() const override;
  void startDeviceMotionUpdates(MotionHandler handler) override;
  [[nodiscard]] bool isDeviceMotionActive() const override;
  void stopDeviceMotionUpdates() override;

  // Lines read that were not samples (header lines, lines with a nan or an
  // infinity and overlong lines included); blank lines are not counted.
  // Safe to read from the main thread at any time.
  [[nodiscard]] std::size_t skippedLines() const { return skippedLines_; }

 private:
  // Posted work reaches the service through this; cleared on destruction.
  struct Link {
    StreamMotionService* owner;
  };

  void stopReader();
  void readLoop(std::shared_ptr<Link> link);
  void consume(std::string_view bytes, const std::shared_ptr<Link>& link);
  void handleLine(std::string_view line, const std::shared_ptr<Link>& link);
  void deliver(const DeviceMotion& sample);
  void end(const std::string& failure);

  Scheduler& scheduler_;
  Log& log_;
  std::string name_;
  int fd_ = -1;
  UniqueFd ownedFd_;  // fd_, when this service opened it
  UniqueFd wake_;     // an eventfd that ends the reader's wait
  std::thread reader_;
  std::shared_ptr<Link> link_;

  // A line longer than this is no sample; it is dropped rather than buffered
  // without bound while its end is awaited.
  static constexpr std::size_t kLongestLine = 64 * 1024;

  // The reader thread's; a started thread takes over where the last stopped.
  LineSplitter lines_{kLongestLine};
  std::atomic<std::size_t> skippedLines_{0};

  // Main thread only.
  bool active_ = false;
};

}  // namespace hopster
