#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "motion_sources/stream_motion_service.h"
#include "platform/virtual_scheduler.h"
#include "support/temp_dir.h"

namespace hopster {
namespace {

using namespace std::chrono_literals;

// Runs posted work until `done` holds; false when two seconds pass first.
bool pumpUntil(VirtualScheduler& scheduler, const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + 2s;
  for (;;) {
    scheduler.runPending();
    if (done()) return true;
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(1ms);
  }
}

// A pipe whose write end the test feeds; both ends close with it.
class Pipe {
 public:
  Pipe() {
    if (::pipe(fds_) != 0) throw std::runtime_error("pipe failed");
  }
  ~Pipe() {
    ::close(fds_[0]);
    closeWriteEnd();
  }
  [[nodiscard]] int readEnd() const { return fds_[0]; }
  void write(const std::string& text) const {
    ASSERT_EQ(::write(fds_[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
  }
  void closeWriteEnd() {
    if (fds_[1] >= 0) ::close(fds_[1]);
    fds_[1] = -1;
  }

 private:
  int fds_[2] = {-1, -1};
};

constexpr char kSampleLine[] =
    "0.1,0.2,0.9,0.01,0.02,0.03,0.15,-0.1,0.5,1,0,0,0,0,-1,0,1,0,0.0,-0.1,-0.99\n";

struct Received {
  std::vector<DeviceMotion> samples;
  void operator()(const std::optional<DeviceMotion>& sample, const std::optional<MotionError>&) {
    samples.push_back(*sample);
  }
};

TEST(StreamMotionService, DeliversParsedLinesOnTheMainThreadAndEndsWithTheInput) {
  Pipe pipe;
  VirtualScheduler scheduler;
  MemoryLog log;
  StreamMotionService stream(pipe.readEnd(), "test pipe", scheduler, log);
  ASSERT_TRUE(stream.isDeviceMotionAvailable());
  EXPECT_EQ(stream.authorizationStatus(), MotionAuthorizationStatus::authorized);
  int finished = 0;
  stream.setFinishedHandler([&] { ++finished; });

  const auto mainThread = std::this_thread::get_id();
  std::vector<DeviceMotion> samples;
  stream.startDeviceMotionUpdates([&](const auto& sample, const auto&) {
    EXPECT_EQ(std::this_thread::get_id(), mainThread);
    samples.push_back(*sample);
  });
  EXPECT_TRUE(stream.isDeviceMotionActive());

  pipe.write("ax,ay,az,rx,ry,rz,pitch,roll,yaw,m11,m12,m13,m21,m22,m23,m31,m32,m33,gx,gy,gz\n");
  pipe.write(kSampleLine);
  pipe.write("1,2,3\n\n0.5,0,0,0,0,0,0,0,0,1,0,0,0,1,0,0,0,1,0,0,");  // a line in two writes
  ASSERT_TRUE(pumpUntil(scheduler, [&] { return samples.size() == 1; }));
  pipe.write("-1\r\n");
  ASSERT_TRUE(pumpUntil(scheduler, [&] { return samples.size() == 2; }));

  const DeviceMotion& first = samples[0];
  EXPECT_EQ(first.userAcceleration.z, 0.9);
  EXPECT_EQ(first.rotationRate.x, 0.01);
  EXPECT_EQ(first.attitude.yaw, 0.5);
  EXPECT_EQ(first.attitude.rotationMatrix.m23, -1.0);
  EXPECT_EQ(first.attitude.rotationMatrix.m32, 1.0);
  EXPECT_EQ(first.gravity.z, -0.99);
  EXPECT_EQ(samples[1].userAcceleration.x, 0.5);
  EXPECT_EQ(samples[1].gravity.z, -1.0);
  EXPECT_EQ(stream.skippedLines(), 2u);  // the header and the short line
  EXPECT_FALSE(stream.isFinished());

  pipe.write("0,0,0,0,0,0,0,0,0,1,0,0,0,1,0,0,0,1,0,0,-1");  // the last line needs no line feed
  pipe.closeWriteEnd();
  ASSERT_TRUE(pumpUntil(scheduler, [&] { return stream.isFinished(); }));
  EXPECT_EQ(samples.size(), 3u);
  EXPECT_EQ(finished, 1);
  EXPECT_FALSE(stream.isDeviceMotionActive());
  EXPECT_FALSE(stream.isDeviceMotionAvailable());
  ASSERT_EQ(log.lines().size(), 1u);
  EXPECT_NE(log.lines()[0].find("test pipe ended"), std::string::npos) << log.lines()[0];
}

TEST(StreamMotionService, StopWhileWaitingForInputReturnsPromptly) {
  Pipe pipe;
  VirtualScheduler scheduler;
  MemoryLog log;
  Received received;
  {
    StreamMotionService stream(pipe.readEnd(), "test pipe", scheduler, log);
    stream.startDeviceMotionUpdates(std::ref(received));
    std::this_thread::sleep_for(20ms);  // let the reader block in its wait
    const auto before = std::chrono::steady_clock::now();
    stream.stopDeviceMotionUpdates();
    EXPECT_LT(std::chrono::steady_clock::now() - before, 500ms);
    EXPECT_FALSE(stream.isDeviceMotionActive());

    // Nothing is read while stopped; a restart reads on.
    pipe.write(kSampleLine);
    std::this_thread::sleep_for(20ms);
    scheduler.runPending();
    EXPECT_TRUE(received.samples.empty());
    stream.startDeviceMotionUpdates(std::ref(received));
    ASSERT_TRUE(pumpUntil(scheduler, [&] { return received.samples.size() == 1; }));
    std::this_thread::sleep_for(20ms);
    // Destruction while the reader waits must not hang either.
  }
  scheduler.runPending();  // work posted for the destroyed service is dropped
  EXPECT_EQ(received.samples.size(), 1u);
}

TEST(StreamMotionService, ReadsANamedPipeOpenedByName) {
  testing::TempDir dir;
  const auto path = dir.path() / "motion.fifo";
  ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
  VirtualScheduler scheduler;
  MemoryLog log;
  // Opening must not wait for a writer.
  StreamMotionService stream(path, scheduler, log);
  ASSERT_TRUE(stream.isDeviceMotionAvailable());
  Received received;
  stream.startDeviceMotionUpdates(std::ref(received));

  std::thread writer([&] {
    const int fd = ::open(path.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    for (int i = 0; i < 50; ++i) {
      ASSERT_EQ(::write(fd, kSampleLine, sizeof kSampleLine - 1),
                static_cast<ssize_t>(sizeof kSampleLine - 1));
    }
    ::close(fd);
  });
  const bool finished = pumpUntil(scheduler, [&] { return stream.isFinished(); });
  writer.join();
  ASSERT_TRUE(finished);
  EXPECT_EQ(received.samples.size(), 50u);
  EXPECT_EQ(stream.skippedLines(), 0u);
}

TEST(StreamMotionService, APathThatCannotBeOpenedIsUnavailableWithOneLogLine) {
  testing::TempDir dir;
  for (const auto& path : {dir.path() / "missing", dir.path()}) {
    VirtualScheduler scheduler;
    MemoryLog log;
    StreamMotionService stream(path, scheduler, log);
    EXPECT_FALSE(stream.isDeviceMotionAvailable());
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_NE(log.lines()[0].find(path.string()), std::string::npos) << log.lines()[0];
    stream.startDeviceMotionUpdates([](const auto&, const auto&) {});
    EXPECT_FALSE(stream.isDeviceMotionActive());
  }
}

}  // namespace
}  // namespace hopster
