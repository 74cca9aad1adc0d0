// A stream of sample lines, from standard input or a named pipe, read on a
// thread of its own; and the choice of source from its command-line text.
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <future>
#include <iterator>
#include <tuple>
#include <utility>

#include "motion_sources/motion_source_factory.h"
#include "motion_sources/stream_motion_service.h"
#include "motion_sources/stream_sample.h"
#include "motion_test_support.h"

namespace hopster {
namespace {

using namespace std::chrono_literals;

// The states of this process's threads but the caller's, one letter each
// ("S" for one asleep, as a reader in its wait for input).
std::string otherThreads() {
  std::string states;
  for (const auto& task : fs::directory_iterator("/proc/self/task")) {
    std::ifstream stat(task.path() / "stat");
    const std::string text(std::istreambuf_iterator<char>(stat), {});
    const auto name = text.rfind(") ");  // the state follows the thread's name
    if (name != std::string::npos && task.path().filename() != std::to_string(::gettid()))
      states += text[name + 2];
  }
  return states;
}

// Field k (1-based) holds k, so every field's place shows.
constexpr char kLine[] = "1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21\n";

// A pipe the test writes to and the source reads.
class Stream : public ThreadedSource {
 protected:
  Stream() { EXPECT_EQ(::pipe(pipe_), 0); }
  ~Stream() override {
    for (const int fd : pipe_) ::close(fd);
  }
  void send(const std::string& text) {
    ASSERT_EQ(::write(pipe_[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
  }

  int pipe_[2] = {-1, -1};
};

TEST_F(Stream, DeliversParsedLinesOnTheMainThreadAndEndsWithTheInput) {
  StreamMotionService stream(pipe_[0], "test pipe", scheduler_, log_);
  int finished = 0;
  stream.setFinishedHandler([&] { ++finished; });
  stream.startDeviceMotionUpdates(collect());
  send("ax,ay,az,rx,ry,rz,pitch,roll,yaw,m11,m12,m13,m21,m22,m23,m31,m32,m33,gx,gy,gz\n" +
       std::string(kLine) + "1,2,3\n\n0,0,0,0,0,0,0,0,0,1,0,0,0,1,0,0,0,1,0,0,");
  ASSERT_TRUE(pumpUntil([&] { return samples_.size() == 1; }));
  send("-1\r\n");  // the rest of a line split across two writes
  ASSERT_TRUE(pumpUntil([&] { return samples_.size() == 2; }));
  const DeviceMotion& m = samples_[0];
  const RotationMatrix& r = m.attitude.rotationMatrix;
  EXPECT_EQ((std::vector<double>{m.userAcceleration.x, m.userAcceleration.z, m.rotationRate.x,
                                 m.attitude.pitch, m.attitude.yaw, r.m11, r.m23, r.m33, m.gravity.x,
                                 m.gravity.z}),
            (std::vector<double>{1, 3, 4, 7, 9, 10, 15, 18, 19, 21}));
  EXPECT_EQ(samples_[1].gravity.z, -1.0);
  EXPECT_EQ(stream.skippedLines(), 2u);  // the header and the short line

  send("0,0,0,0,0,0,0,0,0,1,0,0,0,1,0,0,0,1,0,0,-1");  // the last line needs no line feed
  ::close(std::exchange(pipe_[1], -1));
  ASSERT_TRUE(pumpUntil([&] { return stream.isFinished(); }));
  EXPECT_EQ(samples_.size(), 3u);
  EXPECT_EQ(finished, 1);
  ASSERT_EQ(log_.lines().size(), 1u);
  EXPECT_NE(log_.lines()[0].find("test pipe ended"), std::string::npos) << log_.lines()[0];
}

// kLine with field `field` (1-based) replaced by `text`.
std::string withField(std::size_t field, const std::string& text) {
  std::string line;
  for (std::size_t k = 1; k <= kStreamSampleFields; ++k) {
    line += (k == 1 ? "" : ",") + (k == field ? text : std::to_string(k));
  }
  return line + "\n";
}

TEST_F(Stream, SkipsAndCountsLinesWithANonFiniteNumberInAnyField) {
  StreamMotionService stream(pipe_[0], "test pipe", scheduler_, log_);
  stream.startDeviceMotionUpdates(collect());
  std::string text = kLine;
  std::size_t bad = 0;
  // Acceleration z, which the detector thresholds, a rotation rate, the
  // attitude matrix and gravity; each spelling from_chars reads as non-finite.
  for (const std::size_t field : {1u, 3u, 5u, 10u, 18u, 21u}) {
    for (const char* number : {"inf", "-inf", "nan", "-nan", "Infinity", "nan(1)"}) {
      text += withField(field, number);
      ++bad;
    }
  }
  send(text + withField(3, "-0.5") + "1e999" + std::string(kLine).substr(1));
  ::close(std::exchange(pipe_[1], -1));
  ASSERT_TRUE(pumpUntil([&] { return stream.isFinished(); }));
  ASSERT_EQ(samples_.size(), 2u);
  EXPECT_EQ(samples_[0].userAcceleration.z, 3.0);
  EXPECT_EQ(samples_[1].userAcceleration.z, -0.5);
  EXPECT_EQ(stream.skippedLines(), bad + 1);  // the one out of a double's range as well
  ASSERT_EQ(log_.lines().size(), 1u);
  EXPECT_NE(log_.lines()[0].find("(" + std::to_string(bad + 1) + " lines skipped)"),
            std::string::npos)
      << log_.lines()[0];
}

TEST_F(Stream, StopOrDestructionWhileWaitingForInputReturnsPromptly) {
  {
    // Threads that are not the source's: none natively; qemu-user's own
    // thread when the test runs under emulation.
    const std::string others = otherThreads();
    StreamMotionService stream(pipe_[0], "test pipe", scheduler_, log_);
    stream.startDeviceMotionUpdates(collect());
    // The reader waits for input.
    ASSERT_TRUE(pumpUntil([&] { return otherThreads() == others + "S"; }));
    // A stop that waited for the reader's next input would wait forever with
    // none coming: should it still wait after half a minute (which no busy
    // machine comes near), the input is closed to release it and the test fails.
    auto stopping = std::async(std::launch::async, [&] { stream.stopDeviceMotionUpdates(); });
    if (stopping.wait_for(30s) == std::future_status::timeout) {
      ::close(std::exchange(pipe_[1], -1));
      FAIL() << "stopping waited for input";
    }

    // Nothing is read while stopped, as the reader has ended; a restart reads on.
    ASSERT_TRUE(pumpUntil([&] { return otherThreads() == others; }));
    send(kLine);
    stream.startDeviceMotionUpdates(collect());
    ASSERT_TRUE(pumpUntil([&] { return samples_.size() == 1; }));
    send(kLine);
    // Once the reader has taken the line, it posts its sample before it next waits.
    int unread = -1;
    ASSERT_TRUE(pumpUntil([&] { return ::ioctl(pipe_[0], FIONREAD, &unread) == 0 && !unread; },
                          /*run=*/false));
  }
  scheduler_.runPending();  // work posted for the destroyed service is dropped
  EXPECT_EQ(samples_.size(), 1u);
}

TEST_F(Stream, OpensANamedPipeWithoutWaitingForAWriterAndLogsAPathItCannotOpen) {
  testing::TempDir dir;
  const auto fifo = dir.path() / "motion.fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  for (const auto& path : {fifo, dir.path() / "missing", dir.path()}) {
    log_.clear();
    const StreamMotionService stream(path, scheduler_, log_);
    EXPECT_EQ(stream.isDeviceMotionAvailable(), path == fifo) << path;
    EXPECT_EQ(log_.lines().size(), path == fifo ? 0u : 1u) << path;
    for (const auto& line : log_.lines()) EXPECT_NE(line.find(path.string()), std::string::npos);
  }
}

TEST(ParseMotionSource, ReadsEveryFormAndRefusesOtherText) {
  using enum MotionSourceKind;
  const std::tuple<const char*, MotionSourceKind, const char*> forms[] = {
      {"sim", simulated, ""},
      {"stdin", standardInput, ""},
      {"replay:run.csv", replay, "run.csv"},
      {"replay:/a/b:c.json", replay, "/a/b:c.json"},
      {"fifo:/tmp/pipe", namedPipe, "/tmp/pipe"}};
  for (const auto& [text, kind, path] : forms) {
    const auto parsed = parseMotionSource(text);
    ASSERT_TRUE(parsed) << text << ": " << parsed.error().message;
    EXPECT_TRUE(parsed->kind == kind && parsed->path == path) << text;
  }
  for (const char* text : {"", "SIM", " sim", "sim:", "stdin:/x", "replay", "replay:", "fifo:"}) {
    const auto refused = parseMotionSource(text);
    ASSERT_FALSE(refused) << text;
    EXPECT_FALSE(refused.error().message.empty()) << text;
  }
}

}  // namespace
}  // namespace hopster
