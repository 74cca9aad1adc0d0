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

constexpr char kLine[] =
    "0.1,0.2,0.9,0.01,0.02,0.03,0.15,-0.1,0.5,1,0,0,0,0,-1,0,1,0,0.0,-0.1,-0.99\n";

class Stream : public ::testing::Test {
 protected:
  Stream() { EXPECT_EQ(::pipe(pipe_), 0); }
  ~Stream() override {
    ::close(pipe_[0]);
    closeWriteEnd();
  }
  void send(const std::string& text) {
    ASSERT_EQ(::write(pipe_[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
  }
  void closeWriteEnd() {
    if (pipe_[1] >= 0) ::close(pipe_[1]);
    pipe_[1] = -1;
  }
  // Runs posted work until `done` holds; false when two seconds pass first.
  bool pumpUntil(const std::function<bool()>& done) {
    for (const auto deadline = std::chrono::steady_clock::now() + 2s;;) {
      scheduler_.runPending();
      if (done()) return true;
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(1ms);
    }
  }
  MotionHandler collect() {
    return [this](const auto& sample, const auto&) {
      EXPECT_EQ(std::this_thread::get_id(), mainThread_);
      samples_.push_back(*sample);
    };
  }

  int pipe_[2] = {-1, -1};
  VirtualScheduler scheduler_;
  MemoryLog log_;
  std::vector<DeviceMotion> samples_;
  std::thread::id mainThread_ = std::this_thread::get_id();
};

TEST_F(Stream, DeliversParsedLinesOnTheMainThreadAndEndsWithTheInput) {
  StreamMotionService stream(pipe_[0], "test pipe", scheduler_, log_);
  int finished = 0;
  stream.setFinishedHandler([&] { ++finished; });
  stream.startDeviceMotionUpdates(collect());
  send("ax,ay,az,rx,ry,rz,pitch,roll,yaw,m11,m12,m13,m21,m22,m23,m31,m32,m33,gx,gy,gz\n");
  send(std::string(kLine) + "1,2,3\n\n0.5,0,0,0,0,0,0,0,0,1,0,0,0,1,0,0,0,1,0,0,");
  ASSERT_TRUE(pumpUntil([&] { return samples_.size() == 1; }));
  send("-1\r\n");  // the rest of a line split across two writes
  ASSERT_TRUE(pumpUntil([&] { return samples_.size() == 2; }));

  const DeviceMotion& first = samples_[0];
  EXPECT_EQ(first.userAcceleration.z, 0.9);
  EXPECT_EQ(first.rotationRate.x, 0.01);
  EXPECT_EQ(first.attitude.yaw, 0.5);
  EXPECT_EQ(first.attitude.rotationMatrix.m23, -1.0);
  EXPECT_EQ(first.attitude.rotationMatrix.m32, 1.0);
  EXPECT_EQ(first.gravity.z, -0.99);
  EXPECT_EQ(samples_[1].userAcceleration.x, 0.5);
  EXPECT_EQ(samples_[1].gravity.z, -1.0);
  EXPECT_EQ(stream.skippedLines(), 2u);  // the header and the short line
  EXPECT_FALSE(stream.isFinished());

  send("0,0,0,0,0,0,0,0,0,1,0,0,0,1,0,0,0,1,0,0,-1");  // the last line needs no line feed
  closeWriteEnd();
  ASSERT_TRUE(pumpUntil([&] { return stream.isFinished(); }));
  EXPECT_EQ(samples_.size(), 3u);
  EXPECT_EQ(finished, 1);
  EXPECT_FALSE(stream.isDeviceMotionActive());
  EXPECT_FALSE(stream.isDeviceMotionAvailable());
  ASSERT_EQ(log_.lines().size(), 1u);
  EXPECT_NE(log_.lines()[0].find("test pipe ended"), std::string::npos) << log_.lines()[0];
}

TEST_F(Stream, StopOrDestructionWhileWaitingForInputReturnsPromptly) {
  {
    StreamMotionService stream(pipe_[0], "test pipe", scheduler_, log_);
    stream.startDeviceMotionUpdates(collect());
    std::this_thread::sleep_for(20ms);  // the reader is now blocked in its wait
    const auto before = std::chrono::steady_clock::now();
    stream.stopDeviceMotionUpdates();
    EXPECT_LT(std::chrono::steady_clock::now() - before, 500ms);

    send(kLine);  // nothing is read while stopped; a restart reads on
    std::this_thread::sleep_for(20ms);
    scheduler_.runPending();
    EXPECT_TRUE(samples_.empty());
    stream.startDeviceMotionUpdates(collect());
    ASSERT_TRUE(pumpUntil([&] { return samples_.size() == 1; }));
    std::this_thread::sleep_for(20ms);
  }
  scheduler_.runPending();  // work posted for the destroyed service is dropped
  EXPECT_EQ(samples_.size(), 1u);
}

TEST_F(Stream, OpensANamedPipeWithoutWaitingForItsWriter) {
  testing::TempDir dir;
  const auto path = dir.path() / "motion.fifo";
  ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
  StreamMotionService stream(path, scheduler_, log_);
  stream.startDeviceMotionUpdates(collect());
  std::thread writer([&] {
    const int fd = ::open(path.c_str(), O_WRONLY);
    for (int i = 0; i < 50; ++i) EXPECT_GT(::write(fd, kLine, sizeof kLine - 1), 0);
    ::close(fd);
  });
  const bool finished = pumpUntil([&] { return stream.isFinished(); });
  writer.join();
  ASSERT_TRUE(finished);
  EXPECT_EQ(samples_.size(), 50u);
}

TEST_F(Stream, APathThatCannotBeOpenedIsUnavailableWithOneLogLine) {
  testing::TempDir dir;
  for (const auto& path : {dir.path() / "missing", dir.path()}) {
    log_.clear();
    StreamMotionService stream(path, scheduler_, log_);
    EXPECT_FALSE(stream.isDeviceMotionAvailable());
    ASSERT_EQ(log_.lines().size(), 1u);
    EXPECT_NE(log_.lines()[0].find(path.string()), std::string::npos) << log_.lines()[0];
    stream.startDeviceMotionUpdates(collect());
    EXPECT_FALSE(stream.isDeviceMotionActive());
  }
}

}  // namespace
}  // namespace hopster
